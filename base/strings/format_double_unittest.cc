#include "base/strings/format_double.h"

#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <limits>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string Format(double value) {
  char buffer[kFormatDoubleBufferSize];
  const size_t length = FormatDoubleShortest(buffer, value);
  EXPECT_EQ(strlen(buffer), length);
  return std::string(buffer, length);
}

TEST(FormatDoubleTest, ShortestTextRoundTrips) {
  const struct {
    double value;
    const char* text;
  } kCases[] = {
      {0.1, "0.1"},
      {1e300, "1e+300"},
      {5e-324, "5e-324"},
      {0.0, "0"},
      {3.0, "3"},
      {-2.5, "-2.5"},
      {1.0 / 3.0, "0.3333333333333333"},
      {0.1 + 0.2, "0.30000000000000004"},
      {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
      {-std::numeric_limits<double>::min(), "-2.2250738585072014e-308"},
      {123456789012.0, "123456789012"},
  };
  for (const auto& test : kCases) {
    const std::string text = Format(test.value);
    EXPECT_EQ(test.text, text);
    EXPECT_EQ(test.value, strtod(text.c_str(), nullptr)) << text;
  }
}

TEST(FormatDoubleTest, NegativeZeroKeepsItsSign) {
  const std::string text = Format(-0.0);
  EXPECT_EQ("-0", text);
  EXPECT_TRUE(std::signbit(strtod(text.c_str(), nullptr)));
}

TEST(FormatDoubleTest, NonFiniteValues) {
  EXPECT_EQ("inf", Format(std::numeric_limits<double>::infinity()));
  EXPECT_EQ("-inf", Format(-std::numeric_limits<double>::infinity()));
  EXPECT_EQ("nan", Format(std::numeric_limits<double>::quiet_NaN()));
}

}  // namespace
}  // namespace base
