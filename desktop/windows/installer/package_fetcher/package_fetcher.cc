#include "desktop/windows/installer/package_fetcher/package_fetcher.h"

#include <windows.h>

#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/time/time.h"
#include "desktop/windows/installer/package_fetcher/fetcher_delegate_proxy.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher_core.h"
#include "desktop/windows/installer/package_fetcher/server_addresses.h"

namespace installer {

namespace {

// A fetch is attempted at most this many times.
constexpr int kMaxFetches = 3;

// |base_name| followed by the local time and this process's id, in |download_folder|. Front
// ends share the folder: the id keeps the names of two started in the same second apart.
base::FilePath MakeTimeStampedPath(const base::FilePath& download_folder,
                                   const base::Time::Exploded& now,
                                   const wchar_t* base_name) {
  return download_folder.Append(
      base_name + base::WideStringPrintf(L"_%02d%02d%02d%02d%02d%02d_%lu.exe", now.year,
                                         now.month, now.day_of_month, now.hour, now.minute,
                                         now.second, ::GetCurrentProcessId()));
}

base::Time::Exploded LocalNow() {
  base::Time::Exploded now;
  base::Time::Now().Explode(true, &now);
  return now;
}

}  // namespace

const char* GetFetcherStatusName(int32_t status) {
  switch (status) {
    case FETCHER_PACKAGE_READY:
      return "package_ready";
    case FETCHER_INITIALIZATION_FAILED:
      return "initialization_failed";
    case FETCHER_DOWNLOAD_FAILED:
      return "download_failed";
    case FETCHER_UNPACKING_FAILED:
      return "unpacking_failed";
    default:
      return "invalid";
  }
}

PackageFetcher::PackageFetcher(const base::FilePath& download_folder,
                               Stats* stats,
                               UICallbackRunner* ui_callback_runner,
                               Delegate* delegate,
                               const PayloadReader* payload_reader,
                               bool x64,
                               bool suite,
                               const base::CommandLine* command_line)
    : package_path_(MakeTimeStampedPath(download_folder, LocalNow(), L"tavro_installer")),
      suite_path_(suite ? MakeTimeStampedPath(download_folder, LocalNow(), L"suite")
                        : base::FilePath()),
      proxy_(new FetcherDelegateProxy(delegate, ui_callback_runner)),
      worker_("Package fetcher worker") {
  CHECK(ui_callback_runner) << "The package fetcher needs a UI-callback runner";
  core_ = std::make_unique<PackageFetcherCore>(
      proxy_, payload_reader, download_folder, package_path_, suite_path_,
      GetDownloadUrlRequestAddress(CommandLineOrProcess(command_line), x64), stats);
  if (!worker_.Start())
    LOG(ERROR) << "Could not start the package fetcher's thread";
}

PackageFetcher::~PackageFetcher() {
  PackageFetcherCore* core = core_.release();
  const base::scoped_refptr<base::SingleThreadTaskRunner> worker = worker_.GetTaskRunner();
  if (worker && worker->PostTask(FROM_HERE_WITH_EXPLICIT_FUNCTION("~PackageFetcher"),
                                 base::BindLambda([core]() { delete core; }))) {
    // Runs the deletion, then ends the thread.
    worker_.Stop();
    return;
  }
  worker_.Stop();
  delete core;
}

void PackageFetcher::Start() {
  const base::scoped_refptr<base::SingleThreadTaskRunner> worker = worker_.GetTaskRunner();
  if (!worker ||
      !worker->PostTask(FROM_HERE, base::BindMethod(&PackageFetcherCore::Start, core_.get()))) {
    LOG(ERROR) << "Cannot start the package fetcher: its thread does not run";
    proxy_->NotifyStatusChanged(FETCHER_INITIALIZATION_FAILED);
  }
}

bool PackageFetcher::Retry() {
  const base::scoped_refptr<base::SingleThreadTaskRunner> worker = worker_.GetTaskRunner();
  if (!worker || core_->restart_count() >= kMaxFetches)
    return false;
  LOG(INFO) << "Retrying a fetch attempt";
  return worker->PostTask(FROM_HERE, base::BindMethod(&PackageFetcherCore::Start, core_.get()));
}

base::FilePath PackageFetcher::GetExtractionFolder() const {
  return core_->GetExtractionFolder();
}

base::FilePath PackageFetcher::GetSuiteFolder() const {
  return core_->GetSuiteFolder();
}

}  // namespace installer
