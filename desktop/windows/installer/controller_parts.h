#ifndef DESKTOP_WINDOWS_INSTALLER_CONTROLLER_PARTS_H_
#define DESKTOP_WINDOWS_INSTALLER_CONTROLLER_PARTS_H_

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "desktop/windows/installer/installer_runner.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/pref_default_overrides_fetcher.h"

namespace installer {

class PayloadReader;
class Settings;
class Stats;
class UICallbackRunner;

// What a front-end controller drives, made the same way for a run with a window and a
// silent one. The members are declared so that destroying the parts takes them in the order
// the controllers need: the overrides fetcher, then the runner (which interrupts a backend
// still running), then the package fetcher (which removes the unpacked package). Assigning
// to parts that hold something would not keep that order.
struct ControllerParts {
  ControllerParts();
  ControllerParts(ControllerParts&&);
  ControllerParts& operator=(ControllerParts&&);
  ~ControllerParts();

  // The tracking data of the installer's payload; empty for a full package or none.
  std::string tracking_data;
  // Null without a payload reader: the package is the running installer's own folder.
  std::unique_ptr<PackageFetcher> package_fetcher;
  std::unique_ptr<InstallerRunner> runner;
  std::unique_ptr<PrefDefaultOverridesFetcher> pref_overrides_fetcher;
};

// Makes the parts of a run and records "payload_type" and "tracking_data" in |stats|. With
// a payload reader the package comes from a PackageFetcher (not started yet) into
// |download_folder|; |stats|, |ui_callback_runner|, |delegate| and |payload_reader| must
// outlive the parts. Without one the package is the folder of the running installer.
ControllerParts MakeControllerParts(const Settings& settings,
                                    const PayloadReader* payload_reader,
                                    const base::FilePath& download_folder,
                                    Stats* stats,
                                    UICallbackRunner* ui_callback_runner,
                                    PackageFetcher::Delegate* delegate);

// What completes the package once it is ready and the settings are known: records the
// run's tracking data (the payload's when there is one, else what the existing installation
// in the install folder kept) as "tracking_data" and, unless uninstalling, fetches the
// default-preference overrides with it. |done| runs when that is over (at once when there
// is nothing to fetch).
void RunTrackingDataActions(const std::string& payload_tracking_data,
                            const Settings& settings,
                            Stats* stats,
                            PrefDefaultOverridesFetcher* pref_overrides_fetcher,
                            base::Closure done);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CONTROLLER_PARTS_H_
