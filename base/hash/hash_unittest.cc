#include <string>

#include "base/hash/md5.h"
#include "base/hash/sha1.h"
#include "base/hash/super_fast_hash.h"
#include "base/strings/string_number_conversions.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string Md5Hex(const std::string& text) {
  const Md5Digest digest = Md5Sum(text);
  return HexEncode(digest.bytes, sizeof(digest.bytes));
}

TEST(HashTest, Md5MatchesTheReferenceDigests) {
  EXPECT_EQ("D41D8CD98F00B204E9800998ECF8427E", Md5Hex(""));
  EXPECT_EQ("900150983CD24FB0D6963F7D28E17F72", Md5Hex("abc"));
  EXPECT_EQ("F96B697D7CB7938D525A2F31AAF161D0", Md5Hex("message digest"));
  std::string digits;
  for (int i = 0; i < 8; ++i)
    digits += "1234567890";
  EXPECT_EQ("57EDF4A22BE3C955AC49DA2E2107B67A", Md5Hex(digits));

  // Fed in uneven pieces, the digest is the same.
  Md5Context context;
  for (size_t i = 0; i < digits.size(); i += 7)
    context.Update(digits.data() + i, digits.size() - i < 7 ? digits.size() - i : 7);
  Md5Digest digest;
  context.Finish(&digest);
  EXPECT_EQ("57EDF4A22BE3C955AC49DA2E2107B67A", HexEncode(digest.bytes, sizeof(digest.bytes)));
}

std::string Sha1Hex(const std::string& text) {
  uint8_t digest[kSha1Length];
  Sha1HashBytes(text.data(), text.size(), digest);
  return HexEncode(digest, sizeof(digest));
}

TEST(HashTest, Sha1MatchesTheReferenceDigests) {
  EXPECT_EQ("DA39A3EE5E6B4B0D3255BFEF95601890AFD80709", Sha1Hex(""));
  EXPECT_EQ("A9993E364706816ABA3E25717850C26C9CD0D89D", Sha1Hex("abc"));
  // 56 bytes: the length no longer fits the first padding block.
  EXPECT_EQ("84983E441C3BD26EBAAE4AA1F95129E5E54670F1",
            Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
  EXPECT_EQ("34AA973CD4C4DAA4F61EEB2BDBAD27316534016F", Sha1Hex(std::string(1000000, 'a')));
}

TEST(HashTest, SuperFastHashOfEachTailLength) {
  EXPECT_EQ(0u, SuperFastHash("", 0));
  EXPECT_EQ(0u, SuperFastHash(nullptr, 4));
  EXPECT_EQ(0xA68C6882u, SuperFastHash("hello world", 11));
  EXPECT_EQ(0x115EA782u, SuperFastHash("a", 1));
  EXPECT_EQ(0x516B8B44u, SuperFastHash("ab", 2));
  EXPECT_EQ(0xD2BE198Au, SuperFastHash("abc", 3));
  // Tail bytes count as signed.
  EXPECT_EQ(0x547A507Eu, SuperFastHash("\xff\xfe\xfd", 3));
  EXPECT_EQ(0xF30533C4u, SuperFastHash("\x80", 1));
}

}  // namespace
}  // namespace base
