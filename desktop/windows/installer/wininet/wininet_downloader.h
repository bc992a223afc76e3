#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_WININET_DOWNLOADER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_WININET_DOWNLOADER_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/single_thread_task_runner.h"
#include "base/time/time.h"
#include "base/timer/timer.h"
#include "desktop/windows/installer/wininet/scoped_internet_handle.h"
#include "desktop/windows/installer/wininet/wininet_util.h"

namespace installer {

class DownloadEventSink;
class ResponseWriter;
class UICallbackRunner;

// One asynchronous HTTP download at a time over WinINet:
//
//   WininetDownloader downloader(ui_callback_runner, delegate);
//   downloader.Start(url, "", base::BindMethod(&Fetcher::OnDone, weak_this),
//                    std::move(writer), std::make_unique<DownloadEventSink>());
//   ...
//   void Fetcher::OnDone() { if (downloader.state() == WininetDownloader::STATE_FINISHED) ... }
//
// A non-empty body is sent with POST, an empty one with GET. A request that fails on the
// network, gets 408, 429 or a 5xx status, makes too little progress, or whose body breaks
// off is retried after a growing delay, up to the maximum retry count and for as long as
// the download made progress within the stall limit; other failures (other statuses, a
// redirect to a host not allowed, a body larger than allowed, the writer failing) end the
// download at once. An interrupted GET body is resumed with a Range request where the
// server supports it, else received again from its start (the writer is reset). A proxy
// that asks for credentials (407) is answered through the UI-callback runner, which shows
// the system's proxy-credentials dialog; the request is sent again when the user gave them.
//
// Redirects are followed here, not by WinINet, so that no request (and no body: a 307 or
// 308 sends it again) ever reaches a host outside the allowed list: a 301, 302 or 303 goes
// on with a GET, a 307 or 308 repeats the request; a redirect from https to plain http and
// more than kMaxRedirects in one try end the download. Every try starts at the address
// given to Start.
//
// Progress: in every kDefaultProgressWindow of a try a request must receive its response
// (a redirect does not count) or kDefaultMinProgressBytes of the body, else the try has
// failed; the bytes count as they arrive, a read never waiting for more. Once the download
// has received no kDefaultMinProgressBytes beyond the furthest point of the body it had
// reached for kDefaultMaxStallTime, it is not tried again (a body received again from its
// start gains nothing until it passes that point). A server that never makes progress thus
// ends a download within the stall limit and two windows (3 minutes by default); one that
// refuses kMaxRefusedConnections connections in a row ends it at once (it is down); and
// whatever the server does, a download ends within kDefaultMaxDuration.
//
// The product configuration's "network" object may change the timing and the bounds
// ("timeout_ms" for connecting, sending and receiving, "max_retries", "retry_delay_ms" for
// the first retry's delay, "progress_window_ms", "min_progress_bytes", "max_stall_ms",
// "max_download_bytes" for the default body bound and "max_download_ms" for the default
// duration bound); the test builds' hosts do, so that a
// server that never answers fails in seconds.
//
// The downloader lives on the thread that calls Start, which must run a MessageLoop: the
// completion callback, the delegate and the event sink are called there. WinINet reports
// on threads of its own; those reports only post tasks to this thread, and they hold the
// state of a request by reference so that a report after Stop or destruction touches no
// freed memory.
class WininetDownloader {
 public:
  // Told about the body's progress; the controllers implement it through the package
  // fetcher's delegate.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // The body's total size in bytes (0 when the server did not say).
    virtual void SetTotalProgress(int32_t total) = 0;
    // The bytes received so far: every few dozen milliseconds while the body comes,
    // whenever all that arrived was taken and more is awaited, and when the body ends.
    virtual void SetCurrentProgress(int32_t current) = 0;
    // The download keeps failing; from the second retry on.
    virtual void NotifyStalled() = 0;
  };

  // The state read by the owner in the completion callback: FINISHED or FAILED there.
  enum State {
    STATE_IDLE = 0,        // Nothing started, or stopped.
    STATE_SENDING = 1,     // A request is on its way, or waits for proxy credentials.
    STATE_RECEIVING = 2,   // The body is being received.
    STATE_WAITING = 3,     // A retry is due after a delay.
    STATE_FAILED = 4,      // The last download failed (GetStatusText says why).
    STATE_FINISHED = 5,    // The last download finished successfully.
  };

  static constexpr int kDefaultMaxRetries = 600;
  static constexpr base::TimeDelta kDefaultInitialRetryDelay = base::TimeDelta::FromSeconds(1);
  static constexpr base::TimeDelta kDefaultMaxRetryDelay = base::TimeDelta::FromSeconds(60);
  // Below this a request makes too little progress: about 270 bytes a second.
  static constexpr base::TimeDelta kDefaultProgressWindow = base::TimeDelta::FromSeconds(30);
  static constexpr int64_t kDefaultMinProgressBytes = 8 * 1024;
  static constexpr base::TimeDelta kDefaultMaxStallTime = base::TimeDelta::FromMinutes(2);
  // No package or file the installer downloads comes near it.
  static constexpr int64_t kDefaultMaxBodySize = int64_t{1} << 30;
  static constexpr int kMaxRedirects = 10;
  // The longest a download takes, tries and delays included: a server that keeps sending
  // just enough (or keeps cutting the body at the same place) cannot hold a run longer.
  static constexpr base::TimeDelta kDefaultMaxDuration = base::TimeDelta::FromMinutes(10);
  // Refused connections in a row after which a download fails without more tries (with the
  // default delays, about 7 s after the first).
  static constexpr int kMaxRefusedConnections = 4;

  // |ui_callback_runner| (not owned) must not be null. |delegate| (not owned) may be null.
  WininetDownloader(UICallbackRunner* ui_callback_runner, Delegate* delegate);
  WininetDownloader(const WininetDownloader&) = delete;
  WininetDownloader& operator=(const WininetDownloader&) = delete;
  // Stops a running download (without callback) and hands the WinINet session to the
  // "Wininet Termination" thread.
  ~WininetDownloader();

  // Starts downloading |url| (http or https). False, without calling |completion_callback|
  // ever, when a download is already running, the address is not valid, its host is not
  // allowed or WinINet cannot be opened; GetStatusText then says why. Otherwise
  // |completion_callback| runs once, on this thread, when the download has finished or
  // failed for good (not after Stop). |writer| receives the body; |event_sink| (may be
  // null) hears of the download's events. Both are released before the callback runs.
  bool Start(const std::wstring& url,
             const std::string& body,
             base::Closure completion_callback,
             std::unique_ptr<ResponseWriter> writer,
             std::unique_ptr<DownloadEventSink> event_sink);

  // Ends a running download: its request is closed, no callback follows and the state
  // becomes STATE_IDLE. Does nothing when no download runs.
  void Stop();

  State state() const { return state_; }
  bool IsRunning() const;
  // The HTTP status of the last response (0 before any).
  int http_status_code() const { return http_status_code_; }
  // The retries made for the current download; still readable in the completion callback,
  // back to 0 once the callback has returned.
  int retry_count() const { return retry_count_; }
  // Whether the last download failed because it could not be tried again: its retries or
  // its stall limit were used up (the server kept failing, or made no progress). Still
  // readable once the completion callback has run, until the next Start.
  bool ran_out_of_retries() const { return ran_out_of_retries_; }
  // The last error, with the system's text for WinINet errors; empty when none.
  const std::string& GetStatusText() const { return status_text_; }

  // Host suffixes allowed for the address and for every redirect; empty allows any host.
  // A host is allowed when it equals an entry (a leading dot of the entry aside) or ends
  // with it at a label boundary, ignoring case: ".example.com" and "example.com" both allow
  // "example.com" and "cdn.example.com" but not "badexample.com".
  void SetAllowedHosts(std::vector<std::wstring> hosts);
  const std::vector<std::wstring>& allowed_hosts() const { return allowed_hosts_; }
  bool IsHostAllowed(const std::wstring& host) const;

  // 0 disables retries.
  void SetMaxRetries(int max_retries);
  int max_retries() const { return max_retries_; }
  // The first retry waits |initial|, each later one twice the one before, at most |maximum|;
  // a request that received part of the body starts the delays over.
  void SetRetryDelays(base::TimeDelta initial, base::TimeDelta maximum);

  // The Content-Type of POST bodies ("application/octet-stream" unless set).
  void SetRequestContentType(const std::wstring& content_type);

  // The largest body accepted (kDefaultMaxBodySize unless set): a larger announced size or
  // body ends the download.
  void SetMaxBodySize(int64_t max_body_size);
  int64_t max_body_size() const { return max_body_size_; }

  // The longest a download may take (kDefaultMaxDuration unless set); applies from the next
  // Start.
  void SetMaxDuration(base::TimeDelta max_duration);
  base::TimeDelta max_duration() const { return max_duration_; }

  // For a download whose failure does not fail the run (statistics, optional files): its
  // failure is logged as a WARNING rather than an ERROR.
  void SetFailureIsNoError() { failure_is_error_ = false; }

  // Every |window| a request must receive its response or |min_bytes| of the body; after
  // |max_stall| without |min_bytes| received the download is not tried again.
  void SetProgressLimits(base::TimeDelta window, int64_t min_bytes, base::TimeDelta max_stall);

 private:
  class RequestContext;

  enum PendingOperation {
    OPERATION_NONE,
    OPERATION_SEND,
    OPERATION_QUERY_DATA,
    OPERATION_READ,
    // A read that found nothing waits for data to arrive, taking none.
    OPERATION_AWAIT_DATA,
    OPERATION_PROXY_DIALOG,
  };

  bool OpenSession();
  // The connect, send and receive time-outs on a session or request handle.
  void SetTimeouts(void* handle) const;
  // Begins a try at the download's address.
  void StartRequest();
  // Opens and sends the request of the current try to |target_|.
  void OpenRequest();
  void SendRequest();
  // Goes on to where the 3xx response with |status| points, when that is allowed.
  void FollowRedirect(unsigned long status);
  // Starts the next window in which the request must make progress.
  void StartProgressWindow();
  void OnProgressWindowEnd();
  // After a WinINet call that returned FALSE: waits for its completion report when it is
  // pending, else the request failed.
  void WaitForCompletionOrRetry(const char* operation, PendingOperation pending_operation);
  // Reports from the current request, posted by the status callback. |request_id| tells
  // reports of an earlier request apart.
  void OnRequestComplete(int request_id, uint32_t error);
  void OnProxyDialogDone(int request_id, int32_t result);
  void OnResponseStarted();
  // Receives what is available, until the body ends or WinINet has to wait.
  void ReadBody();
  void OnBodyComplete();
  // Takes the bytes of the last read. False when there were none (the body ended) or the
  // download failed: the caller stops then.
  bool TakeReadBytes();
  // Drops the body received so far; false when the download failed.
  bool RestartBody();
  // Tells the delegate the body's progress (and total). False when the delegate stopped
  // the download meanwhile.
  bool ReportProgress(bool with_total);
  // Tells the delegate the bytes received since its last report, if any, before waiting
  // for the network. The delegate may stop or destroy the downloader: callers return.
  void ReportHeldProgress();
  void AskForProxyCredentials();

  // Records an error of the current download: status text, log and event sink.
  // |error_code| is the system error, or 0 when the failure was not one.
  void RecordError(uint32_t error_code, const std::string& text);
  // The same for the system error |error_code| of the WinINet function |operation|.
  void RecordSystemError(const char* operation, uint32_t error_code);
  // The current request failed: retried after a delay while retries remain, else failed.
  void RetryOrFail();
  // The server refused the connection: failed once that happened kMaxRefusedConnections
  // times in a row, else RetryOrFail.
  void RetryOrFailRefused();
  void OnMaxDurationReached();
  // Ends the download in |final_state| and runs the completion callback. The callback may
  // destroy the downloader: callers return at once.
  void Complete(State final_state);
  // Ends the connection of a request whose body has not ended, so that closing the
  // request does not read the rest (see AbortRequestConnection).
  void AbortUnfinishedBody();
  void CloseRequest();

  UICallbackRunner* const ui_callback_runner_;
  Delegate* const delegate_;

  ScopedInternetHandle session_;
  ScopedInternetHandle connection_;
  base::scoped_refptr<RequestContext> request_;
  base::scoped_refptr<base::SingleThreadTaskRunner> task_runner_;

  // The download under way.
  std::wstring url_;
  ParsedUrl address_;
  std::string body_;
  // Where the current request of the try goes: the address, or where redirects led.
  std::wstring target_url_;
  ParsedUrl target_;
  int redirect_count_ = 0;
  // A 301, 302 or 303 turned the try's POST into a GET.
  bool redirected_to_get_ = false;
  base::Closure completion_callback_;
  std::unique_ptr<ResponseWriter> writer_;
  std::unique_ptr<DownloadEventSink> event_sink_;

  State state_ = STATE_IDLE;
  PendingOperation pending_operation_ = OPERATION_NONE;
  int request_id_ = 0;
  int http_status_code_ = 0;
  int retry_count_ = 0;
  bool ran_out_of_retries_ = false;
  bool failure_is_error_ = true;
  std::string status_text_;
  // Bytes of the body received and kept by the writer.
  int64_t bytes_received_ = 0;
  // The most of the body the download ever held (a body received again from its start
  // gains nothing until it passes this).
  int64_t furthest_received_ = 0;
  // Connections refused in a row.
  int refused_connections_ = 0;
  // The whole body's size, or -1 when the server did not say.
  int64_t expected_size_ = -1;
  // Whether the current request received body bytes (a retry after progress starts its
  // delays over).
  bool request_made_progress_ = false;
  // Cleared once the server answered a Range request unusably.
  bool resume_with_range_ = true;
  // Whether the current request asked for the body from |bytes_received_| on.
  bool range_requested_ = false;
  // The current progress window: body bytes received, and whether the response came.
  int64_t window_bytes_ = 0;
  bool window_had_response_ = false;
  // When the download last received |min_progress_bytes_| (counted since then).
  base::TimeTicks last_progress_time_;
  int64_t bytes_since_progress_ = 0;
  // Whether the next read asks first what has arrived: the last read took nothing at once.
  bool ask_first_ = false;
  // When the delegate was last told the progress, and what it was told.
  base::TimeTicks last_progress_report_;
  int64_t reported_bytes_ = 0;

  // Connect, send and receive time-out; 0 for the defaults.
  uint32_t network_timeout_ms_ = 0;
  std::vector<std::wstring> allowed_hosts_;
  int max_retries_ = kDefaultMaxRetries;
  base::TimeDelta initial_retry_delay_ = kDefaultInitialRetryDelay;
  base::TimeDelta max_retry_delay_ = kDefaultMaxRetryDelay;
  base::TimeDelta next_retry_delay_ = kDefaultInitialRetryDelay;
  std::wstring request_content_type_ = L"application/octet-stream";
  int64_t max_body_size_ = kDefaultMaxBodySize;
  base::TimeDelta progress_window_ = kDefaultProgressWindow;
  int64_t min_progress_bytes_ = kDefaultMinProgressBytes;
  base::TimeDelta max_stall_time_ = kDefaultMaxStallTime;
  base::TimeDelta max_duration_ = kDefaultMaxDuration;
  // The next step that waits for the thread: the first request, a retry, a redirect, more
  // reading.
  base::OneShotTimer step_timer_;
  base::OneShotTimer progress_timer_;
  base::OneShotTimer duration_timer_;

  base::WeakPtrFactory<WininetDownloader> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_WININET_DOWNLOADER_H_
