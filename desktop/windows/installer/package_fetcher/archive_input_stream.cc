#include "desktop/windows/installer/package_fetcher/archive_input_stream.h"

#include <algorithm>

#include "base/logging.h"
#include "desktop/windows/installer/package_fetcher/file_mapping_allocator.h"

namespace installer {

namespace {

constexpr size_t kLookAheadSize = 16384;
// The largest single ReadFile request.
constexpr size_t kMaxReadChunk = 1u << 30;

}  // namespace

ArchiveInputStream::ArchiveInputStream(HANDLE file, const FileMappingAllocator* stop_on_fault)
    : file_(file),
      stop_on_fault_(stop_on_fault),
      functions_{{&Read, &Seek}, this},
      buffer_(new Byte[kLookAheadSize]) {
  LookToRead2_CreateVTable(&look_, False);
  look_.realStream = &functions_.functions;
  look_.buf = buffer_.get();
  look_.bufSize = kLookAheadSize;
  LookToRead2_INIT(&look_);
}

// Fills |*size| bytes unless the file ends first; a short count is the end of the file.
// A failing read is an error, never a short success, which the decoder would take for
// the end of the archive.
// static
SRes ArchiveInputStream::Read(ISeekInStreamPtr functions, void* buffer, size_t* size) {
  const ArchiveInputStream* stream = reinterpret_cast<const Functions*>(functions)->owner;
  if (*size == 0)
    return SZ_OK;
  if (stream->stop_on_fault_ && stream->stop_on_fault_->view_failed())
    return SZ_ERROR_READ;
  size_t done = 0;
  while (done < *size) {
    const DWORD wanted = static_cast<DWORD>(std::min(*size - done, kMaxReadChunk));
    DWORD read = 0;
    if (!::ReadFile(stream->file_, static_cast<Byte*>(buffer) + done, wanted, &read, nullptr)) {
      PLOG(ERROR) << "Reading the archive failed";
      *size = done;
      return SZ_ERROR_READ;
    }
    if (read == 0)
      break;
    done += read;
  }
  *size = done;
  return SZ_OK;
}

// static
SRes ArchiveInputStream::Seek(ISeekInStreamPtr functions, Int64* position, ESzSeek origin) {
  const ArchiveInputStream* stream = reinterpret_cast<const Functions*>(functions)->owner;
  DWORD method;
  switch (origin) {
    case SZ_SEEK_SET:
      method = FILE_BEGIN;
      break;
    case SZ_SEEK_CUR:
      method = FILE_CURRENT;
      break;
    case SZ_SEEK_END:
      method = FILE_END;
      break;
    default:
      return SZ_ERROR_PARAM;
  }
  LARGE_INTEGER distance;
  distance.QuadPart = *position;
  LARGE_INTEGER new_position;
  if (!::SetFilePointerEx(stream->file_, distance, &new_position, method)) {
    PLOG(ERROR) << "Seeking in the archive failed";
    return SZ_ERROR_FAIL;
  }
  *position = new_position.QuadPart;
  return SZ_OK;
}

// static
SRes ArchiveInputStream::ReadAt(HANDLE file, uint64_t offset, void* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    OVERLAPPED overlapped = {};
    overlapped.Offset = static_cast<DWORD>(offset + done);
    overlapped.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    const DWORD wanted = static_cast<DWORD>(std::min(size - done, kMaxReadChunk));
    DWORD read = 0;
    if (!::ReadFile(file, static_cast<Byte*>(buffer) + done, wanted, &read, &overlapped)) {
      if (::GetLastError() == ERROR_HANDLE_EOF)
        return SZ_ERROR_INPUT_EOF;
      PLOG(ERROR) << "Reading the archive at " << offset + done << " failed";
      return SZ_ERROR_READ;
    }
    if (read == 0)
      return SZ_ERROR_INPUT_EOF;
    done += read;
  }
  return SZ_OK;
}

}  // namespace installer
