#include "desktop/windows/installer/pref_default_overrides_fetcher.h"

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/features/feature_registry.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/package_fetcher/server_addresses.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/wininet/download_event_sink.h"
#include "desktop/windows/installer/wininet/file_response_writer.h"
#include "desktop/windows/installer/wininet/memory_response_writer.h"

namespace installer {

namespace {

constexpr wchar_t kTargetFileName[] = L"pref_default_overrides";
constexpr char kServerSwitch[] = "local-pref-default-overrides-server";

}  // namespace

std::wstring GetPrefDefaultOverridesAddress(const base::CommandLine& command_line) {
  if (command_line.HasSwitch(kServerSwitch)) {
    const std::wstring value = command_line.GetSwitchValueNative(kServerSwitch);
    if (!value.empty())
      return value;
    return std::wstring(L"http://") + kLoopbackHostName + L":3001";
  }
  // Substituted as they are, without escaping.
  return base::Utf8ToUtf16(
      ProductConfig::GetInstance().GetUrl("autoupdate") +
      base::ReplaceStringPlaceholders("api/prefs/?product=$1&version=$2",
                                      {ProductInfo::GetProductName(), ProductInfo::GetVersion()}));
}

PrefDefaultOverridesFetcher::PrefDefaultOverridesFetcher(const base::FilePath& folder,
                                                         UICallbackRunner* ui_callback_runner,
                                                         const base::CommandLine* command_line)
    : target_file_(folder.Append(kTargetFileName)),
      address_(GetPrefDefaultOverridesAddress(CommandLineOrProcess(command_line))),
      downloader_(ui_callback_runner, nullptr) {}

PrefDefaultOverridesFetcher::~PrefDefaultOverridesFetcher() = default;

void PrefDefaultOverridesFetcher::Fetch(const std::string& tracking_data, base::Closure done) {
  if (!base::IsFeatureEnabled(kInstallerPrefDefaultOverridesSupportFeature)) {
    done.Run();
    return;
  }
  LOG(INFO) << "Fetching default prefs overrides to " << target_file_ << " with tracking data "
            << tracking_data;
  if (downloader_.IsRunning()) {
    LOG(ERROR) << "Failed sending request for default prefs overrides: one is under way";
    done.Run();
    return;
  }
  downloader_.SetAllowedHosts(BuildAllowedHosts(ConfigDomainPlace::kLast));
  downloader_.SetMaxRetries(0);
  // The package installs with its own defaults when the overrides do not come.
  downloader_.SetFailureIsNoError();
  downloader_.SetMaxBodySize(kMaxReplySize);
  auto writer = std::make_unique<FileResponseWriter>();
  if (!writer->Open(target_file_) ||
      !downloader_.Start(
          address_, tracking_data,
          base::BindMethod(&PrefDefaultOverridesFetcher::OnFetched, weak_factory_.GetWeakPtr()),
          std::move(writer), std::make_unique<DownloadEventSink>())) {
    LOG(ERROR) << "Failed sending request for default prefs overrides";
    base::DeletePath(target_file_, false);
    done.Run();
    return;
  }
  done_ = std::move(done);
}

void PrefDefaultOverridesFetcher::OnFetched() {
  if (downloader_.state() == WininetDownloader::STATE_FINISHED) {
    LOG(INFO) << "Default prefs overrides fetched successfully";
  } else {
    if (!base::DeletePath(target_file_, false))
      LOG(WARNING) << "Could not remove " << target_file_;
    LOG(WARNING) << "Failed fetching default prefs overrides";
  }
  base::Closure done = std::move(done_);
  done.Run();
}

}  // namespace installer
