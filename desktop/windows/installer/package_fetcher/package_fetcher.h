#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/threading/thread.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"

namespace installer {

class FetcherDelegateProxy;
class PackageFetcherCore;
class PayloadReader;
class Stats;
class UICallbackRunner;

// Where a fetch is; the value passed to PackageFetcher::Delegate::NotifyStatusChanged. The
// last four end a fetch; after a failure (6, 7, 8) the controller may call Retry.
enum FetcherStatus : int32_t {
  FETCHER_STARTED = 0,
  FETCHER_REQUESTING_URL = 1,
  FETCHER_DOWNLOADING = 2,  // The download address came; the package is on its way.
  FETCHER_UNPACKING = 3,    // The package is verified or came with the payload.
  FETCHER_ADDITIONAL_FILES = 4,
  FETCHER_PACKAGE_READY = 5,
  FETCHER_INITIALIZATION_FAILED = 6,  // The download folder could not be cleaned.
  FETCHER_DOWNLOAD_FAILED = 7,        // The address, the package or its checks failed.
  FETCHER_UNPACKING_FAILED = 8,
};

// The statistic "result" of a fetch that ended with |status|: "package_ready",
// "initialization_failed", "download_failed", "unpacking_failed"; "invalid" otherwise.
const char* GetFetcherStatusName(int32_t status);

// Acquires the browser package for the front end: takes it from the installer's own
// payload when that is a full package, else asks the autoupdate server for its address,
// downloads it (resuming and retrying), checks its checksum, signer, version and stream,
// unpacks it into the download folder and fetches the additional files the server names.
//
// The work runs on a thread of its own ("Package fetcher worker"); the delegate and the
// UI-callback runner are called on the thread that made the fetcher, which must run a
// MessageLoop, and never after the fetcher is gone. A failed fetch may be started again with
// Retry, at most twice. Destroying the fetcher stops the work and removes what it wrote into
// the download folder. Front ends share that folder: the names of one fetcher's files
// ("tavro_installer_<local time>_<process id>-<creation time>.exe", its folder and ".7z",
// "suite_..." and "additional_file_<process id>-<creation time>.tmp") are its own.
class PackageFetcher {
 public:
  // What the controller hears of a fetch, on its thread. The progress operations come from
  // the download and from the unpacking (entries unpacked of the archive's total).
  class Delegate : public WininetDownloader::Delegate {
   public:
    // A FetcherStatus.
    virtual void NotifyStatusChanged(int32_t status) = 0;
  };

  // Fetches into |download_folder|. |stats| (the installer statistics), |ui_callback_runner|
  // (must not be null), |delegate| and |payload_reader| (may be null: no payload) are not
  // owned and must outlive the fetcher. |x64| asks for the 64-bit package; |suite| lets the
  // server's "suite" component through. The switches are read from |command_line|, the
  // process command line when null.
  PackageFetcher(const base::FilePath& download_folder,
                 Stats* stats,
                 UICallbackRunner* ui_callback_runner,
                 Delegate* delegate,
                 const PayloadReader* payload_reader,
                 bool x64,
                 bool suite,
                 const base::CommandLine* command_line = nullptr);
  PackageFetcher(const PackageFetcher&) = delete;
  PackageFetcher& operator=(const PackageFetcher&) = delete;
  ~PackageFetcher();

  // Begins a fetch.
  void Start();
  // Begins the fetch again after a failure. False, doing nothing, once three fetches have
  // failed.
  bool Retry();

  // Where the package is unpacked: the folder that will hold its "installer.exe".
  base::FilePath GetExtractionFolder() const;
  // Where the "suite" component goes; empty without |suite|.
  base::FilePath GetSuiteFolder() const;

 private:
  const base::FilePath package_path_;
  const base::FilePath suite_path_;
  const base::scoped_refptr<FetcherDelegateProxy> proxy_;
  // Deleted on the worker thread.
  std::unique_ptr<PackageFetcherCore> core_;
  base::Thread worker_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
