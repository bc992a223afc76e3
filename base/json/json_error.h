#ifndef BASE_JSON_JSON_ERROR_H_
#define BASE_JSON_JSON_ERROR_H_

namespace base {

// Why reading JSON failed: the parse errors, then the file errors of JsonFileReader.
enum JsonErrorCode {
  JSON_NO_ERROR = 0,
  JSON_SYNTAX_ERROR,                // A character that cannot start or continue a value.
  JSON_UNEXPECTED_END,              // The text ends inside a value (or holds none).
  JSON_INVALID_ESCAPE,              // A bad backslash escape or a lone surrogate escape.
  JSON_INVALID_NUMBER,              // A malformed number or one too large for a double.
  JSON_CONTROL_CHARACTER,           // A raw character below 0x20 inside a string.
  JSON_UNSUPPORTED_ENCODING,        // Invalid UTF-8 inside a string.
  JSON_UNQUOTED_DICTIONARY_KEY,     // A dictionary key that is not a string.
  JSON_TRAILING_COMMA,              // A comma before "]" or "}" without the option.
  JSON_TOO_MUCH_NESTING,            // Lists and dictionaries nested too deeply.
  JSON_UNEXPECTED_DATA_AFTER_ROOT,  // Anything but white space after the value.

  JSON_NO_SUCH_FILE,
  JSON_ACCESS_DENIED,
  JSON_CANNOT_READ_FILE,
};

// A short English sentence for |code|, e.g. "Syntax error.".
const char* GetJsonErrorText(JsonErrorCode code);

}  // namespace base

#endif  // BASE_JSON_JSON_ERROR_H_
