#include "desktop/windows/installer/stats_sender.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/lazy_instance.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/current_thread_task_runner.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/wininet/ui_callback_runner.h"
#include "desktop/windows/installer/wininet/download_event_sink.h"
#include "desktop/windows/installer/wininet/memory_response_writer.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"

namespace installer {

namespace {

constexpr char kStatsPath[] = "divedazaveve/feedback";

base::LazyInstance<std::string>::Leaky g_server_for_testing;

// Answers for statistics without a UI-callback runner: no dialog can be shown.
class NoUICallbackRunner : public UICallbackRunner {
 public:
  void RunUICallbackAndPostReply(UITask ui_task,
                                 base::scoped_refptr<base::TaskRunner> reply_runner,
                                 Reply reply) override {
    PostUICallbackReply(FROM_HERE, reply_runner, std::move(reply), ERROR_CANCELLED);
  }
};

base::LazyInstance<NoUICallbackRunner>::Leaky g_no_ui_callback_runner;

// Owns the downloader of one report and deletes itself when the report is done.
class StatsSender {
 public:
  StatsSender(UICallbackRunner* ui_callback_runner, base::Closure done)
      : downloader_(ui_callback_runner, nullptr), done_(std::move(done)) {}
  StatsSender(const StatsSender&) = delete;
  StatsSender& operator=(const StatsSender&) = delete;

  bool Start(const std::wstring& url, const std::string& json, bool wait_for_network) {
    task_runner_ = base::CurrentThreadTaskRunner::Get();
    downloader_.SetMaxRetries(wait_for_network ? kStatsSendRetries : 0);
    downloader_.SetMaxDuration(base::TimeDelta::FromSeconds(kStatsSendMaxSeconds));
    downloader_.SetRequestContentType(L"application/json");
    // The run's outcome does not depend on its statistics.
    downloader_.SetFailureIsNoError();
    return downloader_.Start(url, json, base::BindMethod(&StatsSender::OnSent, this),
                             std::make_unique<MemoryResponseWriter>(&reply_),
                             std::make_unique<DownloadEventSink>());
  }

  // Runs the done closure; deletes |sender| first.
  static void Finish(StatsSender* sender) {
    base::Closure done = std::move(sender->done_);
    delete sender;
    if (done)
      done.Run();
  }

 private:
  void OnSent() {
    if (downloader_.state() == WininetDownloader::STATE_FINISHED)
      LOG(INFO) << "Stats sent";
    else
      LOG(WARNING) << "Sending stats failed: " << downloader_.GetStatusText();
    // The downloader is still on the stack: finish from a task of its own.
    if (!task_runner_->PostTask(FROM_HERE, base::BindFunction(&StatsSender::Finish, this)))
      LOG(ERROR) << "Cannot finish sending stats: the thread's loop is gone";
  }

  WininetDownloader downloader_;
  base::Closure done_;
  std::string reply_;
  base::scoped_refptr<base::SingleThreadTaskRunner> task_runner_;
};

}  // namespace

std::wstring GetStatsUrl() {
  const std::string& override_base = g_server_for_testing.Get();
  const std::string base =
      override_base.empty() ? ProductConfig::GetInstance().GetUrl("autoupdate") : override_base;
  return base::Utf8ToUtf16(base + kStatsPath);
}

void SetStatsServerForTesting(const std::string& base_url) {
  g_server_for_testing.Get() = base_url;
}

void SendStats(Stats* stats, base::Closure done, bool wait_for_network) {
  const std::wstring url = GetStatsUrl();
  const std::string json = stats->ToJson();
  UICallbackRunner* ui_callback_runner = stats->ui_callback_runner();
  if (!ui_callback_runner)
    ui_callback_runner = g_no_ui_callback_runner.Pointer();
  LOG(INFO) << "Sending stats to " << url;
  auto sender = std::make_unique<StatsSender>(ui_callback_runner, std::move(done));
  if (sender->Start(url, json, wait_for_network)) {
    sender.release();  // Deletes itself when done.
    return;
  }
  LOG(ERROR) << "Could not start sending stats";
  // Callers may quit a run loop from |done|: it runs from the loop, as after a report.
  StatsSender* failed = sender.release();
  const base::scoped_refptr<base::SingleThreadTaskRunner> task_runner =
      base::CurrentThreadTaskRunner::Get();
  if (!task_runner ||
      !task_runner->PostTask(FROM_HERE, base::BindFunction(&StatsSender::Finish, failed))) {
    LOG(ERROR) << "Cannot post the end of sending stats: finishing at once";
    StatsSender::Finish(failed);
  }
}

}  // namespace installer
