#include "base/win/executable_path.h"

#include <windows.h>

#include <string>

#include "base/logging.h"

namespace base {
namespace win {

namespace {

// Longest path the system hands out (the \\?\ limit).
constexpr size_t kMaxLongPath = 32768;

}  // namespace

bool GetExecutablePath(FilePath* path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      PLOG(ERROR) << "Cannot get the path of the executable";
      return false;
    }
    // A full buffer means the path was cut short.
    if (length < buffer.size()) {
      buffer.resize(length);
      *path = FilePath(buffer);
      return true;
    }
    if (buffer.size() >= kMaxLongPath) {
      LOG(ERROR) << "The path of the executable is too long";
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace win
}  // namespace base
