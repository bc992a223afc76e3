#include "crypto/secure_hash.h"

#include <string.h>

#include <algorithm>

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include "base/logging.h"

namespace crypto {

// SHA-256 over the crypto library's context. The context holds hash state derived from
// the data, so it is wiped before the memory is given back.
class SecureHashSha256 : public SecureHash {
 public:
  SecureHashSha256() { SHA256_Init(&context_); }
  SecureHashSha256(const SecureHashSha256& other) : SecureHash(), context_(other.context_) {}
  ~SecureHashSha256() override { OPENSSL_cleanse(&context_, sizeof(context_)); }

  void Update(const void* input, size_t length) override {
    SHA256_Update(&context_, input, length);
  }

  void Finish(void* output, size_t length) override {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256_Final(digest, &context_);
    memcpy(output, digest, std::min(length, sizeof(digest)));
    OPENSSL_cleanse(digest, sizeof(digest));
    SHA256_Init(&context_);
  }

  size_t GetHashLength() const override { return SHA256_DIGEST_LENGTH; }

  std::unique_ptr<SecureHash> Clone() const override {
    return std::make_unique<SecureHashSha256>(*this);
  }

 private:
  SHA256_CTX context_;
};

std::unique_ptr<SecureHash> SecureHash::Create(Algorithm algorithm) {
  if (algorithm == SHA256)
    return std::make_unique<SecureHashSha256>();
  LOG(ERROR) << "NOT IMPLEMENTED";
  return nullptr;
}

}  // namespace crypto
