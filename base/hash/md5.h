#ifndef BASE_HASH_MD5_H_
#define BASE_HASH_MD5_H_

#include <stddef.h>
#include <stdint.h>

#include <string_view>

namespace base {

// The MD5 message digest (RFC 1321). Not for security: it identifies data, e.g. the names of
// histograms.
struct Md5Digest {
  uint8_t bytes[16];
};

// Incremental digest: Update any number of times, then Finish once.
class Md5Context {
 public:
  Md5Context();
  Md5Context(const Md5Context&) = delete;
  Md5Context& operator=(const Md5Context&) = delete;

  void Update(const void* data, size_t length);
  void Finish(Md5Digest* digest);

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t length_ = 0;  // Bytes seen so far.
  uint8_t buffer_[64];
};

// The digest of |data| in one call.
Md5Digest Md5Sum(std::string_view data);

}  // namespace base

#endif  // BASE_HASH_MD5_H_
