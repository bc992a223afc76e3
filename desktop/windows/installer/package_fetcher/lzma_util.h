#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_

#include <windows.h>

#include <stdint.h>

#include <vector>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"

namespace installer {

// Why the last OpenArchive or UnPack failed.
enum UnpackStatus : int32_t {
  kUnpackNoError = 0,
  kUnpackArchiveNotFound = 1,
  kUnpackArchiveCannotOpen = 2,
  kUnpackHeaderError = 3,   // The 7z headers could not be read.
  kUnpackExtractError = 4,  // Decoding an entry failed (corrupt or cut short).
  kUnpackInPageError = 5,   // The decoded data's mapped buffer could not be paged in.
  kUnpackNameError = 6,     // An entry's name could not be read, or was refused.
  kUnpackCreateFileError = 7,
  kUnpackWriteFileError = 8,
  kUnpackSetFileTimeError = 9,
  kUnpackCloseFileError = 10,
};

// Unpacks a 7z archive into a folder. The decoded data of each 7z folder is held in a
// delete-on-close file mapping in the destination (FileMappingAllocator), so that a package
// of any size needs little memory of its own. Folders are decoded on worker threads
// (FolderDecoder) while a few writer threads, the calling one among them, write out the
// entries whose data is ready. A failure to page the mapping in ends the unpacking with
// kUnpackInPageError, not a crash.
//
// Every entry's name is checked before anything is written: a name that would lead out of
// the destination or name a device (IsSafeArchiveEntryName), or that reaches the same file
// as another entry's name on Windows (EntryPathSet: "name." and "name", "A" and "a", a
// name given twice, a file where another entry has a folder), ends the unpacking with
// kUnpackNameError and nothing written. Other failures leave what was written so far; the
// caller removes the destination folder.
//
// One thread at a time; the delegate is called on the thread that calls UnPack.
class LzmaUtil {
 public:
  LzmaUtil();
  // Closes the archive.
  ~LzmaUtil();

  LzmaUtil(const LzmaUtil&) = delete;
  LzmaUtil& operator=(const LzmaUtil&) = delete;

  // Opens |archive| for reading (closing one already open). Returns 0 or the Win32 error;
  // on failure the status is kUnpackArchiveNotFound (the file does not exist) or
  // kUnpackArchiveCannotOpen.
  DWORD OpenArchive(const base::FilePath& archive);
  // Takes the open |archive| (read access), so that what is unpacked is the file the
  // caller holds, not whatever its path names by now. ERROR_INVALID_HANDLE for an invalid
  // one (status kUnpackArchiveCannotOpen).
  DWORD OpenArchive(base::win::ScopedHandle archive);

  // Unpacks every entry of the open archive into |location|, creating folders as needed,
  // and appends each entry's path (below |location|) to |output_files| when given.
  // Returns 0 when every entry was written. Otherwise status() says why and the result
  // is ERROR_INVALID_HANDLE (no archive open, unreadable headers, a corrupt entry, an
  // unreadable name), ERROR_INVALID_NAME (a refused name), ERROR_IO_DEVICE (an in-page
  // error; see nt_status()) or the Win32 error of the file operation that failed.
  DWORD UnPack(const base::FilePath& location, std::vector<base::FilePath>* output_files);

  void CloseArchive();

  // Told SetTotalProgress (the number of entries) and SetCurrentProgress (the number of
  // entries unpacked so far). Not owned; may be null.
  void set_delegate(WininetDownloader::Delegate* delegate) { delegate_ = delegate; }

  UnpackStatus status() const { return status_; }
  // The NT status of the in-page error, valid with kUnpackInPageError.
  uint32_t nt_status() const { return nt_status_; }

 private:
  class Extraction;

  base::win::ScopedHandle archive_;
  UnpackStatus status_ = kUnpackNoError;
  uint32_t nt_status_ = 0;
  WininetDownloader::Delegate* delegate_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
