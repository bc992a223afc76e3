#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEY_TABLE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEY_TABLE_H_

#include <stddef.h>

#include <string_view>

#include "base/lazy_instance.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"

namespace crash_reporter {

// A crash key: the reporter reads the whole table out of a crashed process's memory.
using CrashKeyEntry = CustomInfoEntry;
// Where the table lies: handed to the crash handler as its custom client information.
using CrashKeyTableInfo = CustomClientInfo;

// The slots of the table. A value longer than one slot spans a range of slots that all
// carry the same name.
enum CrashKeySlot : int {
  CRASH_KEY_VERSION = 0,
  CRASH_KEY_BUILD_NUMBER = 1,
  CRASH_KEY_BUILD_ID = 2,
  CRASH_KEY_PROCESS_TYPE = 3,
  CRASH_KEY_CRASH_GUID = 4,
  CRASH_KEY_URL_FIRST = 5,
  CRASH_KEY_URL_LAST = 20,
  CRASH_KEY_GPU_VENDOR_ID = 21,
  CRASH_KEY_GPU_DEVICE_ID = 22,
  CRASH_KEY_GPU_DRIVER_VERSION = 23,
  CRASH_KEY_GPU_PIXEL_SHADER_VERSION = 24,
  CRASH_KEY_GPU_VERTEX_SHADER_VERSION = 25,
  CRASH_KEY_IS_WOW64 = 26,
  CRASH_KEY_EXCEPTION_POLICY = 27,
  CRASH_KEY_BRIXEL_TEST_FIRST = 28,
  CRASH_KEY_BRIXEL_TEST_LAST = 31,
  CRASH_KEY_ORIGIN = 32,
  CRASH_KEY_ENABLED_EXTENSIONS_FIRST = 33,
  CRASH_KEY_ENABLED_EXTENSIONS_LAST = 48,
  CRASH_KEY_DISABLED_EXTENSIONS_FIRST = 49,
  CRASH_KEY_DISABLED_EXTENSIONS_LAST = 64,
  CRASH_KEY_BLACKLISTED_EXTENSIONS_FIRST = 65,
  CRASH_KEY_BLACKLISTED_EXTENSIONS_LAST = 68,
  CRASH_KEY_TERMINATED_EXTENSIONS_FIRST = 69,
  CRASH_KEY_TERMINATED_EXTENSIONS_LAST = 72,
  CRASH_KEY_THIRD_PARTY_INSTALLS_FIRST = 73,
  CRASH_KEY_THIRD_PARTY_INSTALLS_LAST = 76,
  CRASH_KEY_MODULES_FIRST = 77,
  CRASH_KEY_MODULES_LAST = 92,
  CRASH_KEY_AB_TESTS_FIRST = 93,
  CRASH_KEY_AB_TESTS_LAST = 96,
  CRASH_KEY_COUNT = 97,
};

// The crash keys of this process: 97 named text values of at most 63 characters in one
// block of virtual memory, read-only except while a write is in progress, so that a stray
// write cannot corrupt what the reporter reads after a crash. Writes are serialised by the
// table's lock; reads of the block need none (the reporter reads it from outside).
//
// When the block cannot be allocated the table exists without it and ignores every write.
class CrashKeyTable {
 public:
  // The process-wide table, made on first use and never destroyed.
  static CrashKeyTable& GetInstance();

  // A table of its own (the process-wide one is GetInstance); its block is freed with it.
  CrashKeyTable();
  CrashKeyTable(const CrashKeyTable&) = delete;
  CrashKeyTable& operator=(const CrashKeyTable&) = delete;
  ~CrashKeyTable();

  // Stores the first 63 characters of |value| (null stores an empty value) in |slot|.
  void SetCrashKey(int slot, const wchar_t* value);
  // Fills slots |first|..|last| with successive pieces of 63 characters of |text| and empties
  // the rest of the range; text that does not fit is dropped.
  void SetCrashKeyRange(int first, int last, std::wstring_view text);

  // {first entry, 97}, or {null, 0} without a block.
  CrashKeyTableInfo GetInfo() const;

 private:
  // Runs |write| on the writable block under the lock; false when nothing was written.
  template <typename Write>
  bool WriteBlock(Write write);

  base::Lock lock_;
  CrashKeyEntry* entries_ = nullptr;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEY_TABLE_H_
