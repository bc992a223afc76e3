#ifndef CRYPTO_SECURE_HASH_H_
#define CRYPTO_SECURE_HASH_H_

#include <stddef.h>

#include <memory>

namespace crypto {

// A running cryptographic hash. Not thread-safe: one thread feeds an object at a time.
class SecureHash {
 public:
  enum Algorithm {
    SHA256 = 0,
  };

  // A new hash of |algorithm|; null, with an error logged, for an algorithm that is not
  // supported.
  static std::unique_ptr<SecureHash> Create(Algorithm algorithm);

  virtual ~SecureHash() = default;

  SecureHash(const SecureHash&) = delete;
  SecureHash& operator=(const SecureHash&) = delete;

  // Adds |length| bytes at |input|.
  virtual void Update(const void* input, size_t length) = 0;

  // Writes the digest of everything added so far to |output|: all of it when |length| is
  // at least GetHashLength(), else only the first |length| bytes. The object then starts
  // over, as if just created.
  virtual void Finish(void* output, size_t length) = 0;

  virtual size_t GetHashLength() const = 0;

  // A new object that continues from the running state of this one.
  virtual std::unique_ptr<SecureHash> Clone() const = 0;

 protected:
  SecureHash() = default;
};

}  // namespace crypto

#endif  // CRYPTO_SECURE_HASH_H_
