#include "base/json/json_file_reader.h"

#include <windows.h>

#include "base/files/file.h"
#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/values.h"

namespace base {

namespace {

// Reads the whole file at |path| into |contents|; JSON_NO_ERROR or the file error.
JsonErrorCode ReadWholeFile(const FilePath& path, std::string* contents) {
  File file(path, File::FLAG_OPEN | File::FLAG_READ);
  if (!file.IsValid()) {
    const DWORD error = file.error_details();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      VLOG(1) << "No JSON file " << path;
      return JSON_NO_SUCH_FILE;
    }
    ELOG(WARNING, error) << "Cannot open JSON file " << path;
    return error == ERROR_ACCESS_DENIED ? JSON_ACCESS_DENIED : JSON_CANNOT_READ_FILE;
  }

  contents->clear();
  char buffer[16 * 1024];
  for (;;) {
    const int read = file.ReadAtCurrentPos(buffer, sizeof(buffer));
    if (read < 0) {
      PLOG(ERROR) << "Cannot read JSON file " << path;
      return JSON_CANNOT_READ_FILE;
    }
    if (read == 0)
      return JSON_NO_ERROR;
    if (contents->size() + read > JsonFileReader::kMaxFileSize) {
      LOG(ERROR) << "JSON file " << path << " is larger than " << JsonFileReader::kMaxFileSize
                 << " bytes";
      return JSON_CANNOT_READ_FILE;
    }
    contents->append(buffer, read);
  }
}

}  // namespace

JsonFileReader::JsonFileReader(const FilePath& path) : path_(path) {}

std::unique_ptr<Value> JsonFileReader::Deserialize(JsonErrorCode* error_code,
                                                   std::string* error_message) {
  std::string contents;
  const JsonErrorCode read_error = ReadWholeFile(path_, &contents);
  if (read_error != JSON_NO_ERROR) {
    if (error_code)
      *error_code = read_error;
    if (error_message)
      *error_message = GetJsonErrorText(read_error);
    return nullptr;
  }
  return JsonReader::ReadAndReturnError(contents, JSON_PARSE_RFC, error_code, error_message);
}

}  // namespace base
