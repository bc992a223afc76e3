#ifndef BASE_JSON_JSON_READER_H_
#define BASE_JSON_JSON_READER_H_

#include <memory>
#include <string>
#include <string_view>

#include "base/json/json_error.h"
#include "base/json/json_parser.h"

namespace base {

class Value;

// Reads JSON text into a Value (see JsonParser for the rules).
class JsonReader {
 public:
  // Strict RFC 8259 parsing; null when |json| is not valid JSON.
  static std::unique_ptr<Value> Read(std::string_view json);

  // Parses with |options| (JsonParserOptions). On failure returns null and fills the
  // outputs that are not null: the error code and "Line: L, column: C, <text>".
  static std::unique_ptr<Value> ReadAndReturnError(std::string_view json,
                                                   int options,
                                                   JsonErrorCode* error_code,
                                                   std::string* error_message);
};

}  // namespace base

#endif  // BASE_JSON_JSON_READER_H_
