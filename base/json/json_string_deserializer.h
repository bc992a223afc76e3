#ifndef BASE_JSON_JSON_STRING_DESERIALIZER_H_
#define BASE_JSON_JSON_STRING_DESERIALIZER_H_

#include <memory>
#include <string>
#include <string_view>

#include "base/json/json_error.h"

namespace base {

class Value;

// Turns JSON text into a Value. The text is not copied: it must outlive the deserializer.
class JsonStringDeserializer {
 public:
  // |options| are JsonParserOptions; 0 parses strictly.
  explicit JsonStringDeserializer(std::string_view json, int options = 0);
  JsonStringDeserializer(const JsonStringDeserializer&) = delete;
  JsonStringDeserializer& operator=(const JsonStringDeserializer&) = delete;

  // The parsed value, or null with the error code and message in the outputs that are not
  // null.
  std::unique_ptr<Value> Deserialize(JsonErrorCode* error_code, std::string* error_message);

 private:
  const std::string_view json_;
  const int options_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_STRING_DESERIALIZER_H_
