#ifndef DESKTOP_WINDOWS_INSTALLER_PREF_DEFAULT_OVERRIDES_FETCHER_H_
#define DESKTOP_WINDOWS_INSTALLER_PREF_DEFAULT_OVERRIDES_FETCHER_H_

#include <string>

#include "base/callback.h"
#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/memory/weak_ptr.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"

namespace installer {

class UICallbackRunner;

// Downloads the server's overrides of the browser's default preferences into the file
// "pref_default_overrides" of the unpacked package, which the backend installs. A request
// that fails leaves no file behind and does not stop the installation: the caller goes on
// in every case.
//
// Lives on one thread, which runs a MessageLoop; the completion callback runs there.
class PrefDefaultOverridesFetcher {
 public:
  // Fetches into |folder|. |ui_callback_runner| (not owned, not null) answers the
  // downloader's UI requests. The switches are read from |command_line|, the process
  // command line when null.
  PrefDefaultOverridesFetcher(const base::FilePath& folder,
                              UICallbackRunner* ui_callback_runner,
                              const base::CommandLine* command_line = nullptr);
  PrefDefaultOverridesFetcher(const PrefDefaultOverridesFetcher&) = delete;
  PrefDefaultOverridesFetcher& operator=(const PrefDefaultOverridesFetcher&) = delete;
  // A fetch under way ends without its callback.
  ~PrefDefaultOverridesFetcher();

  // Requests the overrides, sending |tracking_data| (POST when not empty, else GET), unless
  // the feature "installer-pref-default-overrides-support" is off. |done| runs exactly once,
  // when the request has ended or at once when none is made.
  void Fetch(const std::string& tracking_data, base::Closure done);

  const base::FilePath& target_file() const { return target_file_; }

 private:
  void OnFetched();

  const base::FilePath target_file_;
  const std::wstring address_;
  WininetDownloader downloader_;
  base::Closure done_;
  base::WeakPtrFactory<PrefDefaultOverridesFetcher> weak_factory_{this};
};

// Where the overrides are asked for: the value of "local-pref-default-overrides-server"
// when it has one; the loopback host's port 3001 when the switch is present without a
// value; else the product configuration's "autoupdate" address followed by
// "api/prefs/?product=<product name>&version=<four-part version>".
std::wstring GetPrefDefaultOverridesAddress(const base::CommandLine& command_line);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PREF_DEFAULT_OVERRIDES_FETCHER_H_
