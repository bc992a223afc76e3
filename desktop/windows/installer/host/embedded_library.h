#ifndef DESKTOP_WINDOWS_INSTALLER_HOST_EMBEDDED_LIBRARY_H_
#define DESKTOP_WINDOWS_INSTALLER_HOST_EMBEDDED_LIBRARY_H_

#include <windows.h>

#include <string>

#include "desktop/windows/installer/host/host_handles.h"

namespace installer_host {

// The library file name, beside the executable and in the private folder alike.
extern const wchar_t kLibraryFileName[];

// The installer library that installer.exe carries as its resource "TAVRO_INSTALLER_DLL",
// put on disk so that a lone installer.exe can run: in the folder
// "<temp>\tavro_installer_<SHA-256 of the library>" of the current user's own, so that two
// versions never meet and a later run reuses the file. The folder is made private to the
// user; one that another user owns, or that is a link, is refused.
//
// Prepare() leaves the file open denying writers and deleters for as long as this object
// lives, so the bytes it compared are the bytes the loader maps. A file that does not
// match is replaced; copies of the host starting at once each write a private temporary
// file and only one of them renames its file into place, the others use the winner's
// after checking it. Not thread-safe; one per process.
class EmbeddedLibrary {
 public:
  EmbeddedLibrary() = default;
  EmbeddedLibrary(const EmbeddedLibrary&) = delete;
  EmbeddedLibrary& operator=(const EmbeddedLibrary&) = delete;

  // |host|: the module that carries the library. |temp_folder|: an absolute folder path (a
  // trailing separator is allowed). False, with what went wrong in |error| (a line for
  // standard error, without the program's name), when the library cannot be put in place;
  // nothing else is ever offered for loading then.
  bool Prepare(HMODULE host, const std::wstring& temp_folder, std::string* error);

  // The checked file's full path; valid after Prepare() succeeded.
  const std::wstring& path() const { return path_; }

 private:
  enum class Check { kMatches, kDiffers, kMissing, kFailed };
  enum class Write { kRenamed, kLost, kFailed };

  // Creates the private folder or opens the existing one, checking it is a real folder
  // owned by the current user, and keeps it open against renaming.
  bool OpenFolder(const std::wstring& folder, std::string* error);
  // Opens |path_| denying writers and compares it with the embedded bytes; on kMatches the
  // file stays open in |file_|.
  Check OpenAndCompare(DWORD* system_error);
  // Writes the embedded bytes to a new temporary file of the folder and renames it to
  // |path_|, replacing a file that was found to differ when |replace|. kLost, with the
  // system error, when another writer or a reader holding the file came first: the caller
  // checks again. kFailed, with |error|, when nothing can be written.
  Write WriteAndRename(bool replace, DWORD* system_error, std::string* error);

  const unsigned char* bytes_ = nullptr;
  DWORD size_ = 0;
  std::wstring folder_;
  std::wstring path_;
  HostHandle folder_handle_;
  HostHandle file_;
};

// |what|, then the system's text for |error|, in UTF-8: "cannot open X: Access is denied.
// (error 5)".
std::string DescribeError(const std::string& what, DWORD error);
// UTF-16 to UTF-8.
std::string ToUtf8(const std::wstring& text);

}  // namespace installer_host

#endif  // DESKTOP_WINDOWS_INSTALLER_HOST_EMBEDDED_LIBRARY_H_
