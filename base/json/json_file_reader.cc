#include "base/json/json_file_reader.h"

// wingdi.h defines ERROR as 0, which would break LOG(ERROR).
#ifndef NOGDI
#define NOGDI
#endif
#include <windows.h>

#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

// Reads the whole file at |path| into |contents|; JSON_NO_ERROR or the file error.
JsonErrorCode ReadWholeFile(const FilePath& path, std::string* contents) {
  win::ScopedHandle file(CreateFileW(path.value().c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid()) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      VLOG(1) << "No JSON file " << path.value();
      return JSON_NO_SUCH_FILE;
    }
    ELOG(WARNING, error) << "Cannot open JSON file " << path.value();
    return error == ERROR_ACCESS_DENIED ? JSON_ACCESS_DENIED : JSON_CANNOT_READ_FILE;
  }

  contents->clear();
  char buffer[16 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr)) {
      PLOG(ERROR) << "Cannot read JSON file " << path.value();
      return JSON_CANNOT_READ_FILE;
    }
    if (read == 0)
      return JSON_NO_ERROR;
    if (contents->size() + read > JsonFileReader::kMaxFileSize) {
      LOG(ERROR) << "JSON file " << path.value() << " is larger than "
                 << JsonFileReader::kMaxFileSize << " bytes";
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
