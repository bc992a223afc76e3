#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

constexpr unsigned kReplacementCharacter = 0xFFFD;

bool IsValidCodePoint(unsigned code_point) {
  return code_point <= 0x10FFFF && (code_point < 0xD800 || code_point > 0xDFFF);
}

}  // namespace

int DecodeUtf8Sequence(std::string_view text, size_t* index) {
  const size_t start = *index;
  if (start >= text.size())
    return -1;
  const unsigned char lead = static_cast<unsigned char>(text[start]);
  *index = start + 1;
  if (lead < 0x80)
    return lead;

  int length;
  unsigned code_point;
  unsigned minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code_point = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code_point = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code_point = lead & 0x07;
    minimum = 0x10000;
  } else {
    return -1;
  }
  if (text.size() - start < static_cast<size_t>(length))
    return -1;
  for (int i = 1; i < length; ++i) {
    const unsigned char trail = static_cast<unsigned char>(text[start + i]);
    if ((trail & 0xC0) != 0x80)
      return -1;
    code_point = (code_point << 6) | (trail & 0x3F);
  }
  if (code_point < minimum || !IsValidCodePoint(code_point))
    return -1;
  *index = start + length;
  return static_cast<int>(code_point);
}

void AppendUtf8CodePoint(unsigned code_point, std::string* output) {
  if (!IsValidCodePoint(code_point))
    code_point = kReplacementCharacter;
  if (code_point < 0x80) {
    output->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    output->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    output->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    output->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    output->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    output->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    output->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    output->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    output->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    output->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

void AppendUtf16CodePoint(unsigned code_point, std::wstring* output) {
  if (!IsValidCodePoint(code_point))
    code_point = kReplacementCharacter;
  if (code_point < 0x10000) {
    output->push_back(static_cast<wchar_t>(code_point));
  } else {
    code_point -= 0x10000;
    output->push_back(static_cast<wchar_t>(0xD800 | (code_point >> 10)));
    output->push_back(static_cast<wchar_t>(0xDC00 | (code_point & 0x3FF)));
  }
}

bool Utf8ToUtf16(std::string_view utf8, std::wstring* output) {
  output->clear();
  output->reserve(utf8.size());
  bool valid = true;
  size_t index = 0;
  while (index < utf8.size()) {
    const int code_point = DecodeUtf8Sequence(utf8, &index);
    if (code_point < 0) {
      valid = false;
      AppendUtf16CodePoint(kReplacementCharacter, output);
    } else {
      AppendUtf16CodePoint(static_cast<unsigned>(code_point), output);
    }
  }
  return valid;
}

bool Utf16ToUtf8(std::wstring_view utf16, std::string* output) {
  output->clear();
  output->reserve(utf16.size());
  bool valid = true;
  for (size_t i = 0; i < utf16.size(); ++i) {
    unsigned unit = static_cast<unsigned>(utf16[i]) & 0xFFFF;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size()) {
      const unsigned next = static_cast<unsigned>(utf16[i + 1]) & 0xFFFF;
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8CodePoint(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), output);
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      valid = false;
      unit = kReplacementCharacter;
    }
    AppendUtf8CodePoint(unit, output);
  }
  return valid;
}

std::wstring Utf8ToUtf16(std::string_view utf8) {
  std::wstring result;
  Utf8ToUtf16(utf8, &result);
  return result;
}

std::string Utf16ToUtf8(std::wstring_view utf16) {
  std::string result;
  Utf16ToUtf8(utf16, &result);
  return result;
}

std::wstring AsciiToUtf16(std::string_view ascii) {
  std::wstring result;
  result.reserve(ascii.size());
  for (char c : ascii)
    result.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return result;
}

std::wstring SystemUtf8ToWide(std::string_view utf8) {
  return Utf8ToUtf16(utf8);
}

std::string SystemWideToUtf8(std::wstring_view wide) {
  return Utf16ToUtf8(wide);
}

}  // namespace base
