#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_ENTRY_NAME_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_ENTRY_NAME_H_

#include <string_view>

namespace installer {

// Whether an archive entry's name may be joined to a destination folder: it must stay a
// plain relative path below that folder and name an ordinary file there. Refused: an
// empty name; a root, drive letter or UNC prefix ("\a", "C:a", "\\server\share",
// "\\?\..."); a component that refers to a parent (".." and the forms Windows reads as
// one); a ':' (alternate data streams, drive-relative paths); characters Windows does
// not allow in names (control characters, < > " | ? *); components that Windows takes
// for devices (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, with any extension
// or trailing dots and spaces); and components that end in a dot or a space, which
// Windows would write under another name ("c." as "c") or read as the folder itself
// (".", ". ."). Both slash and backslash separate components.
bool IsSafeArchiveEntryName(std::wstring_view name);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ARCHIVE_ENTRY_NAME_H_
