#include "desktop/windows/installer/package_fetcher/checksum_checker.h"

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/memory_mapped_file.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "crypto/secure_hash.h"

namespace installer {

namespace {

// An empty download is never a package, whatever checksum the server sent for it.
bool MatchesChecksum(bool mapped,
                     const base::MemoryMappedFile& file,
                     const base::FilePath& path,
                     std::string_view expected_checksum) {
  if (!mapped || file.length() == 0) {
    LOG(ERROR) << "Unable to read " << path;
    return false;
  }
  std::unique_ptr<crypto::SecureHash> hash = crypto::SecureHash::Create(crypto::SecureHash::SHA256);
  hash->Update(file.data(), file.length());
  uint8_t digest[32];
  hash->Finish(digest, sizeof(digest));
  return base::ToLowerAscii(base::HexEncode(digest, sizeof(digest))) == expected_checksum;
}

}  // namespace

bool VerifyChecksum(const base::FilePath& path, std::string_view expected_checksum) {
  base::MemoryMappedFile file;
  const bool mapped = file.Initialize(path);
  return MatchesChecksum(mapped, file, path, expected_checksum);
}

bool VerifyChecksum(const base::File& file,
                    const base::FilePath& path,
                    std::string_view expected_checksum) {
  base::MemoryMappedFile mapping;
  const bool mapped = file.IsValid() && mapping.Initialize(file);
  return MatchesChecksum(mapped, mapping, path, expected_checksum);
}

}  // namespace installer
