#include "base/version.h"

#include <stdint.h>

#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(VersionTest, Parsing) {
  EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 4}), Version("1.2.3.4").components());
  EXPECT_EQ("1.2.3.4", Version("1.2.3.4").GetString());
  EXPECT_EQ((std::vector<uint32_t>{0}), Version("0").components());
  EXPECT_EQ((std::vector<uint32_t>{4294967295u, 0}), Version("4294967295.0").components());
  // Leading zeros are accepted and do not change the value.
  EXPECT_EQ("1.2.7", Version("01.002.0007").GetString());

  const char* const kInvalid[] = {"",   "1..2", "1.2.", ".1",  "4294967296", "99999999999999999999",
                                  " 1", "1 ",   "+1",   "-1",  "1.-2",       "1.a",
                                  "1,2", "."};
  for (const char* text : kInvalid) {
    SCOPED_TRACE(text);
    const Version version(text);
    EXPECT_FALSE(version.IsValid());
    EXPECT_TRUE(version.components().empty());
    EXPECT_EQ("", version.GetString());
  }
  EXPECT_FALSE(Version(std::string_view("1\0", 2)).IsValid());
  EXPECT_FALSE(Version().IsValid());
  EXPECT_FALSE(Version(std::vector<uint32_t>()).IsValid());
  EXPECT_EQ("7.0", Version(std::vector<uint32_t>{7, 0}).GetString());
}

TEST(VersionTest, Comparison) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"1.0", "1.0.0", 0},      {"1.0.0.0", "1", 0},     {"1.0.1", "1.0", 1},
      {"1.0", "1.0.1", -1},     {"1.10", "1.9", 1},      {"2", "1.99.99", 1},
      {"1.2.3.4", "1.2.3.5", -1}, {"4294967295", "4294967294", 1}, {"1.02", "1.2", 0},
      {"0", "0.0.0.1", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " vs " << c.b);
    const Version a(c.a);
    const Version b(c.b);
    EXPECT_EQ(c.expected, a.CompareTo(b));
    EXPECT_EQ(-c.expected, b.CompareTo(a));
    EXPECT_EQ(c.expected == 0, a == b);
    EXPECT_EQ(c.expected != 0, a != b);
    EXPECT_EQ(c.expected < 0, a < b);
    EXPECT_EQ(c.expected <= 0, a <= b);
    EXPECT_EQ(c.expected > 0, a > b);
    EXPECT_EQ(c.expected >= 0, a >= b);
  }
  // An invalid version sorts before every valid one.
  EXPECT_EQ(-1, Version("x").CompareTo(Version("0")));
  EXPECT_EQ(1, Version("0").CompareTo(Version()));
  EXPECT_EQ(0, Version().CompareTo(Version("")));
}

}  // namespace
}  // namespace base
