#include "base/files/memory_mapped_file.h"

#include <windows.h>

#include "base/logging.h"
#include "base/win/scoped_handle.h"

namespace base {

MemoryMappedFile::~MemoryMappedFile() {
  CloseView();
}

bool MemoryMappedFile::Initialize(const FilePath& path) {
  if (valid_) {
    LOG(ERROR) << "A mapping is already open; not mapping " << path;
    return false;
  }
  File file(path, File::FLAG_OPEN | File::FLAG_READ);
  if (!file.IsValid()) {
    ELOG(ERROR, file.error_details()) << "Cannot open " << path << " for mapping";
    return false;
  }
  return Initialize(file);
}

bool MemoryMappedFile::Initialize(const File& file) {
  if (valid_) {
    LOG(ERROR) << "A mapping is already open";
    return false;
  }
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.GetPlatformFile(), &size)) {
    PLOG(ERROR) << "Cannot get the size of the file to map";
    return false;
  }
  if (size.QuadPart == 0) {
    valid_ = true;
    return true;
  }
  if (static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
    LOG(ERROR) << "The file is too large to map";
    return false;
  }
  // The view keeps the mapping (and the file) open; neither handle is needed after it.
  win::ScopedHandle mapping(
      ::CreateFileMappingW(file.GetPlatformFile(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.IsValid()) {
    PLOG(ERROR) << "Cannot create a mapping of the file";
    return false;
  }
  void* view = ::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
  if (!view) {
    PLOG(ERROR) << "Cannot map a view of the file";
    return false;
  }
  data_ = static_cast<const uint8_t*>(view);
  length_ = static_cast<size_t>(size.QuadPart);
  valid_ = true;
  return true;
}

void MemoryMappedFile::CloseView() {
  if (data_)
    ::UnmapViewOfFile(data_);
  data_ = nullptr;
  length_ = 0;
  valid_ = false;
}

}  // namespace base
