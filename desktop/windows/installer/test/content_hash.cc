#include "desktop/windows/installer/test/content_hash.h"

#include <openssl/evp.h>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"

namespace installer {
namespace test {

std::string Sha256Hex(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr))
    return std::string();
  return base::ToLowerAscii(base::HexEncode(digest, size));
}

bool Sha256HexOfFile(const base::FilePath& path, std::string* hex) {
  std::string content;
  if (!base::ReadFileToString(path, &content))
    return false;
  *hex = Sha256Hex(content);
  return !hex->empty();
}

}  // namespace test
}  // namespace installer
