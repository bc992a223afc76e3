#include "base/strings/string_split.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

using Strings = std::vector<std::string>;
using Views = std::vector<TextView>;

TEST(StringSplitTest, KeepsOrDropsEmptyPieces) {
  EXPECT_EQ((Strings{"a", "", "b", ""}),
            SplitString("a,,b,", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Strings{"a", "b"}), SplitString("a,,b,", ",", KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY));
  EXPECT_EQ((Strings{"", ""}), SplitString(",", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_TRUE(SplitString("", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL).empty());
  EXPECT_EQ((Strings{"a,b"}), SplitString("a,b", "", KEEP_WHITESPACE, SPLIT_WANT_ALL));
}

TEST(StringSplitTest, AnyOfSeveralSeparators) {
  EXPECT_EQ((std::vector<std::wstring>{L"feature", L"1", L"other", L"2"}),
            SplitString(L"feature@1,other@2", L",@", KEEP_WHITESPACE, SPLIT_WANT_ALL));
}

TEST(StringSplitTest, TrimsAsciiWhitespaceFromEachPiece) {
  EXPECT_EQ((Strings{"a b", "", "c"}),
            SplitString(" a b ,\t, c\r\n", ",", TRIM_WHITESPACE, SPLIT_WANT_ALL));
  // Pieces that are only whitespace count as empty once trimmed.
  EXPECT_EQ((Strings{"a b", "c"}),
            SplitString(" a b ,\t, c\r\n", ",", TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY));
  EXPECT_EQ((Strings{" a b ", "\t", " c\r\n"}),
            SplitString(" a b ,\t, c\r\n", ",", KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY));
  // Whitespace can itself be the separator.
  EXPECT_EQ((Strings{"a", "b"}), SplitString("a  b", " ", TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY));
}

TEST(StringSplitTest, SplitTextViewReturnsViewsIntoTheInput) {
  const std::string input = "k1=v1; k2 ;;";
  const Views pieces = SplitTextView(input, ';', TRIM_WHITESPACE, SPLIT_WANT_ALL);
  EXPECT_EQ((Views{"k1=v1", "k2", "", ""}), pieces);
  EXPECT_EQ(input.data() + 7, pieces[1].data());
  EXPECT_EQ((std::vector<WideTextView>{L"a", L" b"}),
            SplitTextView(L"a| b|", L'|', KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY));
}

}  // namespace
}  // namespace base
