#include "base/strings/string_split.h"

#include "base/strings/string_util.h"

namespace base {

namespace {

template <typename Char, typename Piece>
std::vector<Piece> Split(std::basic_string_view<Char> input,
                         std::basic_string_view<Char> separators,
                         WhitespaceHandling whitespace,
                         SplitResult result_type) {
  std::vector<Piece> result;
  if (input.empty())
    return result;
  size_t start = 0;
  while (true) {
    const size_t end = input.find_first_of(separators, start);
    std::basic_string_view<Char> piece =
        input.substr(start, end == std::basic_string_view<Char>::npos ? end : end - start);
    if (whitespace == TRIM_WHITESPACE)
      piece = TrimWhitespaceASCII(piece, TRIM_ALL);
    if (result_type == SPLIT_WANT_ALL || !piece.empty())
      result.emplace_back(piece);
    if (end == std::basic_string_view<Char>::npos)
      break;
    start = end + 1;
  }
  return result;
}

}  // namespace

std::vector<std::string> SplitString(TextView input, TextView separators,
                                     WhitespaceHandling whitespace, SplitResult result_type) {
  return Split<char, std::string>(input, separators, whitespace, result_type);
}

std::vector<std::wstring> SplitString(WideTextView input, WideTextView separators,
                                      WhitespaceHandling whitespace, SplitResult result_type) {
  return Split<wchar_t, std::wstring>(input, separators, whitespace, result_type);
}

std::vector<TextView> SplitTextView(TextView input, char separator,
                                    WhitespaceHandling whitespace, SplitResult result_type) {
  return Split<char, TextView>(input, TextView(&separator, 1), whitespace, result_type);
}

std::vector<WideTextView> SplitTextView(WideTextView input, wchar_t separator,
                                        WhitespaceHandling whitespace, SplitResult result_type) {
  return Split<wchar_t, WideTextView>(input, WideTextView(&separator, 1), whitespace,
                                      result_type);
}

}  // namespace base
