#include "desktop/windows/crash_reporter/quillbox/util/file/file_io_win.h"

#include <algorithm>

#include "base/logging.h"

namespace quillbox {

namespace {

// One ReadFile call asks for at most this much, so that the count fits its DWORD.
constexpr size_t kMaxReadChunk = 1u << 30;

}  // namespace

base::win::ScopedHandle LoggingOpenFileForRead(const base::FilePath& path) {
  base::win::ScopedHandle file(::CreateFileW(path.value().c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid())
    PLOG(ERROR) << "CreateFile " << path.value();
  return file;
}

bool LoggingCloseFile(base::win::ScopedHandle* file) {
  if (!file->IsValid())
    return true;
  // Taken out of its owner first: a failed close must be reported, not treated as a
  // double close by the owner.
  return base::win::CloseTrackedHandle(file->Take());
}

void CloseFileOrCrash(base::win::ScopedHandle* file) {
  CHECK(LoggingCloseFile(file));
}

int64_t ReadFileFully(HANDLE file, void* buffer, size_t size) {
  const bool is_pipe = ::GetFileType(file) == FILE_TYPE_PIPE;
  char* out = static_cast<char*>(buffer);
  size_t total = 0;
  while (total < size) {
    const DWORD wanted = static_cast<DWORD>(std::min(size - total, kMaxReadChunk));
    DWORD read = 0;
    if (::ReadFile(file, out + total, wanted, &read, nullptr)) {
      // A zero-length message on a pipe is not its end.
      if (read == 0 && !is_pipe)
        break;
      total += read;
      continue;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_BROKEN_PIPE)
      break;
    if (error != ERROR_MORE_DATA)
      return -1;
    total += read;
  }
  return static_cast<int64_t>(total);
}

bool LoggingReadFileExactly(HANDLE file, void* buffer, size_t size) {
  const int64_t read = ReadFileFully(file, buffer, size);
  if (read < 0) {
    PLOG(ERROR) << "ReadFile";
    return false;
  }
  if (static_cast<uint64_t>(read) != size) {
    LOG(ERROR) << "ReadFile: expected " << size << " bytes, observed " << read;
    return false;
  }
  return true;
}

}  // namespace quillbox
