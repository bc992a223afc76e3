#ifndef DESKTOP_WINDOWS_INSTALLER_DEFAULT_INSTALL_FOLDERS_H_
#define DESKTOP_WINDOWS_INSTALLER_DEFAULT_INSTALL_FOLDERS_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"

// Where installations go by default, and what the machine already holds. The Settings use
// these on their own thread; none of them changes anything.

namespace installer {

// The architecture of the browser being installed.
enum InstallerArchitecture : uint32_t {
  INSTALLER_ARCH_X86 = 0,
  INSTALLER_ARCH_X64 = 1,
};

// The name of an install folder: the visible product name and the stream ("Tavro Stable").
std::wstring GetDefaultInstallFolderName();

// The program-files folder of an all-users installation: the 64-bit one for an x64
// browser, the 32-bit one for an x86 browser (the library itself is 64-bit, so the
// process's own program-files folder is the wrong one for x86). False, with the error
// logged, when the system cannot say.
bool GetProgramFilesFolder(uint32_t architecture, base::FilePath* folder);

// The folder of the user's own programs, for a current-user installation.
bool GetUserProgramsFolder(base::FilePath* folder);

// The last install folder remembered under the company's key of HKEY_CURRENT_USER, by
// stream (and for x64 first the value of the older x64 builds). Empty when nothing usable
// is remembered: the first value that can be read counts, and only when it names an
// existing folder by a path that GetInstallFolderPathProblem finds usable.
base::FilePath ReadLastInstallPath(uint32_t architecture);

// A drive that can hold a stand-alone installation.
struct StandaloneCandidate {
  base::FilePath folder;
  // Lower is suggested first (removable drives first, CD-ROMs nearly last).
  unsigned priority = 0;
};

// The suggestion priority of a drive type (GetDriveTypeW).
unsigned GetDriveTypePriority(UINT drive_type);

// The drives, in letter order, that answer with their media present, each with the install
// folder name appended.
std::vector<StandaloneCandidate> FindStandaloneCandidates();

// The candidates by priority (drive-letter order among equals), without those after the
// first whose priority is 5 or more (CD-ROMs and drives of unknown type are suggested
// only when nothing else is there).
std::vector<base::FilePath> OrderStandaloneCandidates(std::vector<StandaloneCandidate> candidates);

// The number of uninstall registrations of this product for |stream| (Stream of
// product_info.h) under the current user's and the machine's uninstall keys (both views),
// counting stops at |enough|.
int CountStreamRegistrations(int stream, int enough);

// Whether |path| lies below |folder|, comparing without regard to case or separator kind.
bool IsInsideFolder(const base::FilePath& path, const base::FilePath& folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_DEFAULT_INSTALL_FOLDERS_H_
