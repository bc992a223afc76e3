#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_EVENT_RECORDER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_EVENT_RECORDER_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <string_view>

#include "desktop/windows/installer/wininet/download_event_sink.h"

namespace installer {

class Stats;

// Records the download errors in statistics (not owned; they must outlive the recorder):
// each error appends a record to the list at the key prefix followed by "error", with
// "code", "http_status", "text" and the time stamp "at".
class DownloadErrorRecorder : public DownloadEventSink {
 public:
  DownloadErrorRecorder(Stats* stats, std::string_view key_prefix);
  ~DownloadErrorRecorder() override;

  void OnError(uint32_t error_code, int http_status, const std::string& text) override;

 protected:
  // Appends a record, with its time stamp, to the list of the event |name|.
  std::unique_ptr<Stats> AddEvent(std::string_view name);

 private:
  Stats* const stats_;
  const std::string key_prefix_;
};

// Records every download event the same way: a list per event under the key prefix
// followed by the event's name ("started", "request", "redirect", "error", "retry",
// "stalled", "finished").
class DownloadEventRecorder : public DownloadErrorRecorder {
 public:
  DownloadEventRecorder(Stats* stats, std::string_view key_prefix);
  ~DownloadEventRecorder() override;

  void OnStarted(const std::wstring& url) override;
  void OnRequest(int64_t offset) override;
  void OnRedirect(const std::wstring& url) override;
  void OnRetry(int retry_count, base::TimeDelta delay) override;
  void OnStalled() override;
  void OnFinished(int64_t size) override;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_EVENT_RECORDER_H_
