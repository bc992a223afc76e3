#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_READER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_READER_H_

#include <windows.h>
#include <dbghelp.h>

#include <string>

#include "base/files/file_path.h"

namespace crash_reporter {
namespace test {

// A minidump file read whole, its header and stream directory checked, for tests that look
// at what a dump writer wrote.
class MinidumpReader {
 public:
  // False when the file cannot be read or is not a well-formed minidump.
  bool Open(const base::FilePath& path);

  // The data of the stream of |type|; false when there is none.
  bool GetStream(ULONG32 type, std::string* data) const;
  bool HasStream(ULONG32 type) const;
  // The stream of |type| as a |T|; false unless the stream is exactly that size.
  template <typename T>
  bool GetStreamAs(ULONG32 type, T* value) const {
    std::string data;
    if (!GetStream(type, &data) || data.size() != sizeof(T))
      return false;
    memcpy(value, data.data(), sizeof(T));
    return true;
  }
  bool GetException(MINIDUMP_EXCEPTION_STREAM* exception) const;
  // Whether the memory list holds every byte of [address, address + size).
  bool HoldsMemory(ULONG64 address, ULONG64 size) const;

 private:
  std::string bytes_;
};

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_READER_H_
