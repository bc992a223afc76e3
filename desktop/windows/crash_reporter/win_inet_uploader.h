#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_WIN_INET_UPLOADER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_WIN_INET_UPLOADER_H_

#include <stdint.h>

#include <map>
#include <optional>
#include <string>

namespace crash_reporter {

// Sends one multipart/form-data POST over WinINet, synchronously on the calling thread:
// text parameters, then whole files, each in name order. The body is built in memory.
// Every failure is logged where it happens and reported as false.
class WinInetUploader {
 public:
  // Name -> value.
  using ParameterMap = std::map<std::wstring, std::wstring>;
  // Form field name -> path of the file sent under it.
  using FileMap = std::map<std::wstring, std::wstring>;

  // Bounds the wait for the answer of a request made without a time-out of its own, so
  // that a server that accepts and never answers cannot hold the caller.
  static constexpr uint32_t kDefaultReceiveTimeoutMs = 60 * 1000;
  // The most of a response that is read: a crash server's answer is a few bytes, and a
  // server that sends more (or never ends) must not fill the reporter's memory.
  static constexpr size_t kMaxResponseSize = 64 * 1024;

  WinInetUploader() = delete;

  // Posts |parameters| and |files| to |url| (http or https) with the agent
  // "Hollet/1.0 (Windows)" followed by |user_agent_suffix|. |timeout_ms| bounds sending and
  // waiting for the answer (without it, only the wait, by kDefaultReceiveTimeoutMs). True
  // only when the server answered 200 and, when |response| is given, its whole response
  // (at most kMaxResponseSize bytes) was read into it, UTF-8 decoded; without |response|
  // nothing of the response body is read. The status (0 when none came) goes to |status|
  // when given.
  static bool Upload(const std::wstring& user_agent_suffix,
                     const std::wstring& url,
                     const ParameterMap& parameters,
                     const FileMap& files,
                     std::optional<uint32_t> timeout_ms,
                     std::wstring* response,
                     int* status);

  // Every name is non-empty and made of the characters 32 to 127 except the quotation mark.
  static bool CheckParameterNames(const ParameterMap& parameters);

  // 27 hyphens and 16 random upper-case hexadecimal digits.
  static std::wstring MakeBoundary();
  // The header line that announces a multipart body with |boundary|.
  static std::wstring MakeContentTypeHeader(const std::wstring& boundary);

  // The whole request body in UTF-8. False when a file cannot be read whole, or a file
  // entry has an empty field name or path.
  static bool BuildRequestBody(const ParameterMap& parameters,
                               const FileMap& files,
                               const std::wstring& boundary,
                               std::string* body);

  // The file's bytes, exactly as many as its length when opened. False when it cannot be
  // opened or read whole (a read error or a short read): never a partly filled buffer.
  static bool ReadWholeFile(const std::wstring& path, std::string* contents);

  // Replaces kDefaultReceiveTimeoutMs for the whole process (0 restores it), so that tests
  // need not wait a minute for a silent server.
  static void SetDefaultReceiveTimeoutForTesting(uint32_t timeout_ms);
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_WIN_INET_UPLOADER_H_
