#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_PROTECTED_FOLDER_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_PROTECTED_FOLDER_H_

#include <windows.h>

#include <accctrl.h>

#include <string>

#include "base/files/file_path.h"
#include "base/win/scoped_local_alloc.h"

namespace installer {

// Folders and objects that only the system and administrators can change: what an elevated
// process runs, loads or replays must come from such a place, or be checked on a handle it
// keeps open until use.
//
// Example: an elevated process copies what it will run into a folder of its own.
//   base::FilePath staging;
//   if (!CreateUniqueProtectedFolder(SystemTempFolder(), L"tavro_", Readers::kAdminsOnly,
//                                    &staging))
//     return false;

enum class Readers {
  // Only SYSTEM and Administrators have any access.
  kAdminsOnly,
  // Users may also read and run what is inside (an all-users install folder).
  kUsersReadAndExecute,
};

// The system's temporary folder (the Windows folder's "Temp"), from the system and never
// from the environment; empty, with the error logged, when the system cannot say.
base::FilePath SystemTempFolder();

// The security descriptor that CreateProtectedFolder gives a new folder; invalid, logged,
// on failure.
base::win::ScopedLocalAlloc MakeProtectedFolderSecurity(Readers readers);

// Creates |folder| as a new folder owned by Administrators, with an access list protected
// from inheritance: SYSTEM and Administrators full control, inherited by everything made
// inside, and Users read and execute when |readers| says so. False, with the error logged,
// when the folder exists already (whoever made it may change it) or cannot be created.
bool CreateProtectedFolder(const base::FilePath& folder, Readers readers);

// CreateProtectedFolder for a new folder below |parent| whose name is |prefix| followed by
// random digits; |folder| receives its path.
bool CreateUniqueProtectedFolder(const base::FilePath& parent,
                                 const std::wstring& prefix,
                                 Readers readers,
                                 base::FilePath* folder);

// Puts the protected access list of CreateProtectedFolder (and Administrators as owner) on
// the existing folder behind |folder|, a handle with WRITE_DAC and WRITE_OWNER access. Used
// for a folder that the elevated process created itself without it. False, logged, on failure.
bool ProtectFolder(HANDLE folder, Readers readers);

// Whether nobody but SYSTEM, Administrators and |also_trusted| (may be null) can change the
// object behind |handle| (READ_CONTROL access): it has an access list, no entry of that list
// allows anyone else to write, delete or change its security, and its owner is one of them or
// is left by an "owner rights" entry with only what that entry grants.
// False, with the reason logged, otherwise or when its security cannot be read. For objects
// found, not made: a folder that CreateProtectedFolder made is protected from its creation
// on (and Wine shows files and folders with an access list made up from their Unix modes,
// whatever they were created with). |also_counted| adds rights that change an object of its
// kind beyond writing (for a mutex: waiting for it, which takes it).
bool OnlyTrustedCanChange(HANDLE handle,
                          SE_OBJECT_TYPE object_type,
                          PSID also_trusted,
                          ACCESS_MASK also_counted = 0);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_PROTECTED_FOLDER_H_
