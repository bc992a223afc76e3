#include "base/rand_util.h"

#include <limits.h>
#include <string.h>

#include <set>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(RandUtilTest, RandIntStaysInBounds) {
  EXPECT_EQ(5, RandInt(5, 5));
  EXPECT_EQ(INT_MIN, RandInt(INT_MIN, INT_MIN));
  EXPECT_EQ(INT_MAX, RandInt(INT_MAX, INT_MAX));
  EXPECT_EQ(0u, RandGenerator(1));

  // Every value of a small range shows up, and nothing outside it.
  std::set<int> seen;
  for (int i = 0; i < 1000; ++i) {
    const int value = RandInt(-3, 3);
    ASSERT_GE(value, -3);
    ASSERT_LE(value, 3);
    seen.insert(value);
  }
  EXPECT_EQ(7u, seen.size());

  // The whole int range: both signs appear (each draw is negative with probability 1/2).
  bool negative = false;
  bool positive = false;
  for (int i = 0; i < 100; ++i) {
    const int value = RandInt(INT_MIN, INT_MAX);
    negative |= value < 0;
    positive |= value > 0;
  }
  EXPECT_TRUE(negative);
  EXPECT_TRUE(positive);

  // The top of the range is reached as well as the bottom.
  std::set<int> edges;
  for (int i = 0; i < 200; ++i)
    edges.insert(RandInt(INT_MAX - 1, INT_MAX));
  EXPECT_EQ(2u, edges.size());
}

TEST(RandUtilTest, RandIntIsUniform) {
  // 20000 draws over 10 values: each count is 2000 with a standard deviation of 42; a
  // deviation of 300 (7 standard deviations) would be a fault, not bad luck.
  int counts[10] = {};
  for (int i = 0; i < 20000; ++i)
    ++counts[RandInt(0, 9)];
  for (int count : counts) {
    EXPECT_GT(count, 1700);
    EXPECT_LT(count, 2300);
  }
}

TEST(RandUtilTest, RandBytesFillsTheBuffer) {
  unsigned char first[64];
  unsigned char second[64];
  memset(first, 0, sizeof(first));
  memset(second, 0, sizeof(second));
  RandBytes(first, sizeof(first));
  RandBytes(second, sizeof(second));
  EXPECT_NE(0, memcmp(first, second, sizeof(first)));
  // Every 8-byte block is filled, not only the start.
  for (size_t offset = 0; offset < sizeof(first); offset += 8) {
    const unsigned char zeros[8] = {};
    EXPECT_NE(0, memcmp(first + offset, zeros, 8));
  }
  RandBytes(nullptr, 0);
  EXPECT_NE(RandUint64(), RandUint64());
}

}  // namespace
}  // namespace base
