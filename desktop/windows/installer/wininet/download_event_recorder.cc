#include "desktop/windows/installer/wininet/download_event_recorder.h"

#include <limits>

#include "base/logging.h"
#include "desktop/windows/installer/wininet/stats.h"

namespace installer {

namespace {

// Statistics integers are 32-bit; sizes beyond that are kept at the limit.
int ClampToInt(int64_t value) {
  if (value > std::numeric_limits<int>::max())
    return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min())
    return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

}  // namespace

DownloadErrorRecorder::DownloadErrorRecorder(Stats* stats, std::string_view key_prefix)
    : stats_(stats), key_prefix_(key_prefix) {
  CHECK(stats_);
}

DownloadErrorRecorder::~DownloadErrorRecorder() = default;

std::unique_ptr<Stats> DownloadErrorRecorder::AddEvent(std::string_view name) {
  std::unique_ptr<Stats> record = stats_->AppendToList(key_prefix_ + std::string(name));
  record->SetTimestamp("at");
  return record;
}

void DownloadErrorRecorder::OnError(uint32_t error_code,
                                    int http_status,
                                    const std::string& text) {
  std::unique_ptr<Stats> record = AddEvent("error");
  record->SetInteger("code", static_cast<int>(error_code));
  record->SetInteger("http_status", http_status);
  record->SetString("text", text);
}

DownloadEventRecorder::DownloadEventRecorder(Stats* stats, std::string_view key_prefix)
    : DownloadErrorRecorder(stats, key_prefix) {}

DownloadEventRecorder::~DownloadEventRecorder() = default;

void DownloadEventRecorder::OnStarted(const std::wstring& url) {
  AddEvent("started")->SetString("url", url);
}

void DownloadEventRecorder::OnRequest(int64_t offset) {
  AddEvent("request")->SetInteger("offset", ClampToInt(offset));
}

void DownloadEventRecorder::OnRedirect(const std::wstring& url) {
  AddEvent("redirect")->SetString("url", url);
}

void DownloadEventRecorder::OnRetry(int retry_count, base::TimeDelta delay) {
  std::unique_ptr<Stats> record = AddEvent("retry");
  record->SetInteger("retry", retry_count);
  record->SetInteger("delay_ms", ClampToInt(delay.InMilliseconds()));
}

void DownloadEventRecorder::OnStalled() {
  AddEvent("stalled");
}

void DownloadEventRecorder::OnFinished(int64_t size) {
  AddEvent("finished")->SetInteger("size", ClampToInt(size));
}

}  // namespace installer
