#ifndef BASE_STRINGS_STRING_SPLIT_H_
#define BASE_STRINGS_STRING_SPLIT_H_

#include <string>
#include <vector>

#include "base/strings/text_view.h"

namespace base {

enum WhitespaceHandling {
  KEEP_WHITESPACE,
  // ASCII whitespace is trimmed from both ends of each piece.
  TRIM_WHITESPACE,
};

enum SplitResult {
  SPLIT_WANT_ALL,
  // Pieces that are empty (after any trimming) are dropped.
  SPLIT_WANT_NONEMPTY,
};

// Splits |input| at every occurrence of any of |separators|. Empty input gives no pieces.
std::vector<std::string> SplitString(TextView input, TextView separators,
                                     WhitespaceHandling whitespace, SplitResult result_type);
std::vector<std::wstring> SplitString(WideTextView input, WideTextView separators,
                                      WhitespaceHandling whitespace, SplitResult result_type);

// As SplitString with one separator, returning views into |input|.
std::vector<TextView> SplitTextView(TextView input, char separator,
                                    WhitespaceHandling whitespace, SplitResult result_type);
std::vector<WideTextView> SplitTextView(WideTextView input, wchar_t separator,
                                        WhitespaceHandling whitespace, SplitResult result_type);

}  // namespace base

#endif  // BASE_STRINGS_STRING_SPLIT_H_
