#include "desktop/windows/crash_reporter/crash_servers.h"

#include <windows.h>
#include <string.h>

#include <wininet.h>

#include <memory>
#include <vector>

#include "base/environment.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/crash_reporter/crash_config.h"
#include "desktop/windows/crash_reporter/win_inet_request.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"

namespace crash_reporter {

namespace {

constexpr char kCrashServerVariable[] = "TAVRO_CRASH_SERVER_URL";
constexpr char kAlternativeCrashServerVariable[] = "TAVRO_ALTERNATIVE_CRASH_SERVER_URL";

struct CrashServers {
  std::wstring crash_server;
  std::wstring alternative_crash_server;
  std::wstring user_agent_suffix;
};

base::Lock g_lock;
CrashServers* g_servers = nullptr;  // Under |g_lock|; never freed.

CrashServers GetServers() {
  base::AutoLock lock(g_lock);
  return g_servers ? *g_servers : CrashServers();
}

// Header values come from client crash keys: cut to this length and with every control
// character a space, so that a value cannot end its line and add headers of its own.
constexpr size_t kMaxHeaderValueLength = 2048;

bool AddHeader(HINTERNET request, const wchar_t* name, const std::wstring& value) {
  std::wstring safe_value = value.substr(0, kMaxHeaderValueLength);
  for (wchar_t& c : safe_value) {
    if (c < 0x20 || c == 0x7F)
      c = L' ';
  }
  const std::wstring header = name + (L": " + safe_value) + L"\r\n";
  if (::HttpAddRequestHeadersW(request, header.c_str(), static_cast<DWORD>(header.size()),
                               HTTP_ADDREQ_FLAG_ADD_IF_NEW)) {
    return true;
  }
  LogWinInetError("HttpAddRequestHeaders");
  return false;
}

bool ReadLocation(HINTERNET request, std::wstring* location) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::HttpQueryInfoW(request, HTTP_QUERY_LOCATION, buffer.data(), &size, nullptr)) {
      location->assign(buffer.data(), size / sizeof(wchar_t));
      return true;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      LogWinInetError("HttpQueryInfo");
      return false;
    }
    buffer.resize(size / sizeof(wchar_t) + 1);
  }
}

// |text| (UTF-8) as a query value: every byte but letters, digits, "-._~" and the "@" of an
// address percent-encoded, so that the user's text cannot add parameters or end the query.
std::wstring EncodeQueryValue(const std::string& text) {
  std::string encoded;
  for (const char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || (c != '\0' && strchr("-._~@", c));
    if (plain)
      encoded += c;
    else
      encoded += base::StringPrintf("%%%02X", static_cast<unsigned char>(c));
  }
  return base::AsciiToUtf16(encoded);
}

}  // namespace

void ChooseCrashServers() {
  std::unique_ptr<base::Environment> environment = base::Environment::Create();
  CrashServers servers;
  servers.alternative_crash_server =
      base::Utf8ToUtf16(GetEnvironmentValue(environment.get(), kAlternativeCrashServerVariable));
  if (servers.alternative_crash_server.empty())
    servers.alternative_crash_server = kDefaultAlternativeCrashServerUrl;
  servers.crash_server =
      base::Utf8ToUtf16(GetEnvironmentValue(environment.get(), kCrashServerVariable));
  if (servers.crash_server.empty()) {
    servers.crash_server =
        base::Utf8ToUtf16(installer::ProductConfig::GetInstance().GetUrl("crash"));
  }
  const std::string email = GetEnvironmentValue(environment.get(), GetCrashEmailVariableName());
  if (!email.empty())
    servers.crash_server += L"?email=" + EncodeQueryValue(email);
  servers.user_agent_suffix = base::Utf8ToUtf16(installer::ProductInfo::GetEditionString());

  base::AutoLock lock(g_lock);
  if (!g_servers)
    g_servers = new CrashServers();
  *g_servers = servers;
}

std::wstring GetCrashServerUrl() {
  return GetServers().crash_server;
}

std::wstring GetAlternativeCrashServerUrl() {
  return GetServers().alternative_crash_server;
}

std::wstring GetUserAgentSuffix() {
  return GetServers().user_agent_suffix;
}

CrashServerAnswer QueryCrashServer(const std::wstring& crash_url,
                                   const std::wstring& origin,
                                   std::wstring* id,
                                   std::wstring* location,
                                   uint32_t timeout_ms) {
  const CrashServers servers = GetServers();
  WinInetRequest request;
  if (!request.Open(servers.user_agent_suffix, servers.crash_server, L"GET",
                    INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES)) {
    return CRASH_SERVER_NO_ANSWER;
  }
  // The waiting for the answer is bounded too: a server that takes the request and never
  // answers must not hold the crashed client, which waits for this query.
  if (timeout_ms > 0) {
    request.SetTimeout(INTERNET_OPTION_CONNECT_TIMEOUT, timeout_ms);
    request.SetTimeout(INTERNET_OPTION_SEND_TIMEOUT, timeout_ms);
    request.SetTimeout(INTERNET_OPTION_RECEIVE_TIMEOUT, timeout_ms);
  }
  if ((!crash_url.empty() && !AddHeader(request.handle(), L"X-Tavro-Crash-URL", crash_url)) ||
      (!origin.empty() && !AddHeader(request.handle(), L"X-Origin", origin))) {
    return CRASH_SERVER_NO_ANSWER;
  }
  if (!::HttpSendRequestW(request.handle(), nullptr, 0, nullptr, 0)) {
    LogWinInetError("HttpSendRequest");
    return CRASH_SERVER_NO_ANSWER;
  }
  DWORD status = 0;
  DWORD status_size = sizeof(status);
  if (!::HttpQueryInfoW(request.handle(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &status_size, nullptr)) {
    LogWinInetError("HttpQueryInfo");
    return CRASH_SERVER_NO_ANSWER;
  }
  if (status == HTTP_STATUS_SERVICE_UNAVAIL)
    return CRASH_SERVER_UNAVAILABLE;
  if (status != HTTP_STATUS_REDIRECT_METHOD) {
    LOG(WARNING) << "The crash server answered the query with HTTP status " << status;
    return CRASH_SERVER_NO_ANSWER;
  }
  std::wstring answer;
  if (!ReadLocation(request.handle(), &answer))
    return CRASH_SERVER_NO_ANSWER;
  const size_t id_start = answer.find(L"?id=");
  const size_t id_end = id_start == std::wstring::npos ? id_start : answer.find(L'&', id_start + 4);
  if (id_end == std::wstring::npos) {
    LOG(WARNING) << "The crash server redirected to a location without a crash id: " << answer;
    return CRASH_SERVER_NO_ANSWER;
  }
  *id = answer.substr(id_start + 4, id_end - id_start - 4);
  *location = answer;
  return CRASH_SERVER_REDIRECT;
}

}  // namespace crash_reporter
