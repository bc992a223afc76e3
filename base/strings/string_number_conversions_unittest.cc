#include "base/strings/string_number_conversions.h"

#include <stdint.h>

#include <limits>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringNumberConversionsTest, NumbersToText) {
  EXPECT_EQ("0", IntToString(0));
  EXPECT_EQ("-2147483648", IntToString(std::numeric_limits<int>::min()));
  EXPECT_EQ(L"2147483647", IntToWideString(std::numeric_limits<int>::max()));
  EXPECT_EQ(L"-17", IntToWideString(-17));
  EXPECT_EQ("4294967295", UintToString(std::numeric_limits<unsigned>::max()));
  EXPECT_EQ(L"4294967295", UintToWideString(std::numeric_limits<unsigned>::max()));
  EXPECT_EQ("-9223372036854775808", Int64ToString(std::numeric_limits<int64_t>::min()));
  EXPECT_EQ(L"9223372036854775807", Int64ToWideString(std::numeric_limits<int64_t>::max()));
  EXPECT_EQ("18446744073709551615", Uint64ToString(std::numeric_limits<uint64_t>::max()));
}

TEST(StringNumberConversionsTest, StringToUintAcceptsOnlyDigits) {
  unsigned value = 99;
  EXPECT_TRUE(StringToUint(L"4294967295", &value));
  EXPECT_EQ(4294967295u, value);
  EXPECT_TRUE(StringToUint(L"007", &value));
  EXPECT_EQ(7u, value);

  // Signs, whitespace, other characters and empty text all fail.
  for (const wchar_t* bad : {L"", L"+1", L"-1", L"-0", L" 1", L"1 ", L"1\t", L"1x", L"0x1",
                             L"1.0", L"\xFF11"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(bad)));
    EXPECT_FALSE(StringToUint(bad, &value));
  }
  // The digits before a bad character are what is left in the output.
  EXPECT_FALSE(StringToUint(L"12a4", &value));
  EXPECT_EQ(12u, value);

  // Overflow clamps to the limit and fails.
  EXPECT_FALSE(StringToUint(L"4294967296", &value));
  EXPECT_EQ(4294967295u, value);
  EXPECT_FALSE(StringToUint("99999999999999999999", &value));
  EXPECT_EQ(4294967295u, value);
}

TEST(StringNumberConversionsTest, SignedParsingClampsOnOverflow) {
  int64_t value = 0;
  EXPECT_TRUE(StringToInt64("-9223372036854775808", &value));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), value);
  EXPECT_TRUE(StringToInt64(L"+9223372036854775807", &value));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), value);
  EXPECT_TRUE(StringToInt64("-0", &value));
  EXPECT_EQ(0, value);

  EXPECT_FALSE(StringToInt64("9223372036854775808", &value));
  EXPECT_EQ(std::numeric_limits<int64_t>::max(), value);
  EXPECT_FALSE(StringToInt64(L"-9223372036854775809", &value));
  EXPECT_EQ(std::numeric_limits<int64_t>::min(), value);

  for (const char* bad : {"", "-", "+", "--1", "+-1", " -1", "-1 ", "- 1", "1e3"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(StringToInt64(bad, &value));
  }
  EXPECT_FALSE(StringToInt64("-42z", &value));
  EXPECT_EQ(-42, value);

  int small = 0;
  EXPECT_TRUE(StringToInt(L"-2147483648", &small));
  EXPECT_EQ(std::numeric_limits<int>::min(), small);
  EXPECT_FALSE(StringToInt("2147483648", &small));
  EXPECT_EQ(std::numeric_limits<int>::max(), small);
}

TEST(StringNumberConversionsTest, StringToUint64) {
  uint64_t value = 0;
  EXPECT_TRUE(StringToUint64(L"18446744073709551615", &value));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), value);
  EXPECT_FALSE(StringToUint64("18446744073709551616", &value));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), value);
  EXPECT_FALSE(StringToUint64("-1", &value));
  EXPECT_FALSE(StringToUint64(L"", &value));
}

TEST(StringNumberConversionsTest, HexStringToUint64) {
  uint64_t value = 0;
  EXPECT_TRUE(HexStringToUint64("0x1aF", &value));
  EXPECT_EQ(0x1AFu, value);
  EXPECT_TRUE(HexStringToUint64(L"0XFFFFFFFFFFFFFFFF", &value));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), value);
  EXPECT_TRUE(HexStringToUint64("00000000000000000000c0de", &value));
  EXPECT_EQ(0xC0DEu, value);

  EXPECT_FALSE(HexStringToUint64("10000000000000000", &value));
  EXPECT_EQ(std::numeric_limits<uint64_t>::max(), value);
  for (const char* bad : {"", "0x", "x1", "0x0x1", "-1", "+1", " 1", "1 ", "1g", "0y1"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(HexStringToUint64(bad, &value));
  }
}

TEST(StringNumberConversionsTest, HexStringToBytesAndHexEncode) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(HexStringToBytes("00ff7Fa0", &bytes));
  EXPECT_EQ((std::vector<uint8_t>{0x00, 0xFF, 0x7F, 0xA0}), bytes);
  EXPECT_EQ("00FF7FA0", HexEncode(bytes.data(), bytes.size()));
  EXPECT_EQ("", HexEncode(nullptr, 0));

  // Failures leave the output as it was.
  for (const char* bad : {"", "0", "abc", "0g", "g0", "0x00", " 00", "00 ", "-1"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(HexStringToBytes(bad, &bytes));
    EXPECT_EQ(4u, bytes.size());
  }
}

}  // namespace
}  // namespace base
