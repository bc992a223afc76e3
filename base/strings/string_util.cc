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

}  // namespace base
