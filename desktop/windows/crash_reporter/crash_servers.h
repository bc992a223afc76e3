#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_SERVERS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_SERVERS_H_

#include <stdint.h>

#include <string>

// Where a crash reporter sends crashes: the crash server (text crash logs, and the query
// whether it knows a crash already) and the alternative crash collector (minidumps).
// ChooseCrashServers runs once before the first crash is handled; the getters are then
// safe on any thread.

namespace crash_reporter {

// The built-in alternative crash collector.
inline constexpr wchar_t kDefaultAlternativeCrashServerUrl[] =
    L"https://collector.tavro.example/collector/submit";

// Chooses the addresses: "TAVRO_CRASH_SERVER_URL" and "TAVRO_ALTERNATIVE_CRASH_SERVER_URL"
// when set and not empty, else the product's "crash" address and the built-in collector;
// the crash server's address carries "?email=" and the user's crash e-mail address when
// there is one. The user-agent suffix is the build's edition.
void ChooseCrashServers();

std::wstring GetCrashServerUrl();
std::wstring GetAlternativeCrashServerUrl();
std::wstring GetUserAgentSuffix();

// What the crash server said about a crash.
enum CrashServerAnswer {
  // It redirected to the crash's page: |id| and |location| are set.
  CRASH_SERVER_REDIRECT = 0,
  // It answered 503: it wants no report of this crash.
  CRASH_SERVER_UNAVAILABLE = 1,
  // Anything else, including no answer within the time-out.
  CRASH_SERVER_NO_ANSWER = 2,
};

// Asks the crash server about a crash of a client showing |crash_url| (sent when not
// empty) with |origin| (likewise). A 303 answer whose location holds "?id=" and a later
// "&" gives the whole location and the text between the two. |timeout_ms| (when above 0)
// bounds connecting, sending and waiting for the answer. Never fails the crash handling:
// every problem gives CRASH_SERVER_NO_ANSWER.
CrashServerAnswer QueryCrashServer(const std::wstring& crash_url,
                                   const std::wstring& origin,
                                   std::wstring* id,
                                   std::wstring* location,
                                   uint32_t timeout_ms);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_SERVERS_H_
