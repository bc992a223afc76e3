#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_CONTENT_HASH_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_CONTENT_HASH_H_

#include <string>
#include <string_view>

#include "base/files/file_path.h"

namespace installer {
namespace test {

// The SHA-256 of |data| as lower-case hexadecimal text (the form of the checksums the
// autoupdate server sends).
std::string Sha256Hex(std::string_view data);

// The same for a file's content; false when it cannot be read.
bool Sha256HexOfFile(const base::FilePath& path, std::string* hex);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_CONTENT_HASH_H_
