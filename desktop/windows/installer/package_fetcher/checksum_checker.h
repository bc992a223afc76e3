#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_CHECKSUM_CHECKER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_CHECKSUM_CHECKER_H_

#include <string_view>

#include "base/files/file.h"
#include "base/files/file_path.h"

namespace installer {

// True when the SHA-256 of the file at |path|, written as 64 lower-case hexadecimal
// digits, equals |expected_checksum| byte for byte (so upper-case text never matches).
// A file that cannot be mapped, or is empty, fails with "Unable to read <path>" logged.
// Reads the whole file on the calling thread.
bool VerifyChecksum(const base::FilePath& path, std::string_view expected_checksum);

// The same for the open |file| (read access), which |path| names in the log: the bytes
// checked are those of the file the handle holds.
bool VerifyChecksum(const base::File& file,
                    const base::FilePath& path,
                    std::string_view expected_checksum);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_CHECKSUM_CHECKER_H_
