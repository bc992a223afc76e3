#include "base/json/json_error.h"

namespace base {

const char* GetJsonErrorText(JsonErrorCode code) {
  switch (code) {
    case JSON_NO_ERROR:
      return "";
    case JSON_SYNTAX_ERROR:
      return "Syntax error.";
    case JSON_UNEXPECTED_END:
      return "Unexpected end of input.";
    case JSON_INVALID_ESCAPE:
      return "Invalid escape sequence.";
    case JSON_INVALID_NUMBER:
      return "Invalid or out-of-range number.";
    case JSON_CONTROL_CHARACTER:
      return "Control character in string.";
    case JSON_UNSUPPORTED_ENCODING:
      return "Unsupported encoding. JSON must be UTF-8.";
    case JSON_UNQUOTED_DICTIONARY_KEY:
      return "Dictionary keys must be quoted.";
    case JSON_TRAILING_COMMA:
      return "Trailing comma not allowed.";
    case JSON_TOO_MUCH_NESTING:
      return "Too much nesting.";
    case JSON_UNEXPECTED_DATA_AFTER_ROOT:
      return "Unexpected data after root element.";
    case JSON_NO_SUCH_FILE:
      return "File not found.";
    case JSON_ACCESS_DENIED:
      return "Access denied.";
    case JSON_CANNOT_READ_FILE:
      return "Cannot read file.";
  }
  return "Unknown error.";
}

}  // namespace base
