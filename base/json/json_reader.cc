#include "base/json/json_reader.h"

#include "base/values.h"

namespace base {

// static
std::unique_ptr<Value> JsonReader::Read(std::string_view json) {
  return JsonParser::Parse(json, JSON_PARSE_RFC);
}

// static
std::unique_ptr<Value> JsonReader::ReadAndReturnError(std::string_view json,
                                                      int options,
                                                      JsonErrorCode* error_code,
                                                      std::string* error_message) {
  JsonParseError error;
  std::unique_ptr<Value> root = JsonParser::Parse(json, options, &error);
  if (error_code)
    *error_code = error.code;
  if (error_message)
    *error_message = error.message;
  return root;
}

}  // namespace base
