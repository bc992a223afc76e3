#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_READER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_MINIDUMP_READER_H_

#include <windows.h>
#include <dbghelp.h>
#include <string.h>

#include <string>

#include "base/files/file_path.h"

namespace crash_reporter {
namespace test {

// The streams of a minidump, for tests that look at what a dump writer wrote.
class MinidumpReader {
 public:
  // False when the file cannot be read or its header is not a minidump's.
  bool Open(const base::FilePath& path);
  bool Parse(std::string bytes);

  // The data of the stream of |type|; empty when there is none (or it lies outside the
  // file).
  std::string GetStream(ULONG32 type) const;
  bool HasStream(ULONG32 type) const { return !GetStream(type).empty(); }
  // The stream of |type| as a |T|; false unless the stream is exactly that size.
  template <typename T>
  bool GetStreamAs(ULONG32 type, T* value) const {
    const std::string data = GetStream(type);
    if (data.size() != sizeof(T))
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
