#ifndef DESKTOP_WINDOWS_INSTALLER_TEMPORARY_FOLDER_RECORDS_H_
#define DESKTOP_WINDOWS_INSTALLER_TEMPORARY_FOLDER_RECORDS_H_

#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/protected_folder.h"

namespace installer {

// The protected folders that elevated processes make in the system's temporary folder,
// recorded with the process that made each one (its id and creation time) in a key below
// HKEY_LOCAL_MACHINE that only administrators can write. A process that is ended before it
// removes its folder leaves the record behind, and a later elevated run removes the folder
// once that very process has ended: under its name alone the folder could be anybody's.
//
// Example: an elevated process makes a folder of its own, and removes it and its record.
//   base::FilePath folder;
//   if (!CreateRecordedTemporaryFolder(kStagingFolderPrefix, Readers::kAdminsOnly, &folder))
//     return false;
//   ... use the folder ...
//   if (base::DeletePath(folder, true))
//     ForgetTemporaryFolder(folder);

// The name prefixes of the recorded folders; nothing else is ever removed by a sweep.
extern const wchar_t kStagingFolderPrefix[];  // "tavro_staging_"
extern const wchar_t kCleanupFolderPrefix[];  // "tavro_cleanup_"
extern const wchar_t kPinFolderPrefix[];      // "tavro_pin_"

// The key below HKEY_LOCAL_MACHINE (64-bit view) that holds the records: one string value
// per folder, named as the folder, holding "<process id>,<process creation time>".
std::wstring GetTemporaryFoldersRegistryKey();

// CreateUniqueProtectedFolder below SystemTempFolder() with |prefix| (one of the prefixes
// above). In an elevated process the folders of ended processes are swept first (once per
// process), and the new folder is recorded as this process's before the caller puts
// anything in it; a record that cannot be written is logged and the folder made all the
// same (it is then removed only by this process, as before records were kept).
bool CreateRecordedTemporaryFolder(const std::wstring& prefix,
                                   Readers readers,
                                   base::FilePath* folder);

// Removes the record of |folder| once the folder is gone (or handed to a process that
// removes it), and the records' key when it is left empty. Logged, never fatal.
void ForgetTemporaryFolder(const base::FilePath& folder);

// For each record: drops it with a warning, the folder left alone, when its name is not
// a known prefix followed by digits, its path is not a direct child of the system's
// temporary folder, or a link or a file stands in the folder's place; keeps it while the
// recorded process runs (or cannot be examined); otherwise removes the folder without
// following any link inside it, and then the record (a record whose folder is gone just
// goes; one whose folder could not be removed entirely stays for the next sweep).
void SweepTemporaryFolders();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEMPORARY_FOLDER_RECORDS_H_
