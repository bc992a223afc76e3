#include "base/json/json_parser.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <cmath>
#include <limits>
#include <utility>

#include "base/strings/utf_string_conversions.h"
#include "base/values.h"

namespace base {

namespace {

constexpr unsigned kReplacementCharacter = 0xFFFD;
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

bool IsHighSurrogate(unsigned unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(unsigned unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The integer |token| (an optional '-' and decimal digits) denotes, when it fits in 32 bits.
bool IntegerTokenToInt(std::string_view token, int* value) {
  const bool negative = !token.empty() && token[0] == '-';
  if (negative)
    token.remove_prefix(1);
  // The widest 32-bit value has ten digits; longer tokens (no leading zeros) cannot fit.
  if (token.empty() || token.size() > 10)
    return false;
  int64_t magnitude = 0;
  for (char c : token)
    magnitude = magnitude * 10 + (c - '0');
  const int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value < std::numeric_limits<int>::min() ||
      signed_value > std::numeric_limits<int>::max()) {
    return false;
  }
  *value = static_cast<int>(signed_value);
  return true;
}

}  // namespace

JsonParser::JsonParser(std::string_view input, int options)
    : input_(input), options_(options) {}

// static
std::unique_ptr<Value> JsonParser::Parse(std::string_view input,
                                         int options,
                                         JsonParseError* error) {
  JsonParser parser(input, options);
  if (input.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark)
    parser.position_ = kUtf8ByteOrderMark.size();

  std::unique_ptr<Value> root = parser.ParseValue();
  if (root) {
    parser.SkipWhitespace();
    if (!parser.AtEnd()) {
      parser.Fail(JSON_UNEXPECTED_DATA_AFTER_ROOT, parser.position_);
      root.reset();
    }
  }
  if (error)
    parser.FillError(error);
  return root;
}

std::unique_ptr<Value> JsonParser::ParseValue() {
  SkipWhitespace();
  if (AtEnd())
    return Fail(JSON_UNEXPECTED_END, position_);
  switch (Peek()) {
    case '{':
      return ParseDictionary();
    case '[':
      return ParseList();
    case '"': {
      std::string text;
      if (!ParseString(&text))
        return nullptr;
      return std::make_unique<StringValue>(text);
    }
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      return ParseNumber();
    case 't':
    case 'f':
    case 'n':
      return ParseLiteral();
    default:
      return Fail(JSON_SYNTAX_ERROR, position_);
  }
}

bool JsonParser::EnterContainer(char close, bool* closed) {
  if (depth_ >= kJsonMaxDepth) {
    Fail(JSON_TOO_MUCH_NESTING, position_);
    return false;
  }
  ++depth_;
  ++position_;  // The opening bracket.
  SkipWhitespace();
  *closed = !AtEnd() && Peek() == close;
  if (*closed)
    ++position_;
  return true;
}

bool JsonParser::ConsumeSeparator(char close, bool* closed) {
  SkipWhitespace();
  if (AtEnd()) {
    Fail(JSON_UNEXPECTED_END, position_);
    return false;
  }
  *closed = Peek() == close;
  if (*closed) {
    ++position_;
    return true;
  }
  if (Peek() != ',') {
    Fail(JSON_SYNTAX_ERROR, position_);
    return false;
  }
  ++position_;
  SkipWhitespace();
  if (!AtEnd() && Peek() == close) {
    if (!(options_ & JSON_ALLOW_TRAILING_COMMAS)) {
      Fail(JSON_TRAILING_COMMA, position_);
      return false;
    }
    ++position_;
    *closed = true;
  }
  return true;
}

std::unique_ptr<Value> JsonParser::ParseDictionary() {
  bool closed = false;
  if (!EnterContainer('}', &closed))
    return nullptr;
  std::unique_ptr<DictionaryValue> dictionary = std::make_unique<DictionaryValue>();
  while (!closed) {
    SkipWhitespace();
    if (AtEnd())
      return Fail(JSON_UNEXPECTED_END, position_);
    const char c = Peek();
    if (c != '"') {
      const bool looks_like_name =
          c == '_' || c == '$' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      return Fail(looks_like_name ? JSON_UNQUOTED_DICTIONARY_KEY : JSON_SYNTAX_ERROR,
                  position_);
    }
    std::string key;
    if (!ParseString(&key))
      return nullptr;
    SkipWhitespace();
    if (AtEnd())
      return Fail(JSON_UNEXPECTED_END, position_);
    if (Peek() != ':')
      return Fail(JSON_SYNTAX_ERROR, position_);
    ++position_;
    std::unique_ptr<Value> value = ParseValue();
    if (!value)
      return nullptr;
    dictionary->SetWithoutPathExpansion(key, std::move(value));
    if (!ConsumeSeparator('}', &closed))
      return nullptr;
  }
  --depth_;
  return dictionary;
}

std::unique_ptr<Value> JsonParser::ParseList() {
  bool closed = false;
  if (!EnterContainer(']', &closed))
    return nullptr;
  std::unique_ptr<ListValue> list = std::make_unique<ListValue>();
  while (!closed) {
    std::unique_ptr<Value> value = ParseValue();
    if (!value)
      return nullptr;
    list->Append(std::move(value));
    if (!ConsumeSeparator(']', &closed))
      return nullptr;
  }
  --depth_;
  return list;
}

std::unique_ptr<Value> JsonParser::ParseNumber() {
  const size_t start = position_;
  bool integral = true;
  if (Peek() == '-')
    ++position_;
  if (AtEnd() || !IsDigit(Peek()))
    return Fail(JSON_INVALID_NUMBER, start);
  if (Peek() == '0') {
    ++position_;
  } else {
    while (!AtEnd() && IsDigit(Peek()))
      ++position_;
  }
  if (!AtEnd() && Peek() == '.') {
    integral = false;
    ++position_;
    if (AtEnd() || !IsDigit(Peek()))
      return Fail(JSON_INVALID_NUMBER, start);
    while (!AtEnd() && IsDigit(Peek()))
      ++position_;
  }
  if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
    integral = false;
    ++position_;
    if (!AtEnd() && (Peek() == '+' || Peek() == '-'))
      ++position_;
    if (AtEnd() || !IsDigit(Peek()))
      return Fail(JSON_INVALID_NUMBER, start);
    while (!AtEnd() && IsDigit(Peek()))
      ++position_;
  }
  // A digit here follows a leading zero ("01").
  if (!AtEnd() && IsDigit(Peek()))
    return Fail(JSON_INVALID_NUMBER, start);

  const std::string_view token = input_.substr(start, position_ - start);
  int integer = 0;
  if (integral && IntegerTokenToInt(token, &integer))
    return std::make_unique<ScalarValue>(integer);

  // strtod needs a terminated copy; the grammar above already fixed the token's form.
  const std::string terminated(token);
  const double value = strtod(terminated.c_str(), nullptr);
  if (!std::isfinite(value))
    return Fail(JSON_INVALID_NUMBER, start);
  return std::make_unique<ScalarValue>(value);
}

std::unique_ptr<Value> JsonParser::ParseLiteral() {
  const std::string_view rest = input_.substr(position_);
  if (rest.substr(0, 4) == "true") {
    position_ += 4;
    return std::make_unique<ScalarValue>(true);
  }
  if (rest.substr(0, 5) == "false") {
    position_ += 5;
    return std::make_unique<ScalarValue>(false);
  }
  if (rest.substr(0, 4) == "null") {
    position_ += 4;
    return Value::CreateNullValue();
  }
  return Fail(JSON_SYNTAX_ERROR, position_);
}

bool JsonParser::ParseString(std::string* output) {
  ++position_;  // The opening quote.
  for (;;) {
    if (AtEnd()) {
      Fail(JSON_UNEXPECTED_END, position_);
      return false;
    }
    const unsigned char c = static_cast<unsigned char>(Peek());
    if (c == '"') {
      ++position_;
      return true;
    }
    if (c == '\\') {
      if (!ParseEscape(output))
        return false;
      continue;
    }
    if (c < 0x20) {
      Fail(JSON_CONTROL_CHARACTER, position_);
      return false;
    }
    if (c < 0x80) {
      output->push_back(static_cast<char>(c));
      ++position_;
      continue;
    }
    const size_t sequence_start = position_;
    if (DecodeUtf8Sequence(input_, &position_) >= 0) {
      output->append(input_.substr(sequence_start, position_ - sequence_start));
    } else if (options_ & JSON_REPLACE_INVALID_CHARACTERS) {
      AppendUtf8CodePoint(kReplacementCharacter, output);
    } else {
      Fail(JSON_UNSUPPORTED_ENCODING, sequence_start);
      return false;
    }
  }
}

bool JsonParser::ParseEscape(std::string* output) {
  const size_t escape_start = position_;
  if (input_.size() - position_ < 2) {
    Fail(JSON_UNEXPECTED_END, input_.size());
    return false;
  }
  const char kind = input_[position_ + 1];
  position_ += 2;
  switch (kind) {
    case '"':
    case '\\':
    case '/':
      output->push_back(kind);
      return true;
    case 'b':
      output->push_back('\b');
      return true;
    case 'f':
      output->push_back('\f');
      return true;
    case 'n':
      output->push_back('\n');
      return true;
    case 'r':
      output->push_back('\r');
      return true;
    case 't':
      output->push_back('\t');
      return true;
    case 'u':
      return ParseUnicodeEscape(escape_start, output);
    default:
      Fail(JSON_INVALID_ESCAPE, escape_start);
      return false;
  }
}

bool JsonParser::ParseUnicodeEscape(size_t escape_start, std::string* output) {
  unsigned unit = 0;
  if (!ReadHexQuad(position_, &unit)) {
    Fail(JSON_INVALID_ESCAPE, escape_start);
    return false;
  }
  position_ += 4;
  if (!IsHighSurrogate(unit) && !IsLowSurrogate(unit)) {
    AppendUtf8CodePoint(unit, output);
    return true;
  }
  if (IsHighSurrogate(unit)) {
    unsigned low = 0;
    if (input_.size() - position_ >= 6 && input_[position_] == '\\' &&
        input_[position_ + 1] == 'u' && ReadHexQuad(position_ + 2, &low) &&
        IsLowSurrogate(low)) {
      position_ += 6;
      AppendUtf8CodePoint(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), output);
      return true;
    }
  }
  // A lone surrogate names no character.
  if (!(options_ & JSON_REPLACE_INVALID_CHARACTERS)) {
    Fail(JSON_INVALID_ESCAPE, escape_start);
    return false;
  }
  AppendUtf8CodePoint(kReplacementCharacter, output);
  return true;
}

bool JsonParser::ReadHexQuad(size_t position, unsigned* unit) const {
  if (position > input_.size() || input_.size() - position < 4)
    return false;
  unsigned value = 0;
  for (size_t i = 0; i < 4; ++i) {
    const int digit = HexDigitValue(input_[position + i]);
    if (digit < 0)
      return false;
    value = (value << 4) | static_cast<unsigned>(digit);
  }
  *unit = value;
  return true;
}

void JsonParser::SkipWhitespace() {
  while (!AtEnd()) {
    const char c = Peek();
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
      return;
    ++position_;
  }
}

std::nullptr_t JsonParser::Fail(JsonErrorCode code, size_t position) {
  if (error_code_ == JSON_NO_ERROR) {
    error_code_ = code;
    error_position_ = position;
  }
  return nullptr;
}

void JsonParser::FillError(JsonParseError* error) const {
  *error = JsonParseError();
  if (error_code_ == JSON_NO_ERROR)
    return;
  error->code = error_code_;
  error->line = 1;
  size_t line_start = 0;
  for (size_t i = 0; i < error_position_ && i < input_.size(); ++i) {
    if (input_[i] == '\n') {
      ++error->line;
      line_start = i + 1;
    }
  }
  error->column = static_cast<int>(error_position_ - line_start) + 1;
  char prefix[64];
  snprintf(prefix, sizeof(prefix), "Line: %d, column: %d, ", error->line, error->column);
  error->message = prefix;
  error->message += GetJsonErrorText(error_code_);
}

}  // namespace base
