#ifndef BASE_JSON_JSON_FILE_READER_H_
#define BASE_JSON_JSON_FILE_READER_H_

#include <stddef.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/json/json_error.h"

namespace base {

class Value;

// Reads a UTF-8 JSON file into a Value with strict parsing.
class JsonFileReader {
 public:
  // Files above this size are refused rather than read into memory.
  static constexpr size_t kMaxFileSize = 64 * 1024 * 1024;

  explicit JsonFileReader(const FilePath& path);
  JsonFileReader(const JsonFileReader&) = delete;
  JsonFileReader& operator=(const JsonFileReader&) = delete;

  // The parsed value, or null when the file is missing, unreadable or not valid JSON; then
  // the outputs that are not null receive the error code (JSON_NO_SUCH_FILE,
  // JSON_ACCESS_DENIED, JSON_CANNOT_READ_FILE or a parse error) and its message.
  std::unique_ptr<Value> Deserialize(JsonErrorCode* error_code, std::string* error_message);

 private:
  const FilePath path_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_FILE_READER_H_
