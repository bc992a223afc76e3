#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_INPUT_STREAM_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_INPUT_STREAM_H_

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include <lzmasdk/7zTypes.h>

namespace installer {

class FileMappingAllocator;

// The LZMA SDK's input over an open archive file: a seekable stream that moves the file
// position, behind the SDK's exact look-ahead reader (16 KiB). Once |stop_on_fault| (may
// be null) reports a failed view, every read fails, so that a decoder running on over the
// zero-filled replacement of its buffer stops soon. Not owned; both must outlive this.
class ArchiveInputStream {
 public:
  ArchiveInputStream(HANDLE file, const FileMappingAllocator* stop_on_fault);

  ArchiveInputStream(const ArchiveInputStream&) = delete;
  ArchiveInputStream& operator=(const ArchiveInputStream&) = delete;

  ILookInStreamPtr look_stream() const { return &look_.vt; }

  // Reads exactly |size| bytes at |offset| without using the file position, so several
  // threads may read one handle. SZ_ERROR_INPUT_EOF when the file ends first,
  // SZ_ERROR_READ (logged) when the system fails.
  static SRes ReadAt(HANDLE file, uint64_t offset, void* buffer, size_t size);

 private:
  // What the look-ahead reader calls: the SDK's function pair, then the way back.
  struct Functions {
    ISeekInStream functions;
    ArchiveInputStream* owner;
  };

  static SRes Read(ISeekInStreamPtr functions, void* buffer, size_t* size);
  static SRes Seek(ISeekInStreamPtr functions, Int64* position, ESzSeek origin);

  const HANDLE file_;
  const FileMappingAllocator* const stop_on_fault_;
  Functions functions_;
  std::unique_ptr<Byte[]> buffer_;
  CLookToRead2 look_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_INPUT_STREAM_H_
