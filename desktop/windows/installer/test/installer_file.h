#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_FILE_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_FILE_H_

#include <string_view>

#include "base/files/file_path.h"

namespace installer {
namespace test {

// Appends |payload| to the installer file |path| as the packager does: "QVZ", the bytes and
// their length (little-endian 32-bit). False, with the reason logged, on failure.
bool AppendPayload(const base::FilePath& path, std::string_view payload);

// Gives the PE file |path| a certificate table that holds a certificate entry but no valid
// signature: the file then counts as signed (HasCertificateTable) while its signature can
// never be verified. Appended at the end of the file, so a payload must come first.
bool AddCertificateTable(const base::FilePath& path);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_FILE_H_
