#ifndef BASE_JSON_JSON_PARSER_H_
#define BASE_JSON_JSON_PARSER_H_

#include <stddef.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "base/json/json_error.h"

namespace base {

class Value;

// Parse options, combinable. The default is strict RFC 8259.
enum JsonParserOptions {
  JSON_PARSE_RFC = 0,
  // Accept a comma after the last element of a list or dictionary.
  JSON_ALLOW_TRAILING_COMMAS = 1 << 0,
  // Turn invalid UTF-8 and lone surrogate escapes in strings into U+FFFD instead of failing.
  JSON_REPLACE_INVALID_CHARACTERS = 1 << 1,
};

// Where and why a parse failed. Line and column count from 1; the column counts bytes.
struct JsonParseError {
  JsonErrorCode code = JSON_NO_ERROR;
  int line = 0;
  int column = 0;
  std::string message;  // "Line: 3, column: 7, Syntax error."
};

// A recursive-descent JSON parser. Lists and dictionaries may nest kJsonMaxDepth deep, which
// bounds the recursion. Numbers without fraction or exponent that fit in 32 bits become
// integers, all others doubles; a number too large for a double is an error. Duplicate
// dictionary keys keep the last value; keys are taken whole (no path expansion). A UTF-8
// byte order mark at the start is skipped.
class JsonParser {
 public:
  static constexpr int kJsonMaxDepth = 200;

  // Parses |input| with |options| (JsonParserOptions). On failure returns null and fills
  // |error| when it is not null.
  static std::unique_ptr<Value> Parse(std::string_view input,
                                      int options,
                                      JsonParseError* error = nullptr);

 private:
  JsonParser(std::string_view input, int options);

  std::unique_ptr<Value> ParseValue();
  std::unique_ptr<Value> ParseDictionary();
  std::unique_ptr<Value> ParseList();
  // Enters a list or dictionary at its opening bracket, checking the depth; |closed| tells
  // whether it is empty (its closing bracket |close| consumed too).
  bool EnterContainer(char close, bool* closed);
  // After a member or element: consumes "," or |close| (and a trailing comma before |close|
  // when allowed); |closed| tells whether the container ended.
  bool ConsumeSeparator(char close, bool* closed);
  std::unique_ptr<Value> ParseNumber();
  std::unique_ptr<Value> ParseLiteral();
  bool ParseString(std::string* output);
  bool ParseEscape(std::string* output);
  bool ParseUnicodeEscape(size_t escape_start, std::string* output);
  bool ReadHexQuad(size_t position, unsigned* unit) const;

  void SkipWhitespace();
  bool AtEnd() const { return position_ >= input_.size(); }
  char Peek() const { return input_[position_]; }

  // Records the first failure (code and offset); returns null for the callers' convenience.
  std::nullptr_t Fail(JsonErrorCode code, size_t position);
  void FillError(JsonParseError* error) const;

  const std::string_view input_;
  const int options_;
  size_t position_ = 0;
  int depth_ = 0;
  JsonErrorCode error_code_ = JSON_NO_ERROR;
  size_t error_position_ = 0;
};

}  // namespace base

#endif  // BASE_JSON_JSON_PARSER_H_
