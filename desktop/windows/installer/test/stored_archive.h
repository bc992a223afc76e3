#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_STORED_ARCHIVE_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_STORED_ARCHIVE_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {
namespace test {

// A 7z archive of every file below |folder| (names relative to it, backslashes), stored
// without compression in one 7z folder, as the bytes of the archive file; empty when a file
// cannot be read. Tests make packages with it from folders they build at run time.
std::string MakeStoredArchive(const base::FilePath& folder);

// Writes an installer file to |package| that carries the archive of |folder| as its
// full-package payload: a copy of |host| (a PE program) with the payload appended, as the
// downloaded package is. False, logged, on failure.
bool WritePackageInstaller(const base::FilePath& folder,
                           const base::FilePath& host,
                           const base::FilePath& package);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_STORED_ARCHIVE_H_
