#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CONFIG_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CONFIG_H_

#include <string>
#include <string_view>

namespace base {
class Environment;
}

// Small configuration values of crash reporting, shared by the crash client and the
// reporter. All are safe to call from any thread.

namespace crash_reporter {

// |default_value| when |name| is not set; otherwise whether its value is "1", or "yes" or
// "true" in any letter case.
bool GetEnvironmentFlag(base::Environment* environment, std::string_view name, bool default_value);
// The value of |name|; empty when it is not set.
std::string GetEnvironmentValue(base::Environment* environment, std::string_view name);

// The product name in ASCII upper case, "_" and |suffix| ("TAVRO_CRASH_EMAIL").
std::string GetProductEnvironmentVariableName(std::string_view suffix);
std::string GetCrashEmailVariableName();
std::string GetCrashKeepLogsVariableName();

// The build identifier: 8 characters of the build date and the last 6 digits of the build
// id number, always 14 characters.
std::wstring GetBuildId();
// The same for given build data: the date cut to 8 characters or right-padded with "0",
// the number cut to its last 6 digits or left-padded with "0".
std::wstring FormatBuildId(std::string_view build_date, int build_id_number);

// The crash server's name for the build's release stream.
std::wstring GetReleaseChannel();
std::wstring GetReleaseChannelForStream(int stream_id, std::string_view stream_name);

// The symbols package of the process named |process_name|.
std::wstring GetSymbolsPackage(std::wstring_view process_name);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CONFIG_H_
