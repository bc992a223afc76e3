#include "base/environment.h"

#include <windows.h>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

class EnvironmentImpl : public Environment {
 public:
  bool SetVar(std::string_view name, const std::string& value) override {
    if (::SetEnvironmentVariableW(Utf8ToUtf16(name).c_str(), Utf8ToUtf16(value).c_str()))
      return true;
    PLOG(ERROR) << "Cannot set environment variable " << name;
    return false;
  }

  bool UnSetVar(std::string_view name) override {
    if (::SetEnvironmentVariableW(Utf8ToUtf16(name).c_str(), nullptr))
      return true;
    // Removing a variable that does not exist is no failure.
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
      return true;
    PLOG(ERROR) << "Cannot remove environment variable " << name;
    return false;
  }

 protected:
  bool GetVarImpl(std::string_view name, std::string* value) override {
    const std::wstring wide_name = Utf8ToUtf16(name);
    std::wstring buffer(64, L'\0');
    for (;;) {
      ::SetLastError(ERROR_SUCCESS);
      const DWORD length = ::GetEnvironmentVariableW(wide_name.c_str(), &buffer[0],
                                                     static_cast<DWORD>(buffer.size()));
      if (length == 0) {
        // Zero is also the length of a variable set to empty text.
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND)
          return false;
        buffer.clear();
        break;
      }
      if (length < buffer.size()) {
        buffer.resize(length);
        break;
      }
      // Too small: |length| is the size needed, terminating NUL included.
      buffer.resize(length);
    }
    if (value)
      *value = Utf16ToUtf8(buffer);
    return true;
  }
};

}  // namespace

Environment::~Environment() = default;

// static
std::unique_ptr<Environment> Environment::Create() {
  return std::make_unique<EnvironmentImpl>();
}

bool Environment::GetVar(std::string_view name, std::string* value) {
  if (GetVarImpl(name, value))
    return true;
  if (name.empty())
    return false;
  const std::string other_case =
      name[0] >= 'a' && name[0] <= 'z' ? ToUpperAscii(name) : ToLowerAscii(name);
  return other_case != name && GetVarImpl(other_case, value);
}

bool Environment::HasVar(std::string_view name) {
  return GetVar(name, nullptr);
}

}  // namespace base
