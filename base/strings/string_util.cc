#include "base/strings/string_util.h"

namespace base {

namespace {

template <typename Char>
Char LowerAscii(Char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <typename Char>
Char UpperAscii(Char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<Char>(c - 'a' + 'A') : c;
}

template <typename Char>
std::basic_string<Char> MapAscii(std::basic_string_view<Char> text, Char (*map)(Char)) {
  std::basic_string<Char> result(text);
  for (Char& c : result)
    c = map(c);
  return result;
}

template <typename Char>
bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i]))
      return false;
  }
  return true;
}

template <typename Char>
bool AllAscii(std::basic_string_view<Char> text) {
  for (Char c : text) {
    if (static_cast<unsigned>(c) >= 0x80)
      return false;
  }
  return true;
}

template <typename Char>
bool HasPrefix(std::basic_string_view<Char> text, std::basic_string_view<Char> prefix,
               CompareCase case_mode) {
  if (text.size() < prefix.size())
    return false;
  text = text.substr(0, prefix.size());
  return case_mode == CompareCase::SENSITIVE ? text == prefix
                                             : EqualsIgnoringAsciiCase(text, prefix);
}

template <typename Char>
bool HasSuffix(std::basic_string_view<Char> text, std::basic_string_view<Char> suffix,
               CompareCase case_mode) {
  if (text.size() < suffix.size())
    return false;
  text = text.substr(text.size() - suffix.size());
  return case_mode == CompareCase::SENSITIVE ? text == suffix
                                             : EqualsIgnoringAsciiCase(text, suffix);
}

template <typename Char>
std::basic_string_view<Char> TrimWhitespace(std::basic_string_view<Char> input,
                                            TrimPositions positions) {
  if (positions & TRIM_LEADING) {
    while (!input.empty() && IsAsciiWhitespace(input.front()))
      input.remove_prefix(1);
  }
  if (positions & TRIM_TRAILING) {
    while (!input.empty() && IsAsciiWhitespace(input.back()))
      input.remove_suffix(1);
  }
  return input;
}

template <typename Char>
bool TrimChars(std::basic_string_view<Char> input, std::basic_string_view<Char> trim_chars,
               std::basic_string<Char>* output) {
  const size_t first = input.find_first_not_of(trim_chars);
  if (first == std::basic_string_view<Char>::npos) {
    const bool trimmed = !input.empty();
    output->clear();
    return trimmed;
  }
  const size_t last = input.find_last_not_of(trim_chars);
  const bool trimmed = first != 0 || last != input.size() - 1;
  // Through a temporary: |input| may view |*output|.
  std::basic_string<Char> result(input.substr(first, last - first + 1));
  output->swap(result);
  return trimmed;
}

template <typename Char>
std::basic_string<Char> Join(const std::vector<std::basic_string<Char>>& parts,
                             std::basic_string_view<Char> separator) {
  std::basic_string<Char> result;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i != 0)
      result.append(separator);
    result.append(parts[i]);
  }
  return result;
}

template <typename Char>
bool Replace(std::basic_string_view<Char> input, std::basic_string_view<Char> characters,
             std::basic_string_view<Char> replacement, std::basic_string<Char>* output) {
  std::basic_string<Char> result;
  result.reserve(input.size());
  bool replaced = false;
  for (Char c : input) {
    if (characters.find(c) != std::basic_string_view<Char>::npos) {
      result.append(replacement);
      replaced = true;
    } else {
      result.push_back(c);
    }
  }
  output->swap(result);
  return replaced;
}

template <typename Char>
std::basic_string<Char> ReplacePlaceholders(
    std::basic_string_view<Char> format,
    const std::vector<std::basic_string<Char>>& substitutions) {
  std::basic_string<Char> result;
  result.reserve(format.size());
  size_t i = 0;
  while (i < format.size()) {
    if (format[i] != '$') {
      result.push_back(format[i++]);
      continue;
    }
    size_t run = 0;
    while (i < format.size() && format[i] == '$') {
      ++run;
      ++i;
    }
    if (run > 1) {
      // Escaped dollars; whatever follows is literal.
      result.append(run - 1, static_cast<Char>('$'));
    } else if (i < format.size() && format[i] >= '1' && format[i] <= '9') {
      const size_t index = static_cast<size_t>(format[i] - '1');
      if (index < substitutions.size())
        result.append(substitutions[index]);
      ++i;
    }
  }
  return result;
}

}  // namespace

char ToLowerAscii(char c) { return LowerAscii(c); }
wchar_t ToLowerAscii(wchar_t c) { return LowerAscii(c); }
char ToUpperAscii(char c) { return UpperAscii(c); }
wchar_t ToUpperAscii(wchar_t c) { return UpperAscii(c); }

std::string ToLowerAscii(std::string_view text) { return MapAscii<char>(text, LowerAscii<char>); }
std::wstring ToLowerAscii(std::wstring_view text) {
  return MapAscii<wchar_t>(text, LowerAscii<wchar_t>);
}
std::string ToUpperAscii(std::string_view text) { return MapAscii<char>(text, UpperAscii<char>); }
std::wstring ToUpperAscii(std::wstring_view text) {
  return MapAscii<wchar_t>(text, UpperAscii<wchar_t>);
}

bool EqualsCaseInsensitiveAscii(std::string_view a, std::string_view b) {
  return EqualsIgnoringAsciiCase(a, b);
}
bool EqualsCaseInsensitiveAscii(std::wstring_view a, std::wstring_view b) {
  return EqualsIgnoringAsciiCase(a, b);
}

bool IsStringAscii(std::string_view text) { return AllAscii(text); }
bool IsStringAscii(std::wstring_view text) { return AllAscii(text); }

bool StartsWith(TextView text, TextView prefix, CompareCase case_mode) {
  return HasPrefix(text, prefix, case_mode);
}
bool StartsWith(WideTextView text, WideTextView prefix, CompareCase case_mode) {
  return HasPrefix(text, prefix, case_mode);
}
bool EndsWith(TextView text, TextView suffix, CompareCase case_mode) {
  return HasSuffix(text, suffix, case_mode);
}
bool EndsWith(WideTextView text, WideTextView suffix, CompareCase case_mode) {
  return HasSuffix(text, suffix, case_mode);
}

bool IsAsciiWhitespace(wchar_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

TextView TrimWhitespaceASCII(TextView input, TrimPositions positions) {
  return TrimWhitespace(input, positions);
}
WideTextView TrimWhitespaceASCII(WideTextView input, TrimPositions positions) {
  return TrimWhitespace(input, positions);
}

bool TrimString(TextView input, TextView trim_chars, std::string* output) {
  return TrimChars(input, trim_chars, output);
}
bool TrimString(WideTextView input, WideTextView trim_chars, std::wstring* output) {
  return TrimChars(input, trim_chars, output);
}

std::string JoinString(const std::vector<std::string>& parts, TextView separator) {
  return Join(parts, separator);
}
std::wstring JoinString(const std::vector<std::wstring>& parts, WideTextView separator) {
  return Join(parts, separator);
}

bool ReplaceChars(TextView input, TextView characters, TextView replacement,
                  std::string* output) {
  return Replace(input, characters, replacement, output);
}
bool ReplaceChars(WideTextView input, WideTextView characters, WideTextView replacement,
                  std::wstring* output) {
  return Replace(input, characters, replacement, output);
}

std::string ReplaceStringPlaceholders(TextView format,
                                      const std::vector<std::string>& substitutions) {
  return ReplacePlaceholders(format, substitutions);
}
std::wstring ReplaceStringPlaceholders(WideTextView format,
                                       const std::vector<std::wstring>& substitutions) {
  return ReplacePlaceholders(format, substitutions);
}

}  // namespace base
