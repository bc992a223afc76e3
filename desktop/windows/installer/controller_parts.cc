#include "desktop/windows/installer/controller_parts.h"

#include <utility>

#include "base/logging.h"
#include "base/path_registry.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/wininet/stats.h"

namespace installer {

namespace {

std::string GetRunTrackingData(const std::string& payload_tracking_data, const Settings& settings) {
  return payload_tracking_data.empty() ? settings.GetStatus().details().tracking_data
                                       : payload_tracking_data;
}

}  // namespace

ControllerParts::ControllerParts() = default;
ControllerParts::ControllerParts(ControllerParts&&) = default;
ControllerParts& ControllerParts::operator=(ControllerParts&&) = default;
ControllerParts::~ControllerParts() = default;

ControllerParts MakeControllerParts(const Settings& settings,
                                    const PayloadReader* payload_reader,
                                    const base::FilePath& download_folder,
                                    Stats* stats,
                                    UICallbackRunner* ui_callback_runner,
                                    PackageFetcher::Delegate* delegate) {
  ControllerParts parts;
  if (payload_reader) {
    stats->SetString("payload_type", PayloadReader::GetTypeName(payload_reader->type()));
    if (payload_reader->type() != PayloadType::kFullPackage)
      parts.tracking_data = payload_reader->GetPayload();
    if (!parts.tracking_data.empty())
      stats->SetString("tracking_data", parts.tracking_data);
    VLOG(1) << "Initializing controller with fetcher.";
    parts.package_fetcher = std::make_unique<PackageFetcher>(
        download_folder, stats, ui_callback_runner, delegate, payload_reader,
        settings.architecture() == INSTALLER_ARCH_X64, settings.GetFlag(INSTALL_ASSISTANT));
    const base::FilePath package_folder = parts.package_fetcher->GetExtractionFolder();
    parts.runner =
        std::make_unique<InstallerRunner>(package_folder, parts.package_fetcher->GetSuiteFolder());
    parts.pref_overrides_fetcher =
        std::make_unique<PrefDefaultOverridesFetcher>(package_folder, ui_callback_runner);
    return parts;
  }
  VLOG(1) << "Initializing controller without fetcher.";
  base::FilePath package_folder;
  if (!base::PathRegistry::Get(base::DIR_EXE, &package_folder))
    LOG(ERROR) << "Cannot find the running installer's folder";
  parts.runner = std::make_unique<InstallerRunner>(package_folder, base::FilePath());
  parts.pref_overrides_fetcher =
      std::make_unique<PrefDefaultOverridesFetcher>(package_folder, ui_callback_runner);
  return parts;
}

void RunTrackingDataActions(const std::string& payload_tracking_data,
                            const Settings& settings,
                            Stats* stats,
                            PrefDefaultOverridesFetcher* pref_overrides_fetcher,
                            base::Closure done) {
  const std::string tracking_data = GetRunTrackingData(payload_tracking_data, settings);
  stats->SetString("tracking_data", tracking_data);
  if (settings.operation() == OPERATION_UNINSTALLING) {
    done.Run();
    return;
  }
  pref_overrides_fetcher->Fetch(tracking_data, std::move(done));
}

}  // namespace installer
