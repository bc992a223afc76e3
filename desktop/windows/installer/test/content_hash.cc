#include "desktop/windows/installer/test/content_hash.h"

#include <memory>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "crypto/secure_hash.h"

namespace installer {
namespace test {

std::string Sha256Hex(std::string_view data) {
  const std::unique_ptr<crypto::SecureHash> hash =
      crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  if (!hash)
    return std::string();
  hash->Update(data.data(), data.size());
  unsigned char digest[32];
  hash->Finish(digest, sizeof(digest));
  return base::ToLowerAscii(base::HexEncode(digest, sizeof(digest)));
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
