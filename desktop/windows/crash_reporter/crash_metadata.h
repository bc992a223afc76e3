#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_H_

#include <windows.h>
#include <stdint.h>

#include <string>
#include <string_view>

#include "desktop/windows/crash_reporter/crash_log_info.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/win_inet_uploader.h"

// What a crash report says besides the crash itself: the product, the client's crash keys,
// times, the system and the user's e-mail address. Turns a client's crash keys into the
// metadata of its text crash log and into the parameters of the two uploads. Safe on any
// thread of a crash reporter.

namespace crash_reporter {

// Facts about this system and user, read once per process.
struct CrashSystemInfo {
  // The process-wide instance, made on first use.
  static const CrashSystemInfo& Get();

  CrashSystemInfo();

  std::string os_version;               // "major.minor.build".
  std::string os_service_pack_version;  // "major.minor"; empty without a service pack.
  std::string cpu_architecture;         // "0x" and lower-case hexadecimal, as the next two.
  std::string cpu_level;
  std::string cpu_revision;
  std::wstring email;  // The crash e-mail variable; empty when unset.
};

// The upload parameter that a client crash key feeds; null for keys that are not sent.
const wchar_t* GetUploadParameterName(std::wstring_view crash_key_name);

// Upload parameters by name. Every builder below sets a name only while it is absent: the
// first writer of a name wins.
using UploadParameters = WinInetUploader::ParameterMap;
void SetUploadParameter(UploadParameters* parameters,
                        std::wstring_view name,
                        std::wstring_view value);

// "Email" / "email" with the user's address, when there is one.
void AddEmailParameter(UploadParameters* parameters);
void AddLowerCaseEmailParameter(UploadParameters* parameters);
// "stacktraceId", when |id| is not empty.
void AddStacktraceIdParameter(std::wstring_view id, UploadParameters* parameters);
// "StartupTime" and "CrashTime" in seconds since 1970, from the process's creation time
// and the client's "ptime" key (its uptime in milliseconds) where known, and with
// |process| "InstallTime": the creation time of its image file. |process| (may be null)
// needs PROCESS_QUERY_INFORMATION; |keys| may be null.
void AddTimeParameters(HANDLE process, const CustomClientInfo* keys, UploadParameters* parameters);
// The product: name, version, build number, release channel, build id, symbols package.
void AddProductParameters(UploadParameters* parameters);

// The parameters of a client's minidump: its crash keys under their parameter names, the
// origin, the times and the product.
void BuildMinidumpParameters(HANDLE process,
                             const CustomClientInfo& keys,
                             UploadParameters* parameters);
// The parameters of a crashed crash reporter's minidump.
void BuildCrashReporterParameters(DWORD pid, UploadParameters* parameters);
// The parameters of a client's text crash log.
void BuildTextLogParameters(const CustomClientInfo& keys, UploadParameters* parameters);

// The metadata of a client's text crash log: its crash keys (invalid names and the keys
// the log shows elsewhere left out), the extension and test lists, the system, and the
// product's defaults.
void FillCrashLogInfo(const CustomClientInfo& keys, CrashLogInfo* info);
void AddMemoryMetadata(uint64_t working_set,
                       uint64_t peak_working_set,
                       uint64_t private_bytes,
                       CrashLogInfo* info);
// Fills an empty version, build number and product suffix from the product.
void FillCrashLogInfoDefaults(CrashLogInfo* info);
// The metadata of a crashed crash reporter's logs.
void FillCrashReporterLogInfo(CrashLogInfo* info);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_H_
