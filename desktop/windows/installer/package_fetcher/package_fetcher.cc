#include "desktop/windows/installer/package_fetcher/package_fetcher.h"

#include <windows.h>

#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "desktop/windows/installer/installer_paths.h"
#include "desktop/windows/installer/package_fetcher/fetcher_delegate_proxy.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher_core.h"
#include "desktop/windows/installer/package_fetcher/server_addresses.h"

namespace installer {

namespace {

// A fetch is attempted at most this many times.
constexpr int kMaxFetches = 3;

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
    // Front ends share the folder: the names are this run's own.
    : package_path_(download_folder.Append(MakeRunExecutableName(L"tavro_installer"))),
      suite_path_(suite ? download_folder.Append(MakeRunExecutableName(L"suite"))
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
