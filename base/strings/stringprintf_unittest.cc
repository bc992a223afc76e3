#include "base/strings/stringprintf.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringPrintfTest, FormatsNarrowAndWide) {
  EXPECT_EQ("", StringPrintf("%s", ""));
  EXPECT_EQ("7 -3 ff 0x0000002A x", StringPrintf("%d %d %x 0x%08X %c", 7, -3, 255, 42, 'x'));
  EXPECT_EQ("18446744073709551615 -9223372036854775808",
            StringPrintf("%llu %lld", ~0ULL, -9223372036854775807LL - 1));
  EXPECT_EQ("1.50 100%", StringPrintf("%.2f 100%%", 1.5));
  EXPECT_EQ(L"de 12 caf\x00E9", WideStringPrintf(L"%ls %u %ls", L"de", 12u, L"caf\x00E9"));
  EXPECT_EQ(L"0x0000000012345678", WideStringPrintf(L"0x%016I64X", 0x12345678ULL));
}

TEST(StringPrintfTest, MixesNarrowAndWideArguments) {
  // The runtime's "%S" takes the other width of string.
  EXPECT_EQ("path C:\\x", StringPrintf("path %S", L"C:\\x"));
  EXPECT_EQ(L"name ab", WideStringPrintf(L"name %S", "ab"));
}

TEST(StringPrintfTest, LongOutputIsComplete) {
  // Around and far beyond the size of a first-try buffer.
  for (size_t length : {1023u, 1024u, 1025u, 5000u, 100000u}) {
    const std::string narrow(length, 'n');
    EXPECT_EQ("<" + narrow + ">", StringPrintf("<%s>", narrow.c_str()));
    const std::wstring wide(length, L'w');
    EXPECT_EQ(L"<" + wide + L">", WideStringPrintf(L"<%ls>", wide.c_str()));
  }
}

TEST(StringPrintfTest, AppendAndAssign) {
  std::string text = "start";
  StringAppendF(&text, " %d", 1);
  StringAppendF(&text, "%s", "");
  EXPECT_EQ("start 1", text);
  // The arguments may point into the destination.
  EXPECT_EQ("[start 1]", StringAssignF(&text, "[%s]", text.c_str()));
  EXPECT_EQ("[start 1]", text);

  std::wstring wide = L"a";
  StringAppendF(&wide, L"%ls", wide.c_str());
  EXPECT_EQ(L"aa", wide);
  StringAssignF(&wide, L"%d", 5);
  EXPECT_EQ(L"5", wide);
}

}  // namespace
}  // namespace base
