#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_CORE_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_CORE_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"

namespace base {
class ListValue;
class Value;
}  // namespace base

namespace installer {

class FetcherDelegateProxy;
class PayloadReader;
class Stats;

// The state and the steps of the package fetcher (see PackageFetcher). Made on the
// controller's thread; from its first task on it lives on the worker thread, which runs
// every step as a task of its own and deletes it. Only restart_count() may be called from
// another thread.
class PackageFetcherCore {
 public:
  // The paths are those of PackageFetcher; |suite_path| may be empty. |proxy| carries the
  // notifications; |payload_reader| (may be null) and |stats| must outlive the core.
  PackageFetcherCore(base::scoped_refptr<FetcherDelegateProxy> proxy,
                     const PayloadReader* payload_reader,
                     const base::FilePath& download_folder,
                     const base::FilePath& package_path,
                     const base::FilePath& suite_path,
                     std::wstring download_url_request_address,
                     Stats* stats);
  PackageFetcherCore(const PackageFetcherCore&) = delete;
  PackageFetcherCore& operator=(const PackageFetcherCore&) = delete;
  // Stops the work, detaches the proxy and removes the package and what was unpacked.
  ~PackageFetcherCore();

  // Begins a fetch from its first step, with a fresh fetch record. The downloads of all the
  // fetches of the core end within kFetchingTimeFactor times the downloader's duration
  // bound (20 minutes by default) from the first Start, each within that bound (the
  // download-URL reply within kMaxReplyDuration), whatever the servers do.
  void Start();

  static constexpr int kFetchingTimeFactor = 2;
  static constexpr base::TimeDelta kMaxReplyDuration = base::TimeDelta::FromMinutes(3);

  // The number of fetches that failed so far. Any thread.
  int restart_count() const;

  // Derived from the package and suite paths.
  base::FilePath GetExtractionFolder() const;
  base::FilePath GetArchivePath() const;
  base::FilePath GetSuiteFolder() const;

 private:
  // Posts |step| to this thread, bound to a weak pointer.
  void PostStep(const base::Location& from_here, void (PackageFetcherCore::*step)());

  void FetchDownloadUrl();
  void OnDownloadUrlFetched();
  void OnPackageDownloaded(const std::string& expected_checksum);
  // |payload| is that of the downloaded package, held since its checksum, which passed
  // every check; its archive was written out meanwhile when |archive_written|.
  void ExtractArchive(const PayloadReader& payload, bool archive_written);
  // Writes the 7z archive of |package| to the archive path and keeps it open for
  // UnpackArchive; false (nothing kept) when it cannot be written.
  bool WriteArchive(const PayloadReader& package);
  void UnpackArchive();
  // The welcome-page preference has been written.
  void OnWelcomePrefWritten();
  void OnArchiveUnpacked();
  void DownloadAdditionalFile();
  void OnAdditionalFileDownloaded(const std::string& filename,
                                  int archive,
                                  const std::string& checksum,
                                  const std::string& type);
  // Places the downloaded self-extracting archive of the component |type| in |target|,
  // checks it and runs it there. False when it failed its checksum (|checksum_failed| set:
  // the download may be tried again) or anything else; the reason is logged.
  bool PlaceComponentArchive(const base::FilePath& download,
                             const base::FilePath& target,
                             const std::string& type,
                             const std::string& checksum,
                             bool* checksum_failed);
  // What the component |type| that failed left in |target|: the whole folder for a folder of
  // its own, else its archive and its installer.
  void RemoveFailedComponent(const base::FilePath& target, const std::string& type);
  // The download of an additional file failed: tried again, or given up.
  void OnAdditionalFileFailed();
  void NextAdditionalFile();
  // Writes the names of the placed partner files into the package's "files_list".
  void AddExtraPackageFiles();

  // Bounds the next download by |bound| and by the time left to all fetches. False when
  // none is left: the fetch has then failed with |reason|.
  bool BoundNextDownload(base::TimeDelta bound, const std::string& reason);

  void NotifyPackageReady();
  // Ends the fetch with a failure |status| (6, 7 or 8).
  void ReportStatus(int32_t status);
  // Ends the fetch with |reason| and the downloader's status text as its failure.
  void FailFetch(const std::string& reason);
  // Logs |reason|, records it as the fetch's "failure_reason" and ends with |status|.
  void Fail(const std::string& reason, int32_t status);

  base::FilePath GetAdditionalDownloadPath() const;
  // Closes the held archive and removes it.
  void RemoveArchive();

  const base::scoped_refptr<FetcherDelegateProxy> proxy_;
  const PayloadReader* const payload_reader_;
  // Under |lock_|.
  int restart_count_ = 0;
  int additional_file_tries_ = 0;
  const base::FilePath download_folder_;
  const base::FilePath package_path_;
  const base::FilePath suite_path_;
  const std::wstring download_url_request_address_;
  WininetDownloader downloader_;
  // The downloader's bound for the package and the additional files; the download-URL
  // reply has a bound of its own.
  const int64_t max_download_size_;
  // The same for the duration, and when the time for all downloads ends (set by the first
  // Start).
  const base::TimeDelta max_download_duration_;
  base::TimeTicks fetching_deadline_;
  std::string reply_text_;
  // The archive, from when it is written until it is unpacked.
  base::File archive_file_;
  std::unique_ptr<base::Value> parsed_reply_;
  std::unique_ptr<base::ListValue> additional_files_;
  size_t additional_file_index_ = 0;
  // UTF-8 names of the partner files placed in the package, for its "files_list".
  std::vector<std::string> extra_package_files_;
  Stats* const stats_;
  std::unique_ptr<Stats> fetch_record_;
  std::unique_ptr<Stats> additional_file_record_;
  std::unique_ptr<Stats> try_record_;
  mutable base::Lock lock_;

  base::WeakPtrFactory<PackageFetcherCore> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_CORE_H_
