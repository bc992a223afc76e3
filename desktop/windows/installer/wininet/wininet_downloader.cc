#include "desktop/windows/installer/wininet/wininet_downloader.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "base/threading/current_thread_task_runner.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/wininet/connection_abort.h"
#include "desktop/windows/installer/wininet/download_event_sink.h"
#include "desktop/windows/installer/wininet/response_writer.h"
#include "desktop/windows/installer/wininet/ui_callback_runner.h"
#include "desktop/windows/installer/wininet/wininet_termination.h"
#include "desktop/windows/installer/wininet/wininet_util.h"

namespace installer {

namespace {

// The most one read takes.
constexpr DWORD kReadBufferSize = 1024 * 1024;
// A task takes reads until it has this much, so that the thread's other tasks do not wait
// long behind a fast body, nor a fast body behind a trip through the loop for every read.
constexpr int64_t kBytesPerTask = 4 * 1024 * 1024;
// The delegate hears of the body's progress at most this often (and when it ends): a
// report is a task on the controller's thread, and a progress bar needs no more.
constexpr base::TimeDelta kProgressReportInterval = base::TimeDelta::FromMilliseconds(50);
constexpr DWORD kConnectTimeoutMs = 30 * 1000;
constexpr DWORD kReceiveTimeoutMs = 60 * 1000;
constexpr DWORD kSendTimeoutMs = 60 * 1000;
// Used for failures that are not errors of the system.
constexpr DWORD kWriteError = ERROR_WRITE_FAULT;

int32_t ClampToInt32(int64_t value) {
  if (value < 0)
    return 0;
  if (value > std::numeric_limits<int32_t>::max())
    return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

// A response header as text, however long; empty when missing.
std::wstring QueryHeader(HINTERNET request, DWORD header) {
  DWORD size = 0;
  if (::HttpQueryInfoW(request, header, nullptr, &size, nullptr) ||
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    return std::wstring();
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!::HttpQueryInfoW(request, header, &text[0], &size, nullptr))
    return std::wstring();
  text.resize(size / sizeof(wchar_t));
  return text;
}

bool IsRedirect(DWORD status) {
  return status == HTTP_STATUS_MOVED || status == HTTP_STATUS_REDIRECT ||
         status == HTTP_STATUS_REDIRECT_METHOD || status == HTTP_STATUS_REDIRECT_KEEP_VERB ||
         status == HTTP_STATUS_PERMANENT_REDIRECT;
}

// |location| (absolute, or relative to |base|) as an absolute address; empty when it is not
// one.
std::wstring ResolveLocation(const std::wstring& base, const std::wstring& location) {
  DWORD length = INTERNET_MAX_URL_LENGTH;
  std::wstring url(length, L'\0');
  if (location.empty() ||
      !::InternetCombineUrlW(base.c_str(), location.c_str(), &url[0], &length, ICU_NO_ENCODE)) {
    return std::wstring();
  }
  url.resize(length);
  return url;
}

// The Content-Length of the response, or -1.
int64_t QueryContentLength(HINTERNET request) {
  int64_t length = -1;
  const std::wstring text = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
  if (text.empty() || !base::StringToInt64(text, &length) || length < 0)
    return -1;
  return length;
}

// "bytes <first>-<last>/<total>"; |total| is -1 for "*".
bool ParseContentRange(const std::wstring& text, int64_t* first, int64_t* total) {
  constexpr std::wstring_view kUnit = L"bytes ";
  if (!base::StartsWith(text, kUnit, base::CompareCase::INSENSITIVE_ASCII))
    return false;
  const std::wstring range = text.substr(kUnit.size());
  const size_t dash = range.find(L'-');
  const size_t slash = range.find(L'/');
  if (dash == std::wstring::npos || slash == std::wstring::npos || slash < dash)
    return false;
  int64_t last = 0;
  if (!base::StringToInt64(range.substr(0, dash), first) ||
      !base::StringToInt64(range.substr(dash + 1, slash - dash - 1), &last) || last < *first) {
    return false;
  }
  const std::wstring total_text = range.substr(slash + 1);
  if (total_text == L"*") {
    *total = -1;
    return true;
  }
  return base::StringToInt64(total_text, total) && *total > last;
}

}  // namespace

// The state of one request that WinINet's threads may touch: shared by the downloader
// and the request handle (which holds a reference from HttpOpenRequest until WinINet
// reports INTERNET_STATUS_HANDLE_CLOSING), so that it outlives every report and every
// pending read into its buffers.
class WininetDownloader::RequestContext
    : public base::RefCountedThreadSafe<RequestContext> {
 public:
  RequestContext(base::scoped_refptr<base::SingleThreadTaskRunner> task_runner,
                 base::WeakPtr<WininetDownloader> downloader,
                 int request_id,
                 const std::string& body)
      : body(body),
        task_runner_(std::move(task_runner)),
        downloader_(std::move(downloader)),
        request_id_(request_id) {}
  RequestContext(const RequestContext&) = delete;
  RequestContext& operator=(const RequestContext&) = delete;

  // The session's status callback; the context is the RequestContext of a request handle
  // (other handles have none).
  static void CALLBACK StatusCallback(HINTERNET handle,
                                      DWORD_PTR context,
                                      DWORD status,
                                      LPVOID information,
                                      DWORD information_length) {
    if (context) {
      reinterpret_cast<RequestContext*>(context)->OnStatus(status, information,
                                                           information_length);
    }
  }

  void SetHandle(HINTERNET handle) {
    base::AutoLock lock(lock_);
    handle_ = handle;
  }

  HINTERNET handle() const {
    base::AutoLock lock(lock_);
    return handle_;
  }

  // Closes the request handle; while the proxy dialog uses it, the dialog closes it when
  // done.
  void Close() {
    HINTERNET handle = nullptr;
    {
      base::AutoLock lock(lock_);
      close_requested_ = true;
      if (!dialog_open_)
        std::swap(handle, handle_);
    }
    if (handle && !::InternetCloseHandle(handle))
      PLOG(WARNING) << "InternetCloseHandle failed";
  }

  // Runs on the user interface's thread.
  int32_t ShowProxyDialog(HWND parent) {
    HINTERNET handle = nullptr;
    {
      base::AutoLock lock(lock_);
      if (!handle_ || close_requested_)
        return ERROR_CANCELLED;
      dialog_open_ = true;
      handle = handle_;
    }
    const DWORD result = ::InternetErrorDlg(
        parent, handle, ERROR_INTERNET_INCORRECT_PASSWORD,
        FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
            FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
        nullptr);
    HINTERNET handle_to_close = nullptr;
    {
      base::AutoLock lock(lock_);
      dialog_open_ = false;
      if (close_requested_)
        std::swap(handle_to_close, handle_);
    }
    if (handle_to_close)
      ::InternetCloseHandle(handle_to_close);
    return static_cast<int32_t>(result);
  }

  char* buffer() { return buffer_.get(); }

  // Kept here because WinINet reads it until the request is sent.
  const std::string body;
  // Filled by InternetQueryDataAvailable and InternetReadFile(Ex), also when they complete
  // later.
  DWORD bytes_available = 0;
  DWORD bytes_read = 0;
  INTERNET_BUFFERSA read_buffers = {};

 private:
  friend class base::RefCountedThreadSafe<RequestContext>;
  ~RequestContext() = default;

  // On WinINet's threads (or inside a WinINet call on the downloader's).
  void OnStatus(DWORD status, LPVOID information, DWORD information_length) {
    switch (status) {
      case INTERNET_STATUS_REQUEST_COMPLETE: {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(information);
        DWORD error = ERROR_INTERNET_INTERNAL_ERROR;
        if (result)
          error = result->dwResult ? ERROR_SUCCESS : result->dwError;
        task_runner_->PostTask(FROM_HERE, base::BindMethod(&WininetDownloader::OnRequestComplete,
                                                           downloader_, request_id_,
                                                           static_cast<uint32_t>(error)));
        break;
      }
      case INTERNET_STATUS_HANDLE_CLOSING:
        // The last report for the handle: its reference goes. Nothing may follow.
        Release();
        break;
      default:
        break;
    }
  }

  const base::scoped_refptr<base::SingleThreadTaskRunner> task_runner_;
  // Only dereferenced by the tasks posted to the downloader's thread.
  const base::WeakPtr<WininetDownloader> downloader_;
  const int request_id_;

  mutable base::Lock lock_;
  HINTERNET handle_ = nullptr;     // Under |lock_|.
  bool dialog_open_ = false;       // Under |lock_|.
  bool close_requested_ = false;   // Under |lock_|.

  const std::unique_ptr<char[]> buffer_{new char[kReadBufferSize]};
};

WininetDownloader::WininetDownloader(UICallbackRunner* ui_callback_runner, Delegate* delegate)
    : ui_callback_runner_(ui_callback_runner), delegate_(delegate) {
  CHECK(ui_callback_runner_) << "The downloader needs a UI-callback runner";
  const ProductConfig& config = ProductConfig::GetInstance();
  if (const int timeout_ms = config.GetInteger("network.timeout_ms"); timeout_ms > 0)
    network_timeout_ms_ = static_cast<DWORD>(timeout_ms);
  if (const int max_retries = config.GetInteger("network.max_retries"); max_retries > 0)
    max_retries_ = max_retries;
  if (const int delay_ms = config.GetInteger("network.retry_delay_ms"); delay_ms > 0) {
    initial_retry_delay_ = base::TimeDelta::FromMilliseconds(delay_ms);
    next_retry_delay_ = initial_retry_delay_;
  }
  if (const int window_ms = config.GetInteger("network.progress_window_ms"); window_ms > 0)
    progress_window_ = base::TimeDelta::FromMilliseconds(window_ms);
  if (const int min_bytes = config.GetInteger("network.min_progress_bytes"); min_bytes > 0)
    min_progress_bytes_ = min_bytes;
  if (const int stall_ms = config.GetInteger("network.max_stall_ms"); stall_ms > 0)
    max_stall_time_ = base::TimeDelta::FromMilliseconds(stall_ms);
  if (const int max_bytes = config.GetInteger("network.max_download_bytes"); max_bytes > 0)
    max_body_size_ = max_bytes;
  if (const int duration_ms = config.GetInteger("network.max_download_ms"); duration_ms > 0)
    max_duration_ = base::TimeDelta::FromMilliseconds(duration_ms);
}

WininetDownloader::~WininetDownloader() {
  Stop();
  weak_factory_.InvalidateWeakPtrs();
  connection_.Close();
  CloseWininetSessionInBackground(std::move(session_));
}

bool WininetDownloader::IsRunning() const {
  return state_ == STATE_SENDING || state_ == STATE_RECEIVING || state_ == STATE_WAITING;
}

void WininetDownloader::SetAllowedHosts(std::vector<std::wstring> hosts) {
  allowed_hosts_ = std::move(hosts);
}

bool WininetDownloader::IsHostAllowed(const std::wstring& host) const {
  if (allowed_hosts_.empty())
    return true;
  std::wstring name = base::ToLowerAscii(host);
  if (!name.empty() && name.back() == L'.')
    name.pop_back();
  if (name.empty())
    return false;
  for (const std::wstring& entry : allowed_hosts_) {
    std::wstring suffix = base::ToLowerAscii(entry);
    if (!suffix.empty() && suffix[0] == L'.')
      suffix.erase(0, 1);
    if (suffix.empty())
      continue;
    if (name == suffix)
      return true;
    if (name.size() > suffix.size() &&
        base::EndsWith(name, suffix, base::CompareCase::SENSITIVE) &&
        name[name.size() - suffix.size() - 1] == L'.') {
      return true;
    }
  }
  return false;
}

void WininetDownloader::SetMaxRetries(int max_retries) {
  max_retries_ = std::max(max_retries, 0);
}

void WininetDownloader::SetRetryDelays(base::TimeDelta initial, base::TimeDelta maximum) {
  initial_retry_delay_ = initial;
  max_retry_delay_ = std::max(initial, maximum);
}

void WininetDownloader::SetRequestContentType(const std::wstring& content_type) {
  request_content_type_ = content_type;
}

void WininetDownloader::SetMaxBodySize(int64_t max_body_size) {
  max_body_size_ = std::max<int64_t>(max_body_size, 0);
}

void WininetDownloader::SetMaxDuration(base::TimeDelta max_duration) {
  max_duration_ = max_duration;
}

void WininetDownloader::SetProgressLimits(base::TimeDelta window,
                                          int64_t min_bytes,
                                          base::TimeDelta max_stall) {
  progress_window_ = window;
  min_progress_bytes_ = std::max<int64_t>(min_bytes, 1);
  max_stall_time_ = max_stall;
}

bool WininetDownloader::Start(const std::wstring& url,
                              const std::string& body,
                              base::Closure completion_callback,
                              std::unique_ptr<ResponseWriter> writer,
                              std::unique_ptr<DownloadEventSink> event_sink) {
  if (IsRunning()) {
    LOG(ERROR) << "Cannot download " << url << ": a download is already running";
    return false;
  }
  ParsedUrl parsed;
  if (!ParseHttpUrl(url, &parsed)) {
    status_text_ = "Invalid download address " + base::Utf16ToUtf8(url);
    LOG(ERROR) << status_text_;
    return false;
  }
  if (!IsHostAllowed(parsed.host)) {
    status_text_ = base::StringPrintf("Domain disallowed %s", base::Utf16ToUtf8(parsed.host).c_str());
    LOG(ERROR) << status_text_;
    return false;
  }
  if (!writer) {
    LOG(ERROR) << "Cannot download " << url << " without a response writer";
    return false;
  }
  task_runner_ = base::CurrentThreadTaskRunner::Get();
  if (!task_runner_) {
    LOG(ERROR) << "Cannot download " << url << " on a thread without a message loop";
    return false;
  }
  if (!OpenSession())
    return false;

  VLOG(1) << "Starting the download of " << url;
  url_ = url;
  address_ = parsed;
  body_ = body;
  completion_callback_ = std::move(completion_callback);
  writer_ = std::move(writer);
  event_sink_ = event_sink ? std::move(event_sink) : std::make_unique<DownloadEventSink>();
  state_ = STATE_SENDING;
  http_status_code_ = 0;
  retry_count_ = 0;
  ran_out_of_retries_ = false;
  status_text_.clear();
  bytes_received_ = 0;
  furthest_received_ = 0;
  refused_connections_ = 0;
  expected_size_ = -1;
  resume_with_range_ = true;
  next_retry_delay_ = initial_retry_delay_;
  last_progress_time_ = base::TimeTicks::Now();
  bytes_since_progress_ = 0;

  event_sink_->OnStarted(url_);
  // However the server paces it, the download ends within this bound.
  duration_timer_.Start(FROM_HERE, max_duration_,
                        base::BindMethod(&WininetDownloader::OnMaxDurationReached, this));
  // The first request starts from a task, so that no failure can reach the caller's
  // callback before Start has returned.
  step_timer_.Start(FROM_HERE, base::TimeDelta(),
                    base::BindMethod(&WininetDownloader::StartRequest, this));
  return true;
}

void WininetDownloader::Stop() {
  if (!IsRunning())
    return;
  VLOG(1) << "Stopping the download of " << url_;
  AbortUnfinishedBody();
  CloseRequest();
  step_timer_.Stop();
  progress_timer_.Stop();
  duration_timer_.Stop();
  state_ = STATE_IDLE;
  completion_callback_.Reset();
  writer_.reset();
  event_sink_.reset();
  body_.clear();
  retry_count_ = 0;
}

bool WininetDownloader::OpenSession() {
  if (session_.IsValid())
    return true;
  const std::wstring user_agent = base::Utf8ToUtf16(ProductInfo::GetProductName() +
                                                    " Installer/" + ProductInfo::GetVersion());
  ScopedInternetHandle session(::InternetOpenW(user_agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                               nullptr, nullptr, INTERNET_FLAG_ASYNC));
  if (!session.IsValid()) {
    status_text_ = DescribeWinInetError("InternetOpen", ::GetLastError());
    LOG(ERROR) << status_text_;
    return false;
  }
  if (::InternetSetStatusCallbackW(session.Get(), &RequestContext::StatusCallback) ==
      INTERNET_INVALID_STATUS_CALLBACK) {
    status_text_ = DescribeWinInetError("InternetSetStatusCallback", ::GetLastError());
    LOG(ERROR) << status_text_;
    return false;
  }
  SetTimeouts(session.Get());
  session_ = std::move(session);
  return true;
}

void WininetDownloader::SetTimeouts(void* handle) const {
  const struct {
    DWORD option;
    DWORD value;
  } kTimeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs},
                   {INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs},
                   {INTERNET_OPTION_SEND_TIMEOUT, kSendTimeoutMs}};
  for (const auto& timeout : kTimeouts) {
    DWORD value = network_timeout_ms_ ? network_timeout_ms_ : timeout.value;
    if (!::InternetSetOptionW(handle, timeout.option, &value, sizeof(value)))
      PLOG(WARNING) << "Setting WinINet option " << timeout.option << " failed";
  }
}

void WininetDownloader::StartRequest() {
  DCHECK(IsRunning());
  target_url_ = url_;
  target_ = address_;
  redirect_count_ = 0;
  redirected_to_get_ = false;
  // The windows run on across the redirects of the try.
  StartProgressWindow();
  OpenRequest();
}

void WininetDownloader::OpenRequest() {
  DCHECK(IsRunning());
  CloseRequest();
  ++request_id_;
  state_ = STATE_SENDING;
  http_status_code_ = 0;
  request_made_progress_ = false;

  connection_.Set(::InternetConnectW(session_.Get(), target_.host.c_str(), target_.port, nullptr,
                                     nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection_.IsValid()) {
    RecordSystemError("InternetConnect", ::GetLastError());
    RetryOrFail();
    return;
  }

  // Only a GET can continue a body where it broke off.
  const bool resume = bytes_received_ > 0 && body_.empty() && resume_with_range_;
  if (bytes_received_ > 0 && !resume && !RestartBody())
    return;
  range_requested_ = resume;

  const bool post = !body_.empty() && !redirected_to_get_;
  auto request = base::MakeRefCounted<RequestContext>(task_runner_, weak_factory_.GetWeakPtr(),
                                                      request_id_, post ? body_ : std::string());
  // Redirects are followed by FollowRedirect, after their host is checked.
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (target_.secure)
    flags |= INTERNET_FLAG_SECURE;
  const wchar_t* accept_types[] = {L"*/*", nullptr};
  // The handle's reference, released on INTERNET_STATUS_HANDLE_CLOSING.
  request->AddRef();
  HINTERNET handle = ::HttpOpenRequestW(connection_.Get(), post ? L"POST" : L"GET",
                                        target_.path.c_str(), nullptr, nullptr, accept_types,
                                        flags, reinterpret_cast<DWORD_PTR>(request.get()));
  if (!handle) {
    const DWORD error = ::GetLastError();
    request->Release();
    RecordSystemError("HttpOpenRequest", error);
    RetryOrFail();
    return;
  }
  request->SetHandle(handle);
  request_ = request;
  // The request takes the session's time-outs on Windows; Wine's WinINet honours only those
  // set on the request itself.
  SetTimeouts(handle);

  std::wstring headers;
  if (resume)
    headers += L"Range: bytes=" + base::Int64ToWideString(bytes_received_) + L"-\r\n";
  if (post)
    headers += L"Content-Type: " + request_content_type_ + L"\r\n";
  if (!headers.empty() &&
      !::HttpAddRequestHeadersW(handle, headers.c_str(), static_cast<DWORD>(headers.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
    RecordSystemError("HttpAddRequestHeaders", ::GetLastError());
    RetryOrFail();
    return;
  }

  // One request event per try; the redirects of a try have their own.
  if (redirect_count_ == 0)
    event_sink_->OnRequest(resume ? bytes_received_ : 0);
  SendRequest();
}

void WininetDownloader::SendRequest() {
  state_ = STATE_SENDING;
  const std::string& body = request_->body;
  if (::HttpSendRequestW(request_->handle(), nullptr, 0,
                         body.empty() ? nullptr : const_cast<char*>(body.data()),
                         static_cast<DWORD>(body.size()))) {
    OnResponseStarted();
    return;
  }
  WaitForCompletionOrRetry("HttpSendRequest", OPERATION_SEND);
}

void WininetDownloader::WaitForCompletionOrRetry(const char* operation,
                                                 PendingOperation pending_operation) {
  const DWORD error = ::GetLastError();
  if (error == ERROR_IO_PENDING) {
    pending_operation_ = pending_operation;
    return;
  }
  RecordSystemError(operation, error);
  RetryOrFail();
}

void WininetDownloader::OnRequestComplete(int request_id, uint32_t error) {
  if (request_id != request_id_ || !request_)
    return;
  const PendingOperation operation = pending_operation_;
  pending_operation_ = OPERATION_NONE;
  switch (operation) {
    case OPERATION_SEND:
      if (error != ERROR_SUCCESS) {
        RecordSystemError("HttpSendRequest", error);
        if (error == ERROR_INTERNET_CANNOT_CONNECT) {
          RetryOrFailRefused();
          return;
        }
        RetryOrFail();
        return;
      }
      refused_connections_ = 0;
      OnResponseStarted();
      return;
    case OPERATION_QUERY_DATA:
    case OPERATION_READ:
      if (error != ERROR_SUCCESS) {
        RecordSystemError(
            operation == OPERATION_READ ? "InternetReadFile" : "InternetQueryDataAvailable", error);
        RetryOrFail();
        return;
      }
      if (operation == OPERATION_READ && !TakeReadBytes())
        return;
      ReadBody();
      return;
    case OPERATION_AWAIT_DATA:
      // Data has arrived; the wait took none of it.
      if (error != ERROR_SUCCESS) {
        RecordSystemError("InternetReadFileEx", error);
        RetryOrFail();
        return;
      }
      ReadBody();
      return;
    case OPERATION_NONE:
    case OPERATION_PROXY_DIALOG:
      VLOG(1) << "Ignoring a completion report with nothing pending";
      return;
  }
}

void WininetDownloader::OnResponseStarted() {
  HINTERNET handle = request_->handle();
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::HttpQueryInfoW(handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
    RecordSystemError("HttpQueryInfo", ::GetLastError());
    RetryOrFail();
    return;
  }
  http_status_code_ = static_cast<int>(status);
  if (status == HTTP_STATUS_PROXY_AUTH_REQ) {
    AskForProxyCredentials();
    return;
  }
  // A redirect is no progress: a server cannot keep a try going with slow redirects.
  if (IsRedirect(status)) {
    FollowRedirect(status);
    return;
  }
  window_had_response_ = true;
  if (status < 200 || status > 299) {
    RecordError(0, base::StringPrintf("The server answered with HTTP status %lu %s", status,
                                      base::Utf16ToUtf8(QueryHeader(handle, HTTP_QUERY_STATUS_TEXT))
                                          .c_str()));
    // Only time-outs, throttling and server errors may go away by themselves.
    if (status == HTTP_STATUS_REQUEST_TIMEOUT || status == 429 || status >= 500) {
      RetryOrFail();
      return;
    }
    Complete(STATE_FAILED);
    return;
  }

  const int64_t content_length = QueryContentLength(handle);
  if (status == HTTP_STATUS_PARTIAL_CONTENT) {
    int64_t first = 0;
    int64_t total = -1;
    const std::wstring content_range = QueryHeader(handle, HTTP_QUERY_CONTENT_RANGE);
    if (!range_requested_ || !ParseContentRange(content_range, &first, &total) ||
        first != bytes_received_) {
      // Unusable: receive the body again from its start.
      resume_with_range_ = false;
      RecordError(0, "The server resumed the download wrongly (Content-Range: " +
                         base::Utf16ToUtf8(content_range) + ")");
      RetryOrFail();
      return;
    }
    expected_size_ = total >= 0 ? total : (content_length >= 0 ? first + content_length : -1);
  } else {
    if (bytes_received_ > 0) {
      VLOG(1) << "The server sends the whole body again";
      if (!RestartBody())
        return;
    }
    expected_size_ = content_length;
  }
  if (expected_size_ > max_body_size_) {
    RecordError(ERROR_FILE_TOO_LARGE,
                base::StringPrintf("The server announced %lld bytes, more than the %lld allowed",
                                   static_cast<long long>(expected_size_),
                                   static_cast<long long>(max_body_size_)));
    Complete(STATE_FAILED);
    return;
  }

  state_ = STATE_RECEIVING;
  ask_first_ = false;
  if (!ReportProgress(true))
    return;
  ReadBody();
}

void WininetDownloader::ReadBody() {
  if (!request_)
    return;
  // A plain read of n bytes ends only once n bytes came (or the body ended): a large one
  // would keep the bytes that arrived meanwhile from the progress windows for as long as
  // the rest takes, once the body slows. So a read takes what has arrived, up to the
  // buffer, without waiting for more (IRF_NO_WAIT); when nothing has arrived, it waits for
  // data without taking any. A read that returns nothing at once may mean the end of the
  // body: what is available is asked then, which answers 0 at once at the end, else waits
  // for data; that many bytes are read, which have arrived. Large reads keep a fast body
  // cheap (Wine's WinINet tells of 8 KiB at a time, and a query and a read for each 8 KiB
  // cost more than the network).
  int64_t budget = kBytesPerTask;
  while (budget > 0) {
    HINTERNET handle = request_->handle();
    DWORD wanted = kReadBufferSize;
    // No read asks past the end of an announced body.
    if (expected_size_ >= 0 && wanted > expected_size_ - bytes_received_)
      wanted = static_cast<DWORD>(std::max<int64_t>(1, expected_size_ - bytes_received_));
    request_->bytes_read = 0;
    if (ask_first_) {
      request_->bytes_available = 0;
      if (!::InternetQueryDataAvailable(handle, &request_->bytes_available, 0, 0)) {
        // Once data has arrived this comes here again and the count comes at once.
        WaitForCompletionOrRetry("InternetQueryDataAvailable", OPERATION_QUERY_DATA);
        // All that came is taken: the progress held back is told while the network is
        // awaited.
        if (pending_operation_ == OPERATION_QUERY_DATA)
          ReportHeldProgress();
        return;
      }
      wanted = std::min(wanted, request_->bytes_available);
      if (wanted > 0 &&
          !::InternetReadFile(handle, request_->buffer(), wanted, &request_->bytes_read)) {
        WaitForCompletionOrRetry("InternetReadFile", OPERATION_READ);
        if (pending_operation_ == OPERATION_READ)
          ReportHeldProgress();
        return;
      }
      ask_first_ = false;
    } else {
      INTERNET_BUFFERSA& buffers = request_->read_buffers;
      buffers = {};
      buffers.dwStructSize = sizeof(buffers);
      buffers.lpvBuffer = request_->buffer();
      buffers.dwBufferLength = wanted;
      if (!::InternetReadFileExA(handle, &buffers, IRF_NO_WAIT, 0)) {
        WaitForCompletionOrRetry("InternetReadFileEx", OPERATION_AWAIT_DATA);
        if (pending_operation_ == OPERATION_AWAIT_DATA)
          ReportHeldProgress();
        return;
      }
      if (buffers.dwBufferLength == 0) {
        ask_first_ = true;
        continue;
      }
      request_->bytes_read = buffers.dwBufferLength;
    }
    budget -= request_->bytes_read;
    if (!TakeReadBytes())
      return;
  }
  step_timer_.Start(FROM_HERE, base::TimeDelta(),
                    base::BindMethod(&WininetDownloader::ReadBody, this));
}

void WininetDownloader::FollowRedirect(unsigned long status) {
  const std::wstring location = QueryHeader(request_->handle(), HTTP_QUERY_LOCATION);
  const std::wstring url = ResolveLocation(target_url_, location);
  ParsedUrl target;
  if (url.empty() || !ParseHttpUrl(url, &target)) {
    RecordError(ERROR_INTERNET_INVALID_URL,
                "The server redirected to an unusable address: " + base::Utf16ToUtf8(location));
    Complete(STATE_FAILED);
    return;
  }
  VLOG(1) << "Download redirected to " << url;
  event_sink_->OnRedirect(url);
  if (!IsHostAllowed(target.host)) {
    RecordError(ERROR_HTTP_REDIRECT_FAILED, base::StringPrintf("Domain disallowed %s",
                                                               base::Utf16ToUtf8(target.host).c_str()));
    Complete(STATE_FAILED);
    return;
  }
  if (target_.secure && !target.secure) {
    RecordError(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR,
                "Refusing a redirect from https to http: " + base::Utf16ToUtf8(url));
    Complete(STATE_FAILED);
    return;
  }
  if (++redirect_count_ > kMaxRedirects) {
    RecordError(ERROR_HTTP_REDIRECT_FAILED,
                base::StringPrintf("More than %d redirects", kMaxRedirects));
    Complete(STATE_FAILED);
    return;
  }
  // A 307 or 308 repeats the request, body and all; the others ask for the new address.
  if (status != HTTP_STATUS_REDIRECT_KEEP_VERB && status != HTTP_STATUS_PERMANENT_REDIRECT)
    redirected_to_get_ = true;
  target_url_ = url;
  target_ = target;
  CloseRequest();
  step_timer_.Start(FROM_HERE, base::TimeDelta(),
                    base::BindMethod(&WininetDownloader::OpenRequest, this));
}

void WininetDownloader::StartProgressWindow() {
  window_bytes_ = 0;
  window_had_response_ = false;
  progress_timer_.Start(FROM_HERE, progress_window_,
                        base::BindMethod(&WininetDownloader::OnProgressWindowEnd, this));
}

void WininetDownloader::OnProgressWindowEnd() {
  // The user answers the proxy dialog at their own pace; the window starts again after.
  if (pending_operation_ == OPERATION_PROXY_DIALOG)
    return;
  if (window_had_response_ || window_bytes_ >= min_progress_bytes_) {
    StartProgressWindow();
    return;
  }
  RecordError(ERROR_INTERNET_TIMEOUT,
              base::StringPrintf("Too little progress: %lld bytes in %lld ms",
                                 static_cast<long long>(window_bytes_),
                                 static_cast<long long>(progress_window_.InMilliseconds())));
  RetryOrFail();
}

bool WininetDownloader::RestartBody() {
  if (!writer_->Reset()) {
    RecordError(kWriteError, "Resetting the download destination failed");
    Complete(STATE_FAILED);
    return false;
  }
  bytes_received_ = 0;
  return true;
}

bool WininetDownloader::TakeReadBytes() {
  const DWORD size = request_->bytes_read;
  if (size == 0) {
    OnBodyComplete();
    return false;
  }
  if (bytes_received_ + size > max_body_size_) {
    RecordError(ERROR_FILE_TOO_LARGE,
                base::StringPrintf("The body is larger than the %lld bytes allowed",
                                   static_cast<long long>(max_body_size_)));
    Complete(STATE_FAILED);
    return false;
  }
  if (!writer_->Write(request_->buffer(), size)) {
    RecordError(kWriteError, "Writing the downloaded data failed");
    Complete(STATE_FAILED);
    return false;
  }
  bytes_received_ += size;
  // The request is alive while bytes arrive; but the download gains only by bytes beyond
  // the furthest it had reached: a body received again from its start, cut at the same
  // place each time, must not keep the retries going.
  window_bytes_ += size;
  const base::TimeTicks now = base::TimeTicks::Now();
  if (bytes_received_ > furthest_received_) {
    request_made_progress_ = true;
    bytes_since_progress_ += bytes_received_ - furthest_received_;
    furthest_received_ = bytes_received_;
  }
  if (bytes_since_progress_ >= min_progress_bytes_) {
    last_progress_time_ = now;
    bytes_since_progress_ = 0;
  }
  if (now - last_progress_report_ < kProgressReportInterval)
    return true;
  return ReportProgress(false);
}

bool WininetDownloader::ReportProgress(bool with_total) {
  last_progress_report_ = base::TimeTicks::Now();
  reported_bytes_ = bytes_received_;
  if (!delegate_)
    return true;
  // The delegate may stop (or even destroy) the downloader.
  const base::WeakPtr<WininetDownloader> self = weak_factory_.GetWeakPtr();
  const int request_id = request_id_;
  const auto is_current = [&self, request_id]() {
    return self && self->request_id_ == request_id && self->request_;
  };
  if (with_total) {
    delegate_->SetTotalProgress(ClampToInt32(expected_size_));
    if (!is_current())
      return false;
  }
  delegate_->SetCurrentProgress(ClampToInt32(bytes_received_));
  return is_current();
}

void WininetDownloader::ReportHeldProgress() {
  if (reported_bytes_ != bytes_received_)
    ReportProgress(false);
}

void WininetDownloader::OnBodyComplete() {
  // The last bytes' report may have been held back.
  if (reported_bytes_ != bytes_received_ && !ReportProgress(false))
    return;
  if (expected_size_ >= 0 && bytes_received_ < expected_size_) {
    RecordError(ERROR_INTERNET_CONNECTION_ABORTED,
                "The connection closed after " + base::Int64ToString(bytes_received_) + " of " +
                    base::Int64ToString(expected_size_) + " bytes");
    RetryOrFail();
    return;
  }
  if (!writer_->Finish()) {
    RecordError(kWriteError, "Completing the download destination failed");
    Complete(STATE_FAILED);
    return;
  }
  VLOG(1) << "Downloaded " << bytes_received_ << " bytes from " << url_;
  event_sink_->OnFinished(bytes_received_);
  Complete(STATE_FINISHED);
}

void WininetDownloader::AskForProxyCredentials() {
  LOG(WARNING) << "The proxy asks for credentials for " << url_;
  pending_operation_ = OPERATION_PROXY_DIALOG;
  base::scoped_refptr<RequestContext> request = request_;
  ui_callback_runner_->RunUICallbackAndPostReply(
      base::BindLambda([request](HWND parent) { return request->ShowProxyDialog(parent); }),
      task_runner_,
      base::BindMethod(&WininetDownloader::OnProxyDialogDone, weak_factory_.GetWeakPtr(),
                       request_id_));
}

void WininetDownloader::OnProxyDialogDone(int request_id, int32_t result) {
  if (request_id != request_id_ || !request_ || pending_operation_ != OPERATION_PROXY_DIALOG)
    return;
  pending_operation_ = OPERATION_NONE;
  if (result == ERROR_INTERNET_FORCE_RETRY) {
    VLOG(1) << "Sending the request again with the proxy credentials";
    StartProgressWindow();
    SendRequest();
    return;
  }
  RecordError(0, base::StringPrintf("The proxy requires authentication (dialog result %d)",
                                    static_cast<int>(result)));
  Complete(STATE_FAILED);
}

void WininetDownloader::RecordSystemError(const char* operation, uint32_t error_code) {
  RecordError(error_code, DescribeWinInetError(operation, error_code));
}

void WininetDownloader::RecordError(uint32_t error_code, const std::string& text) {
  status_text_ = text;
  LOG(WARNING) << "Download of " << url_ << ": " << text;
  event_sink_->OnError(error_code, http_status_code_, text);
}

void WininetDownloader::RetryOrFail() {
  AbortUnfinishedBody();
  CloseRequest();
  progress_timer_.Stop();
  if (retry_count_ >= max_retries_) {
    ran_out_of_retries_ = true;
    Complete(STATE_FAILED);
    return;
  }
  if (request_made_progress_)
    next_retry_delay_ = initial_retry_delay_;
  const base::TimeDelta delay = next_retry_delay_;
  // Not tried again when the next try would begin past the stall limit.
  const base::TimeDelta stalled = base::TimeTicks::Now() - last_progress_time_;
  if (stalled + delay >= max_stall_time_) {
    LOG(WARNING) << "The download of " << url_ << " made no progress for "
                 << stalled.InMilliseconds() << " ms: giving up";
    ran_out_of_retries_ = true;
    Complete(STATE_FAILED);
    return;
  }
  ++retry_count_;
  next_retry_delay_ = std::min(next_retry_delay_ * 2, max_retry_delay_);
  LOG(WARNING) << "Retry " << retry_count_ << " of the download of " << url_ << " in "
               << delay.InMilliseconds() << " ms";
  state_ = STATE_WAITING;
  step_timer_.Start(FROM_HERE, delay, base::BindMethod(&WininetDownloader::StartRequest, this));
  event_sink_->OnRetry(retry_count_, delay);
  if (retry_count_ >= 2) {
    event_sink_->OnStalled();
    // Last: the delegate may stop the downloader.
    if (delegate_)
      delegate_->NotifyStalled();
  }
}

void WininetDownloader::RetryOrFailRefused() {
  // A server that refuses connections is down, not slow: the user hears so soon, rather
  // than after every retry the stall limit allows.
  if (++refused_connections_ >= kMaxRefusedConnections) {
    LOG(WARNING) << "The server of " << url_ << " refused " << refused_connections_
                 << " connections in a row: giving up";
    CloseRequest();
    ran_out_of_retries_ = true;
    Complete(STATE_FAILED);
    return;
  }
  RetryOrFail();
}

void WininetDownloader::OnMaxDurationReached() {
  RecordError(ERROR_INTERNET_TIMEOUT,
              base::StringPrintf("The download took longer than the %lld ms allowed",
                                 static_cast<long long>(max_duration_.InMilliseconds())));
  ran_out_of_retries_ = true;
  Complete(STATE_FAILED);
}

void WininetDownloader::Complete(State final_state) {
  if (final_state != STATE_FINISHED)
    AbortUnfinishedBody();
  CloseRequest();
  step_timer_.Stop();
  progress_timer_.Stop();
  duration_timer_.Stop();
  state_ = final_state;
  if (final_state == STATE_FAILED) {
    const std::string failure =
        "Download of " + base::Utf16ToUtf8(url_) + " failed: " + status_text_;
    if (failure_is_error_)
      LOG(ERROR) << failure;
    else
      LOG(WARNING) << failure;
  }
  // The writer closes its file before the owner looks at it.
  writer_.reset();
  event_sink_.reset();
  body_.clear();
  base::Closure callback = std::move(completion_callback_);
  base::WeakPtr<WininetDownloader> self = weak_factory_.GetWeakPtr();
  if (callback)
    callback.Run();
  // The callback may have destroyed the downloader, or started the next download.
  if (self && !self->IsRunning())
    self->retry_count_ = 0;
}

void WininetDownloader::AbortUnfinishedBody() {
  // Only a request that got its response has a body left to read. One whose body ended
  // comes here only to be tried again (a body that broke off, a status retried): its
  // connection is of no more use.
  if (!request_ || http_status_code_ == 0)
    return;
  AbortRequestConnection(request_->handle(), target_.host, target_.port);
}

void WininetDownloader::CloseRequest() {
  pending_operation_ = OPERATION_NONE;
  if (request_) {
    request_->Close();
    request_ = nullptr;
  }
  connection_.Close();
}

}  // namespace installer
