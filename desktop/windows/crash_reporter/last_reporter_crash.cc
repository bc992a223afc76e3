#include "desktop/windows/crash_reporter/last_reporter_crash.h"

#include <string.h>

#include <vector>

#include "base/logging.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/product_naming.h"

namespace crash_reporter {

namespace {

constexpr uint64_t kFileTimeUnitsPerDay = 864000000000ULL;

uint64_t ToUint64(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool OpenCompanyKey(base::win::RegistryKey* key) {
  const LONG result = key->Create(HKEY_CURRENT_USER, installer::GetCompanyRegistryKey().c_str(),
                                  KEY_QUERY_VALUE | KEY_SET_VALUE);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot open the company key: " << logging::SystemErrorCodeToString(result);
    return false;
  }
  return true;
}

bool WriteTime(base::win::RegistryKey* key, uint64_t time) {
  const LONG result = key->WriteValue(kLastReporterCrashValue, &time, sizeof(time), REG_QWORD);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot store the last crash reporter crash: "
               << logging::SystemErrorCodeToString(result);
    return false;
  }
  return true;
}

}  // namespace

bool GetDaysSinceLastReporterCrash(uint64_t* days) {
  base::win::RegistryKey key;
  if (!OpenCompanyKey(&key))
    return false;
  if (!key.HasValue(kLastReporterCrashValue) && !WriteTime(&key, 0))
    return false;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  LONG result = key.ReadRawValue(kLastReporterCrashValue, &type, &data);
  if (result == ERROR_SUCCESS && data.size() != sizeof(uint64_t))
    result = ERROR_INVALID_DATA;
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot read the last crash reporter crash: "
               << logging::SystemErrorCodeToString(result);
    return false;
  }
  FILETIME stored;
  memcpy(&stored, data.data(), sizeof(stored));
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  if (ToUint64(stored) > ToUint64(now)) {
    LOG(ERROR) << "The last crash reporter crash lies in the future";
    return false;
  }
  *days = (ToUint64(now) - ToUint64(stored)) / kFileTimeUnitsPerDay;
  return true;
}

bool RecordLastReporterCrash(const SYSTEMTIME& utc_time) {
  FILETIME time;
  if (!::SystemTimeToFileTime(&utc_time, &time)) {
    PLOG(ERROR) << "Cannot convert the crash time";
    return false;
  }
  base::win::RegistryKey key;
  return OpenCompanyKey(&key) && WriteTime(&key, ToUint64(time));
}

}  // namespace crash_reporter
