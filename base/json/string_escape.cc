#include "base/json/string_escape.h"

#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

constexpr unsigned kReplacementCharacter = 0xFFFD;

// Appends "\u" and four upper-case hexadecimal digits.
void AppendUnicodeEscape(unsigned code_point, std::string* output) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  output->append("\\u");
  for (int shift = 12; shift >= 0; shift -= 4)
    output->push_back(kHexDigits[(code_point >> shift) & 0xF]);
}

}  // namespace

bool EscapeJsonSpecialCharacter(unsigned code_point, std::string* output) {
  switch (code_point) {
    case '\b':
      output->append("\\b");
      return true;
    case '\f':
      output->append("\\f");
      return true;
    case '\n':
      output->append("\\n");
      return true;
    case '\r':
      output->append("\\r");
      return true;
    case '\t':
      output->append("\\t");
      return true;
    case '"':
      output->append("\\\"");
      return true;
    case '\\':
      output->append("\\\\");
      return true;
    case '<':
    case 0x2028:
    case 0x2029:
      AppendUnicodeEscape(code_point, output);
      return true;
    default:
      return false;
  }
}

void EscapeJsonString(std::string_view utf8, std::string* output) {
  output->reserve(output->size() + utf8.size() + 2);
  output->push_back('"');
  size_t index = 0;
  while (index < utf8.size()) {
    const int decoded = DecodeUtf8Sequence(utf8, &index);
    const unsigned code_point =
        decoded < 0 ? kReplacementCharacter : static_cast<unsigned>(decoded);
    if (EscapeJsonSpecialCharacter(code_point, output))
      continue;
    if (code_point < 0x20)
      AppendUnicodeEscape(code_point, output);
    else
      AppendUtf8CodePoint(code_point, output);
  }
  output->push_back('"');
}

void EscapeJsonString(std::wstring_view utf16, std::string* output) {
  EscapeJsonString(Utf16ToUtf8(utf16), output);
}

}  // namespace base
