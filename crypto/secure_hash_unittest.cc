#include "crypto/secure_hash.h"

#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/test/scoped_log_capture.h"
#include "gtest/gtest.h"

namespace crypto {
namespace {

std::string Digest(SecureHash* hash) {
  uint8_t digest[32];
  hash->Finish(digest, sizeof(digest));
  return base::HexEncode(digest, sizeof(digest));
}

constexpr char kAbcDigest[] = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";

TEST(SecureHashTest, Sha256InPiecesClonedAndCutShort) {
  std::unique_ptr<SecureHash> hash = SecureHash::Create(SecureHash::SHA256);
  ASSERT_TRUE(hash);
  EXPECT_EQ(32u, hash->GetHashLength());
  EXPECT_EQ("E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855", Digest(hash.get()));

  // The clone carries on from "a"; the original goes on without it.
  hash->Update("a", 1);
  std::unique_ptr<SecureHash> clone = hash->Clone();
  clone->Update("bc", 2);
  hash->Update("bd", 2);
  EXPECT_EQ(kAbcDigest, Digest(clone.get()));
  EXPECT_NE(kAbcDigest, Digest(hash.get()));

  // After Finish the object starts over.
  hash->Update("abc", 3);
  EXPECT_EQ(kAbcDigest, Digest(hash.get()));

  // A short output gets the leading bytes only; the rest of the buffer stays untouched.
  uint8_t out[32];
  memset(out, 0xEE, sizeof(out));
  hash->Update("abc", 3);
  hash->Finish(out, 5);
  EXPECT_EQ("BA7816BF8FEEEEEE", base::HexEncode(out, 8));
}

TEST(SecureHashTest, OtherAlgorithmsAreNotImplemented) {
  base::test::ScopedLogCapture log;
  EXPECT_FALSE(SecureHash::Create(static_cast<SecureHash::Algorithm>(1)));
  EXPECT_TRUE(log.Logged(logging::LOG_ERROR, "NOT IMPLEMENTED"));
}

}  // namespace
}  // namespace crypto
