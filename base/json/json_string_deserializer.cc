#include "base/json/json_string_deserializer.h"

#include "base/json/json_reader.h"
#include "base/values.h"

namespace base {

JsonStringDeserializer::JsonStringDeserializer(std::string_view json, int options)
    : json_(json), options_(options) {}

std::unique_ptr<Value> JsonStringDeserializer::Deserialize(JsonErrorCode* error_code,
                                                           std::string* error_message) {
  return JsonReader::ReadAndReturnError(json_, options_, error_code, error_message);
}

}  // namespace base
