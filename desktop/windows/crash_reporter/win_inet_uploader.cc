#include "desktop/windows/crash_reporter/win_inet_uploader.h"

#include <stdio.h>

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <string_view>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/quillbox/util/file/file_io_win.h"
#include "desktop/windows/crash_reporter/win_inet_request.h"
#include "desktop/windows/installer/wininet/wininet_util.h"

namespace crash_reporter {

namespace {

constexpr wchar_t kBoundaryPrefix[] = L"---------------------------";

std::atomic<uint32_t> g_default_receive_timeout_for_testing{0};

uint32_t GetDefaultReceiveTimeoutMs() {
  const uint32_t for_testing = g_default_receive_timeout_for_testing.load();
  return for_testing ? for_testing : WinInetUploader::kDefaultReceiveTimeoutMs;
}

// Sets one time-out of |request|; a failure is only worth a warning, the request still
// goes with the default.
void SetTimeoutOption(WinInetRequest* request,
                      DWORD option,
                      DWORD timeout_ms,
                      const char* warning) {
  if (!request->SetTimeout(option, timeout_ms))
    fputs(warning, stderr);
}

// Reads the response body of |request|. True only when every read succeeded, no more than
// WinInetUploader::kMaxResponseSize bytes came and, when the server announced a length,
// exactly that many.
bool ReadResponse(HINTERNET request, std::wstring* response) {
  wchar_t length_text[32];
  DWORD length_size = sizeof(length_text);
  uint64_t content_length = 0;
  const bool has_length =
      ::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, length_text, &length_size,
                       nullptr) &&
      base::StringToUint64(std::wstring_view(length_text, length_size / sizeof(wchar_t)),
                           &content_length);
  std::string bytes;
  // The announced length is the server's claim, not a measure of what will come.
  bytes.reserve(static_cast<size_t>(
      std::min<uint64_t>(content_length, WinInetUploader::kMaxResponseSize)));

  for (;;) {
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(request, &available, 0, 0)) {
      LogWinInetError("InternetQueryDataAvailable");
      return false;
    }
    if (available == 0)
      break;
    const size_t offset = bytes.size();
    if (available > WinInetUploader::kMaxResponseSize - offset) {
      LOG(ERROR) << "Response larger than " << WinInetUploader::kMaxResponseSize << " bytes";
      return false;
    }
    bytes.resize(offset + available);
    DWORD read = 0;
    if (!::InternetReadFile(request, &bytes[offset], available, &read)) {
      LogWinInetError("InternetReadFile");
      return false;
    }
    bytes.resize(offset + read);
    if (read == 0)
      break;
  }
  if (has_length && bytes.size() != content_length) {
    LOG(ERROR) << "Response of " << bytes.size() << " bytes, announced " << content_length;
    return false;
  }
  *response = base::Utf8ToUtf16(bytes);
  return true;
}

}  // namespace

// static
bool WinInetUploader::Upload(const std::wstring& user_agent_suffix,
                             const std::wstring& url,
                             const ParameterMap& parameters,
                             const FileMap& files,
                             std::optional<uint32_t> timeout_ms,
                             std::wstring* response,
                             int* status) {
  if (status)
    *status = 0;
  if (!CheckParameterNames(parameters)) {
    LOG(ERROR) << "Invalid upload parameter name";
    return false;
  }
  WinInetRequest request;
  if (!request.Open(user_agent_suffix, url, L"POST", INTERNET_FLAG_NO_COOKIES))
    return false;

  const std::wstring boundary = MakeBoundary();
  const std::wstring content_type = MakeContentTypeHeader(boundary);
  if (!::HttpAddRequestHeadersW(request.handle(), content_type.c_str(), static_cast<DWORD>(-1),
                                HTTP_ADDREQ_FLAG_ADD)) {
    LogWinInetError("HttpAddRequestHeaders");
    return false;
  }

  std::string body;
  if (!BuildRequestBody(parameters, files, boundary, &body))
    return false;
  if (body.size() > std::numeric_limits<DWORD>::max()) {
    LOG(ERROR) << "Upload body too large: " << body.size() << " bytes";
    return false;
  }

  if (timeout_ms) {
    SetTimeoutOption(&request, INTERNET_OPTION_SEND_TIMEOUT, *timeout_ms,
                     "Could not unset send timeout, continuing...\n");
  }
  SetTimeoutOption(&request, INTERNET_OPTION_RECEIVE_TIMEOUT,
                   timeout_ms ? *timeout_ms : GetDefaultReceiveTimeoutMs(),
                   "Could not unset receive timeout, continuing...\n");

  if (!::HttpSendRequestW(request.handle(), nullptr, 0, body.empty() ? nullptr : &body[0],
                          static_cast<DWORD>(body.size()))) {
    LogWinInetError("HttpSendRequest");
    return false;
  }

  DWORD status_code = 0;
  DWORD status_size = sizeof(status_code);
  if (!::HttpQueryInfoW(request.handle(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                        &status_code, &status_size, nullptr)) {
    LogWinInetError("HttpQueryInfo");
    return false;
  }
  if (status)
    *status = static_cast<int>(status_code);
  if (status_code != HTTP_STATUS_OK) {
    LOG(ERROR) << "Upload answered with HTTP status " << status_code;
    return false;
  }
  // The status tells that the upload arrived; what follows only matters when asked for.
  return !response || ReadResponse(request.handle(), response);
}

// static
void WinInetUploader::SetDefaultReceiveTimeoutForTesting(uint32_t timeout_ms) {
  g_default_receive_timeout_for_testing = timeout_ms;
}

// static
bool WinInetUploader::CheckParameterNames(const ParameterMap& parameters) {
  for (const auto& parameter : parameters) {
    const std::wstring& name = parameter.first;
    if (name.empty())
      return false;
    for (const wchar_t c : name) {
      if (c < 32 || c > 127 || c == L'"')
        return false;
    }
  }
  return true;
}

// static
std::wstring WinInetUploader::MakeBoundary() {
  const uint64_t random = base::RandUint64();
  return base::WideStringPrintf(L"%ls%08X%08X", kBoundaryPrefix,
                                static_cast<unsigned>(random >> 32),
                                static_cast<unsigned>(random & 0xFFFFFFFFu));
}

// static
std::wstring WinInetUploader::MakeContentTypeHeader(const std::wstring& boundary) {
  return L"Content-Type: multipart/form-data; boundary=" + boundary;
}

// static
bool WinInetUploader::BuildRequestBody(const ParameterMap& parameters,
                                       const FileMap& files,
                                       const std::wstring& boundary,
                                       std::string* body) {
  const std::string boundary_line = "--" + base::Utf16ToUtf8(boundary) + "\r\n";
  const std::string closing = "--" + base::Utf16ToUtf8(boundary) + "--\r\n";
  body->clear();
  for (const auto& parameter : parameters) {
    *body += boundary_line;
    *body += "Content-Disposition: form-data; name=\"" + base::Utf16ToUtf8(parameter.first) +
             "\"\r\n\r\n";
    *body += base::Utf16ToUtf8(parameter.second) + "\r\n";
  }
  for (const auto& file : files) {
    if (file.first.empty() || file.second.empty()) {
      LOG(ERROR) << "Upload file entry without a field name or a path";
      return false;
    }
    std::string contents;
    if (!ReadWholeFile(file.second, &contents))
      return false;
    *body += boundary_line;
    *body += "Content-Disposition: form-data; name=\"" + base::Utf16ToUtf8(file.first) +
             "\"; filename=\"" + base::Utf16ToUtf8(file.second) + "\"\r\n";
    *body += "Content-Type: application/octet-stream\r\n";
    *body += "\r\n";
    *body += contents;
    *body += "\r\n";
  }
  *body += closing;
  return true;
}

// static
bool WinInetUploader::ReadWholeFile(const std::wstring& path, std::string* contents) {
  contents->clear();
  base::win::ScopedHandle file = quillbox::LoggingOpenFileForRead(base::FilePath(path));
  if (!file.IsValid())
    return false;
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.Get(), &size)) {
    PLOG(ERROR) << "GetFileSizeEx " << path;
    return false;
  }
  if (static_cast<uint64_t>(size.QuadPart) > std::numeric_limits<DWORD>::max()) {
    LOG(ERROR) << "Too large to upload: " << path;
    return false;
  }
  contents->resize(static_cast<size_t>(size.QuadPart));
  if (!quillbox::LoggingReadFileExactly(file.Get(), contents->data(), contents->size())) {
    LOG(ERROR) << "Cannot read " << path;
    contents->clear();
    return false;
  }
  return true;
}

}  // namespace crash_reporter
