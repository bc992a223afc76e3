#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_EVENT_SINK_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_EVENT_SINK_H_

#include <stdint.h>

#include <string>

#include "base/time/time.h"

namespace installer {

// What happens during one download, as told by the downloader on its thread. This base
// records nothing; the recorders (download_event_recorder.h) keep the events in the
// installer statistics. The comment of each event gives its name there.
class DownloadEventSink {
 public:
  DownloadEventSink() = default;
  DownloadEventSink(const DownloadEventSink&) = delete;
  DownloadEventSink& operator=(const DownloadEventSink&) = delete;
  virtual ~DownloadEventSink() = default;

  // "started": the download of |url| begins.
  virtual void OnStarted(const std::wstring& url) {}
  // "request": a request is sent, asking for the body from byte |offset| on (0, or where an
  // interrupted body is resumed).
  virtual void OnRequest(int64_t offset) {}
  // "redirect": the server sent the request on to |url|.
  virtual void OnRedirect(const std::wstring& url) {}
  // "error": a request failed with the system error |error_code| (0 when the failure was
  // the HTTP status) after the server answered |http_status| (0 when it did not answer).
  virtual void OnError(uint32_t error_code, int http_status, const std::string& text) {}
  // "retry": retry number |retry_count| is due after |delay|.
  virtual void OnRetry(int retry_count, base::TimeDelta delay) {}
  // "stalled": the download keeps failing (told from the second retry on).
  virtual void OnStalled() {}
  // "finished": the whole body, |size| bytes, was received.
  virtual void OnFinished(int64_t size) {}
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_EVENT_SINK_H_
