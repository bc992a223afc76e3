#ifndef DESKTOP_WINDOWS_INSTALLER_CLEANUP_BATCH_H_
#define DESKTOP_WINDOWS_INSTALLER_CLEANUP_BATCH_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace installer {

// The clean-up batch "k.bat" that an uninstallation leaves for what the running installer
// processes still hold: it waits until they have ended, then deletes those files and the
// folders that held them. The command interpreter reads a batch file in the OEM code page
// and expands "%" in every line; the paths are written so that neither changes them.

// The name of the batch.
extern const wchar_t kCleanupBatchName[];  // "k.bat"

// The text of the batch: it waits until the processes |pids| (the uninstaller first, zeros
// skipped) have ended, then deletes |files_left| and removes the folders that held them, up
// to |install_folder| and deepest first, when they are empty; then itself. Lines end with a
// line feed. The programs it uses are named by their full paths in the system folder. A path
// that the batch cannot name exactly (see ToBatchPathText) is left out, with an error
// logged; empty, logged, when the system folder cannot be named.
std::string MakeCleanupBatch(const std::vector<uint32_t>& pids,
                             const base::FilePath& install_folder,
                             const std::vector<base::FilePath>& files_left);

// |path| as a batch line holds it between double quotes: in the OEM code page exactly
// (never a best-fit stand-in, which names another file: "＂" is no '"', "Ł" no "L"), through
// its 8.3 name when the code page lacks a character of the long one, every "%" doubled.
// False when there is no exact form (the file is missing, or the volume keeps no 8.3
// names).
bool ToBatchPathText(const base::FilePath& path, std::string* text);

// The files that the "del" lines of the batch text |text| name, as MakeCleanupBatch wrote
// them (the batch itself excepted).
std::vector<base::FilePath> ReadCleanupBatchFiles(const std::string& text);

// For an elevated process whose batch deletes files in folders that a less privileged user
// may change: renames |file| within its own folder to a name nobody can know beforehand,
// once a handle has proven that it is the file at |file| itself (no link on its way, none in
// its place), and gives that name. The batch then names only the new name: should the user
// put a link in a folder's place later, the batch finds nothing of that name where the link
// leads. False, logged, when |file| is not plainly there or cannot be renamed; it stays.
bool RenameForProtectedDeletion(const base::FilePath& file, base::FilePath* renamed);

// Starts the batch file |batch| with a hidden window, not waited for, through the command
// interpreter of the system folder. It runs in its own folder and is named there
// relatively, so that its path never passes through the interpreter's expansion of "%";
// the interpreter is told not to look for programs in that folder.
bool StartCleanupBatch(const base::FilePath& batch);

// For an elevated process, which must neither run a batch that a less privileged user can
// change nor work in a folder where such a user can put programs: writes |text| as the
// batch kCleanupBatchName of a new folder of the system's temporary folder that only the
// system and administrators can change, and starts it there. The folder goes once the batch
// has deleted itself. False, logged, when it cannot.
bool StartProtectedCleanupBatch(const std::string& text);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CLEANUP_BATCH_H_
