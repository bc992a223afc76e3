#include "desktop/windows/installer/package_fetcher/package_fetcher_core.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/files/file_without_links.h"
#include "base/json/json_file_reader.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/download_folder_claim.h"
#include "desktop/windows/installer/package_fetcher/archive_entry_name.h"
#include "desktop/windows/installer/package_fetcher/checksum_checker.h"
#include "desktop/windows/installer/package_fetcher/downloaded_version_check.h"
#include "desktop/windows/installer/package_fetcher/fetcher_delegate_proxy.h"
#include "desktop/windows/installer/package_fetcher/joining_thread.h"
#include "desktop/windows/installer/package_fetcher/lzma_util.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/package_fetcher/server_addresses.h"
#include "desktop/windows/installer/wininet/download_event_recorder.h"
#include "desktop/windows/installer/wininet/file_response_writer.h"
#include "desktop/windows/installer/wininet/memory_response_writer.h"
#include "desktop/windows/installer/wininet/stats.h"

namespace installer {

namespace {

constexpr char kPartnerContentType[] = "partner_content";
constexpr char kSuiteType[] = "suite";
constexpr wchar_t kFilesListName[] = L"files_list";
constexpr wchar_t kTrackingDataName[] = L"server_tracking_data";
constexpr wchar_t kInstallerPrefsIncludeName[] = L"installer_prefs_include.json";

// A file is tried this many times more after its first failure.
constexpr int kMaxAdditionalFileRetries = 3;
// A reply names a partner file or two and a suite; what a reply names beyond this is not
// fetched, so that a server cannot keep the fetch busy without end.
constexpr size_t kMaxAdditionalFiles = 16;

// Deleting a file mostly waits on the system: a few threads remove the unpacked package in
// a fraction of the time of one.
constexpr int kDeletionThreads = 4;

constexpr char kCleanFailed[] = "Unable to obtain or clean the download/extraction path";
constexpr char kUrlFetchFailed[] = "Failed fetching the download URL";
constexpr char kJsonFailed[] = "Failed parsing json reply";
constexpr char kDestinationFailed[] = "Failed initializing the file to use as download destination";
constexpr char kPackageDownloadFailed[] = "Failed downloading the Tavro package";
constexpr char kChecksumFailed[] = "Checksum incorrect for the downloaded package";
constexpr char kSignatureFailed[] = "Signature incorrect for the downloaded package";
constexpr char kVersionFailed[] = "Downloaded package failed version check";
constexpr char kWriteArchiveFailed[] = "Could not write out 7z archive from full package";
constexpr char kNoArchive[] = "Could not find 7z payload in full package";
constexpr char kUnpackFolderFailed[] = "Could not create unpacking folder";
constexpr char kUnpackFailed[] = "Archive unpacking failed";

// A name the server gives for a file placed in the package: one plain component that
// names an ordinary file in the folder it is joined to.
bool IsPlainFileName(std::wstring_view name) {
  for (wchar_t c : name) {
    if (base::FilePath::IsSeparator(c))
      return false;
  }
  return IsSafeArchiveEntryName(name);
}

}  // namespace

PackageFetcherCore::PackageFetcherCore(base::scoped_refptr<FetcherDelegateProxy> proxy,
                                       const PayloadReader* payload_reader,
                                       const base::FilePath& download_folder,
                                       const base::FilePath& package_path,
                                       const base::FilePath& suite_path,
                                       std::wstring download_url_request_address,
                                       Stats* stats)
    : proxy_(std::move(proxy)),
      payload_reader_(payload_reader),
      download_folder_(download_folder),
      package_path_(package_path),
      suite_path_(suite_path),
      download_url_request_address_(std::move(download_url_request_address)),
      downloader_(proxy_.get(), proxy_.get()),
      max_download_size_(downloader_.max_body_size()),
      max_download_duration_(downloader_.max_duration()),
      additional_files_(std::make_unique<base::ListValue>()),
      stats_(stats) {}

PackageFetcherCore::~PackageFetcherCore() {
  LOG(INFO) << "Terminating the package fetcher";
  proxy_->Detach();
  if (downloader_.state() != WininetDownloader::STATE_FAILED)
    downloader_.Stop();
  archive_file_.Close();
  const base::FilePath removed[] = {package_path_, GetArchivePath(), GetAdditionalDownloadPath()};
  for (const base::FilePath& path : removed) {
    if (!base::DeletePath(path, false))
      LOG(WARNING) << "Could not remove " << path;
  }
  if (!base::DeletePathOnThreads(GetExtractionFolder(), kDeletionThreads))
    LOG(WARNING) << "Could not remove " << GetExtractionFolder();
  if (!suite_path_.empty() && !base::DeletePath(GetSuiteFolder(), true))
    LOG(WARNING) << "Could not remove " << GetSuiteFolder();
  weak_factory_.InvalidateWeakPtrs();
}

int PackageFetcherCore::restart_count() const {
  base::AutoLock lock(lock_);
  return restart_count_;
}

base::FilePath PackageFetcherCore::GetExtractionFolder() const {
  return package_path_.RemoveExtension();
}

base::FilePath PackageFetcherCore::GetArchivePath() const {
  return GetExtractionFolder().AddExtension(L"7z");
}

base::FilePath PackageFetcherCore::GetSuiteFolder() const {
  return suite_path_.empty() ? base::FilePath() : suite_path_.RemoveExtension();
}

base::FilePath PackageFetcherCore::GetAdditionalDownloadPath() const {
  // Named for this process, as the package is: other front ends share the folder.
  return download_folder_.Append(L"additional_file_" + DownloadFolderClaim::MakeRunOwnerText() +
                                 L".tmp");
}

void PackageFetcherCore::PostStep(const base::Location& from_here,
                                  void (PackageFetcherCore::*step)()) {
  base::CurrentThreadTaskRunner::Get()->PostTask(
      from_here, base::BindMethod(step, weak_factory_.GetWeakPtr()));
}

void PackageFetcherCore::Start() {
  LOG(INFO) << "Starting the package fetcher";
  // A fetch that is started again drops whatever the one before left running.
  downloader_.Stop();
  weak_factory_.InvalidateWeakPtrs();
  try_record_.reset();
  additional_file_record_.reset();
  fetch_record_ = stats_->AppendToList("fetches");
  fetch_record_->SetInteger("try_number", restart_count());
  fetch_record_->SetTimestamp("start_time");
  if (fetching_deadline_.is_null())
    fetching_deadline_ = base::TimeTicks::Now() + max_download_duration_ * kFetchingTimeFactor;
  parsed_reply_.reset();
  additional_files_ = std::make_unique<base::ListValue>();
  extra_package_files_.clear();
  proxy_->NotifyStatusChanged(FETCHER_STARTED);

  // A suite folder of an earlier fetch would be handed to the backend as this one's.
  archive_file_.Close();
  if (!base::DeletePath(package_path_, false) || !base::DeletePath(GetArchivePath(), false) ||
      !base::DeletePath(GetExtractionFolder(), true) ||
      (!suite_path_.empty() && !base::DeletePath(GetSuiteFolder(), true))) {
    Fail(kCleanFailed, FETCHER_INITIALIZATION_FAILED);
    return;
  }

  if (!payload_reader_ || payload_reader_->type() != PayloadType::kFullPackage) {
    PostStep(FROM_HERE, &PackageFetcherCore::FetchDownloadUrl);
    return;
  }
  proxy_->NotifyStatusChanged(FETCHER_UNPACKING);
  // A payload that cannot be written out shows as an unpacking failure.
  if (!WriteArchive(*payload_reader_))
    LOG(ERROR) << "Could not write the installer's package to " << GetArchivePath();
  PostStep(FROM_HERE, &PackageFetcherCore::UnpackArchive);
}

void PackageFetcherCore::FetchDownloadUrl() {
  LOG(INFO) << "Preparing to fetch the download URL";
  proxy_->NotifyStatusChanged(FETCHER_REQUESTING_URL);
  // Only the request to the autoupdate server, and where it redirects, are restricted.
  downloader_.SetAllowedHosts(BuildAllowedHosts(ConfigDomainPlace::kFirst));
  downloader_.SetMaxBodySize(kMaxReplySize);
  if (!BoundNextDownload(kMaxReplyDuration, kUrlFetchFailed))
    return;
  LOG(INFO) << "Fetching the download URL";
  fetch_record_->SetTimestamp("fetch_download_url_start_time");
  reply_text_.clear();
  const std::string tracking_data = payload_reader_ ? payload_reader_->GetPayload() : std::string();
  if (!downloader_.Start(
          download_url_request_address_, tracking_data,
          base::BindMethod(&PackageFetcherCore::OnDownloadUrlFetched, weak_factory_.GetWeakPtr()),
          std::make_unique<MemoryResponseWriter>(&reply_text_),
          std::make_unique<DownloadErrorRecorder>(fetch_record_.get(), "fetch_download_url_"))) {
    FailFetch(kUrlFetchFailed);
  }
}

void PackageFetcherCore::OnDownloadUrlFetched() {
  if (downloader_.state() != WininetDownloader::STATE_FINISHED) {
    FailFetch(kUrlFetchFailed);
    return;
  }
  proxy_->NotifyStatusChanged(FETCHER_DOWNLOADING);
  VLOG(1) << "Parsing the fetched URL";
  parsed_reply_ = base::JsonReader::Read(reply_text_);
  const base::DictionaryValue* reply = nullptr;
  std::string installer_url;
  std::string checksum;
  if (!parsed_reply_ || !parsed_reply_->GetAsDictionary(&reply) ||
      !reply->GetString("installer", &installer_url) ||
      !reply->GetString("installer_checksum", &checksum)) {
    Fail(kJsonFailed, FETCHER_DOWNLOAD_FAILED);
    return;
  }
  fetch_record_->SetString("download_url", installer_url);
  stats_->SetString("download_url", installer_url);

  LOG(INFO) << "Preparing to fetch the installer";
  auto writer = std::make_unique<FileResponseWriter>();
  if (!writer->Open(package_path_)) {
    Fail(kDestinationFailed, FETCHER_DOWNLOAD_FAILED);
    return;
  }

  additional_files_ = std::make_unique<base::ListValue>();
  const base::ListValue* components = nullptr;
  size_t skipped_files = 0;
  if (reply->GetList("components", &components)) {
    for (const std::unique_ptr<base::Value>& component : *components) {
      const base::DictionaryValue* entry = nullptr;
      std::string type;
      if (!component->GetAsDictionary(&entry) || !entry->GetString("type", &type))
        continue;
      if (type != kPartnerContentType && (type != kSuiteType || suite_path_.empty()))
        continue;
      if (additional_files_->GetSize() < kMaxAdditionalFiles)
        additional_files_->Append(entry->CreateDeepCopy());
      else
        ++skipped_files;
    }
  }
  LOG_IF(WARNING, skipped_files != 0)
      << "Skipping " << skipped_files << " additional files beyond the first "
      << kMaxAdditionalFiles;

  fetch_record_->SetTimestamp("download_start_time");
  stats_->SetTimeString("installation_start_download_time");
  // The package itself may come from any host the server names.
  downloader_.SetAllowedHosts({});
  downloader_.SetMaxBodySize(max_download_size_);
  if (!BoundNextDownload(max_download_duration_, kPackageDownloadFailed))
    return;
  if (!downloader_.Start(
          base::Utf8ToUtf16(installer_url), std::string(),
          base::BindMethod(&PackageFetcherCore::OnPackageDownloaded, weak_factory_.GetWeakPtr(),
                           checksum),
          std::move(writer),
          std::make_unique<DownloadEventRecorder>(fetch_record_.get(), "download_chunks"))) {
    FailFetch(kPackageDownloadFailed);
  }
}

void PackageFetcherCore::OnPackageDownloaded(const std::string& expected_checksum) {
  fetch_record_->SetTimestamp("download_end_time");
  if (downloader_.state() != WininetDownloader::STATE_FINISHED) {
    FailFetch(kPackageDownloadFailed);
    return;
  }
  // Held from the checksum until its archive is written out and its version checked,
  // denying writes and deletion: the file that is run and unpacked below is the one checked.
  const base::File package(package_path_, base::File::FLAG_OPEN | base::File::FLAG_READ |
                                              base::File::FLAG_EXCLUSIVE_WRITE);
  if (!package.IsValid())
    ELOG(ERROR, package.error_details()) << "Cannot open the package " << package_path_;
  // The signer's check reads the whole package through the system's own hashing, the
  // longest of the checks: meanwhile this thread checks the checksum and writes out the
  // archive. Nothing of the package is run, and nothing unpacked, before every check passed.
  bool signer_verified = false;
  bool signer_checked = false;
  std::unique_ptr<PayloadReader> payload;
  bool checksum_verified = false;
  bool archive_written = false;
  {
    JoiningThread signer_check([this, &signer_verified]() {
      signer_verified = VerifyDownloadedSigner(package_path_);
    });
    signer_checked = signer_check.Start();
    checksum_verified = VerifyChecksum(package, package_path_, expected_checksum);
    if (checksum_verified) {
      payload = std::make_unique<PayloadReader>(package, package_path_);
      if (payload->type() == PayloadType::kFullPackage)
        archive_written = WriteArchive(*payload);
    }
  }
  if (checksum_verified && !signer_checked)
    signer_verified = VerifyDownloadedSigner(package_path_);
  if (!checksum_verified) {
    Fail(kChecksumFailed, FETCHER_DOWNLOAD_FAILED);
    return;
  }
  if (!signer_verified) {
    RemoveArchive();
    Fail(kSignatureFailed, FETCHER_DOWNLOAD_FAILED);
    return;
  }
  if (!CheckDownloadedVersion(package_path_, true, fetch_record_.get())) {
    RemoveArchive();
    Fail(kVersionFailed, FETCHER_DOWNLOAD_FAILED);
    return;
  }
  fetch_record_->SetTimestamp("extract_start_time");
  ExtractArchive(*payload, archive_written);
}

void PackageFetcherCore::ExtractArchive(const PayloadReader& payload, bool archive_written) {
  proxy_->NotifyStatusChanged(FETCHER_UNPACKING);
  if (payload.type() != PayloadType::kFullPackage) {
    Fail(kNoArchive, FETCHER_DOWNLOAD_FAILED);
    return;
  }
  if (!archive_written) {
    Fail(kWriteArchiveFailed, FETCHER_UNPACKING_FAILED);
    return;
  }
  PostStep(FROM_HERE, &PackageFetcherCore::UnpackArchive);
}

bool PackageFetcherCore::WriteArchive(const PayloadReader& package) {
  // Kept open, denying writes and deletion, until it is unpacked. Made anew through no
  // link: its folder is one its user may change.
  archive_file_ = base::File(base::CreateNewWithoutLinks(
      GetArchivePath(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ));
  if (!archive_file_.IsValid()) {
    if (archive_file_.error_details() == ERROR_CANT_ACCESS_FILE)
      LOG(ERROR) << "A link was found at " << GetArchivePath() << "; nothing is written through it";
    ELOG(ERROR, archive_file_.error_details()) << "Cannot create " << GetArchivePath();
    return false;
  }
  if (!package.WritePayload(&archive_file_, GetArchivePath())) {
    archive_file_.Close();
    return false;
  }
  return true;
}

void PackageFetcherCore::RemoveArchive() {
  archive_file_.Close();
  if (!base::DeletePath(GetArchivePath(), false))
    LOG(WARNING) << "Could not remove " << GetArchivePath();
}

void PackageFetcherCore::UnpackArchive() {
  LOG(INFO) << "Unpacking files from archive";
  fetch_record_->SetTimestamp("unpack_start_time");
  stats_->SetTimeString("installation_start_unpacking_time");
  const base::FilePath extraction_folder = GetExtractionFolder();
  // Made in the download folder through no link: its user may change that folder.
  if (!base::MakeFolderWithoutLinks(extraction_folder).IsValid()) {
    if (::GetLastError() == ERROR_CANT_ACCESS_FILE)
      LOG(ERROR) << "A link was found at " << extraction_folder << "; nothing is written through it";
    Fail(kUnpackFolderFailed, FETCHER_UNPACKING_FAILED);
    return;
  }
  {
    LzmaUtil archive;
    archive.set_delegate(proxy_.get());
    DWORD result = archive.OpenArchive(archive_file_.Duplicate());
    if (result == 0)
      result = archive.UnPack(extraction_folder, nullptr);
    if (result != 0) {
      LOG(ERROR) << "Unpacking " << GetArchivePath() << " ended with " << result << ", status "
                 << archive.status();
      archive_file_.Close();
      Fail(kUnpackFailed, FETCHER_UNPACKING_FAILED);
      return;
    }
  }
  if (payload_reader_ && payload_reader_->type() != PayloadType::kFullPackage &&
      !payload_reader_->GetPayload().empty() &&
      !payload_reader_->WritePayload(extraction_folder.Append(kTrackingDataName))) {
    LOG(WARNING) << "Failed saving tracking data to unpacked installer.";
  }
  PostStep(FROM_HERE, &PackageFetcherCore::OnArchiveUnpacked);
  RemoveArchive();
}

void PackageFetcherCore::OnArchiveUnpacked() {
  fetch_record_->SetTimestamp("unpack_end_time");
  stats_->SetTimeString("installation_unpack_complete_time");
  const base::DictionaryValue* reply = nullptr;
  std::string welcome_url;
  if (!parsed_reply_ || !parsed_reply_->GetAsDictionary(&reply) ||
      !reply->GetString("url_welcome", &welcome_url)) {
    OnWelcomePrefWritten();
    return;
  }
  VLOG(1) << "Writing welcome page url pref";
  // The package's own file, when it has one, with the server's page added. It is written
  // anew through no link, as everything in the download folder is: the folder is its
  // user's, and an installer run as administrator writes here too.
  const base::FilePath prefs_path = GetExtractionFolder().Append(kInstallerPrefsIncludeName);
  std::unique_ptr<base::DictionaryValue> prefs =
      base::DictionaryValue::From(base::JsonFileReader(prefs_path).Deserialize(nullptr, nullptr));
  if (!prefs)
    prefs = std::make_unique<base::DictionaryValue>();
  prefs->SetString("welcome-url", welcome_url);
  std::string json;
  const base::win::ScopedHandle file =
      base::JsonWriter::Write(*prefs, &json) ? base::CreateNewWithoutLinks(prefs_path)
                                             : base::win::ScopedHandle();
  DWORD written = 0;
  if (!file.IsValid() ||
      !::WriteFile(file.Get(), json.data(), static_cast<DWORD>(json.size()), &written, nullptr) ||
      written != json.size()) {
    LOG(ERROR) << "Could not write the welcome page preference to " << prefs_path;
  }
  OnWelcomePrefWritten();
}

void PackageFetcherCore::OnWelcomePrefWritten() {
  if (additional_files_->empty()) {
    NotifyPackageReady();
    return;
  }
  LOG(INFO) << "We have additional content";
  additional_file_index_ = 0;
  additional_file_tries_ = 0;
  additional_file_record_ = fetch_record_->AppendToList("addtional_files");
  proxy_->NotifyStatusChanged(FETCHER_ADDITIONAL_FILES);
  DownloadAdditionalFile();
}

void PackageFetcherCore::DownloadAdditionalFile() {
  LOG(INFO) << "Preparing to download an additional file";
  const base::DictionaryValue* entry = nullptr;
  std::string location;
  std::string type;
  int archive = 0;
  std::string checksum;
  std::string filename;
  if (!additional_files_->GetDictionary(additional_file_index_, &entry) ||
      !entry->GetString("location", &location) || !entry->GetString("type", &type) ||
      !entry->GetInteger("archive", &archive) || !entry->GetStringASCII("checksum", &checksum) ||
      (archive == 0 && !entry->GetString("filename", &filename))) {
    LOG(ERROR) << "Failed parsing additional file part of JSON reply";
    NextAdditionalFile();
    return;
  }
  // The name is joined to the package folder: it must not lead anywhere else.
  if (archive == 0 && !IsPlainFileName(base::Utf8ToUtf16(filename))) {
    LOG(ERROR) << "Refusing the additional file name \"" << filename << "\"";
    NextAdditionalFile();
    return;
  }

  additional_file_record_->SetString("download_url", location);
  additional_file_record_->SetInteger("download_succeeded", 0);
  try_record_ = additional_file_record_->AppendToList("download_tries");
  try_record_->SetTimestamp("download_start_time");
  try_record_->SetInteger("try_number", additional_file_tries_);

  auto writer = std::make_unique<FileResponseWriter>();
  if (!writer->Open(GetAdditionalDownloadPath())) {
    LOG(ERROR) << kDestinationFailed;
    NotifyPackageReady();
    return;
  }
  const base::TimeDelta left = fetching_deadline_ - base::TimeTicks::Now();
  if (left <= base::TimeDelta()) {
    // The package is there: it is installed without the files left.
    LOG(ERROR) << "No time is left for the additional files";
    NotifyPackageReady();
    return;
  }
  downloader_.SetMaxDuration(std::min(max_download_duration_, left));
  if (!downloader_.Start(
          base::Utf8ToUtf16(location), std::string(),
          base::BindMethod(&PackageFetcherCore::OnAdditionalFileDownloaded,
                           weak_factory_.GetWeakPtr(), filename, archive, checksum, type),
          std::move(writer), std::make_unique<DownloadErrorRecorder>(try_record_.get(), ""))) {
    LOG(ERROR) << "Failed downloading additional file";
    NextAdditionalFile();
  }
}

void PackageFetcherCore::OnAdditionalFileDownloaded(const std::string& filename,
                                                    int archive,
                                                    const std::string& checksum,
                                                    const std::string& type) {
  try_record_->SetTimestamp("download_end_time");
  const base::FilePath download = GetAdditionalDownloadPath();
  if (downloader_.state() != WininetDownloader::STATE_FINISHED) {
    OnAdditionalFileFailed();
    return;
  }

  const bool partner_content = type == kPartnerContentType;
  const base::FilePath target = partner_content ? GetExtractionFolder() : GetSuiteFolder();
  if (archive == 0) {
    // Held from its checksum until it is in place, denying writes, deletion and renaming:
    // the file placed in the package is the one checked.
    base::File held(download, base::File::FLAG_OPEN | base::File::FLAG_READ |
                                  base::File::FLAG_EXCLUSIVE_WRITE | base::File::FLAG_CAN_RENAME);
    if (!held.IsValid())
      ELOG(ERROR, held.error_details()) << "Cannot open " << download;
    if (!VerifyChecksum(held, download, checksum)) {
      held.Close();
      OnAdditionalFileFailed();
      return;
    }
    // Never over a file of the package: only new files join it. The download folder holds
    // the package folder: one volume.
    const base::FilePath placed = target.Append(base::Utf8ToUtf16(filename));
    // The package folder held as no link while the file moves in: a link there would move
    // it anywhere.
    const base::win::ScopedHandle target_held = base::HoldFolderWithoutLinks(target);
    if (!target_held.IsValid() || !held.Rename(placed)) {
      LOG(ERROR) << "Failed moving additional file into place";
      held.Close();
      base::DeletePath(download, false);
      NextAdditionalFile();
      return;
    }
  } else {
    bool checksum_failed = false;
    if (!PlaceComponentArchive(download, target, type, checksum, &checksum_failed)) {
      base::DeletePath(download, false);
      RemoveFailedComponent(target, type);
      if (checksum_failed)
        OnAdditionalFileFailed();
      else
        NextAdditionalFile();
      return;
    }
  }

  additional_file_record_->SetInteger("download_succeeded", 1);
  // Only a plain file placed in the package is one of its files; an archive's name is not.
  if (partner_content && archive == 0)
    extra_package_files_.push_back(filename);
  NextAdditionalFile();
}

void PackageFetcherCore::OnAdditionalFileFailed() {
  LOG(ERROR) << "Failed downloading partner content";
  base::DeletePath(GetAdditionalDownloadPath(), false);
  // A download the downloader already retried on its own is not tried again.
  if (additional_file_tries_++ >= kMaxAdditionalFileRetries || downloader_.retry_count() != 0) {
    LOG(INFO) << "Giving up downloading this file";
    // A server that kept failing, or made no progress, for the downloader's whole stall limit
    // would cost as much for each file after: the package goes on without them.
    if (downloader_.ran_out_of_retries()) {
      LOG(WARNING) << "Skipping the remaining additional files: the server makes no progress";
      additional_file_index_ = additional_files_->GetSize() - 1;
    }
    NextAdditionalFile();
  } else {
    LOG(INFO) << "Retrying additional file download";
    DownloadAdditionalFile();
  }
}

bool PackageFetcherCore::PlaceComponentArchive(const base::FilePath& download,
                                               const base::FilePath& target,
                                               const std::string& type,
                                               const std::string& checksum,
                                               bool* checksum_failed) {
  // Made and held through no link while the archive moves in: the download folder holding
  // it is one its user may change.
  const base::win::ScopedHandle target_held = base::MakeFolderWithoutLinks(target);
  if (!target_held.IsValid()) {
    LOG(ERROR) << "Could not create unpacking folder for additional file";
    return false;
  }
  const base::FilePath sfx = target.AppendASCII(type + "_sfx.exe");
  if (!base::MovePath(download, sfx)) {
    LOG(ERROR) << "Failed moving additional component SFX into place";
    return false;
  }
  {
    // Held from the checksum until it has run, denying writes and deletion: the program
    // started is the one checked.
    const base::File held(sfx, base::File::FLAG_OPEN | base::File::FLAG_READ |
                                   base::File::FLAG_EXCLUSIVE_WRITE);
    if (!held.IsValid())
      ELOG(ERROR, held.error_details()) << "Cannot open " << sfx;
    if (!VerifyChecksum(held, sfx, checksum)) {
      *checksum_failed = true;
      return false;
    }
    if (!VerifyDownloadedSigner(sfx))
      return false;
    // It unpacks into its working folder: its own, not the front end's.
    base::LaunchOptions options;
    options.current_directory = target;
    const base::Process process = base::LaunchProcess(base::CommandLine(sfx), options);
    if (!process.IsValid()) {
      LOG(ERROR) << "Failed starting SFX archive";
      return false;
    }
    DWORD exit_code = 0;
    if (!process.WaitForExit(&exit_code) || exit_code != 0) {
      LOG(ERROR) << "Failed extracting SFX archive";
      return false;
    }
  }
  base::FilePath component_installer = target.AppendASCII(type + "_installer.exe");
  if (type == kSuiteType && !base::PathExists(component_installer))
    component_installer = target.Append(L"assistant_installer.exe");
  if (!CheckDownloadedVersion(component_installer, false, additional_file_record_.get())) {
    LOG(ERROR) << "Component version didn't pass check";
    return false;
  }
  if (!base::DeletePath(sfx, false))
    LOG(WARNING) << "Could not remove " << sfx;
  return true;
}

void PackageFetcherCore::RemoveFailedComponent(const base::FilePath& target,
                                               const std::string& type) {
  // Only a component that was placed whole is handed to the backend.
  if (target == GetSuiteFolder()) {
    if (!base::DeletePath(target, true))
      LOG(WARNING) << "Could not remove " << target;
    return;
  }
  for (const char* suffix : {"_sfx.exe", "_installer.exe"}) {
    const base::FilePath file = target.AppendASCII(type + suffix);
    if (!base::DeletePath(file, false))
      LOG(WARNING) << "Could not remove " << file;
  }
}

void PackageFetcherCore::NextAdditionalFile() {
  ++additional_file_index_;
  // Each file has its own tries.
  additional_file_tries_ = 0;
  if (additional_file_index_ >= additional_files_->GetSize()) {
    AddExtraPackageFiles();
    NotifyPackageReady();
    return;
  }
  additional_file_record_ = fetch_record_->AppendToList("addtional_files");
  PostStep(FROM_HERE, &PackageFetcherCore::DownloadAdditionalFile);
}

void PackageFetcherCore::AddExtraPackageFiles() {
  if (extra_package_files_.empty())
    return;
  // The list's last line may lack its line break.
  std::string lines = "\r\n";
  for (const std::string& name : extra_package_files_)
    lines += name + "\r\n";
  // Appended to only as a file of one name in a folder that is no link: a user may have
  // put another name of any file in its place since the unpacking.
  const base::win::ScopedHandle list =
      base::OpenForAppendingWithoutLinks(GetExtractionFolder().Append(kFilesListName));
  DWORD written = 0;
  if (!list.IsValid() ||
      !::WriteFile(list.Get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) ||
      written != lines.size()) {
    LOG(ERROR) << "Could not add the additional files to the package's files list";
  }
}

void PackageFetcherCore::NotifyPackageReady() {
  fetch_record_->SetTimestamp("package_ready_time");
  LOG(INFO) << "Package ready.";
  stats_->SetTimeString("package_ready_time");
  fetch_record_->SetString("result", GetFetcherStatusName(FETCHER_PACKAGE_READY));
  proxy_->NotifyStatusChanged(FETCHER_PACKAGE_READY);
}

void PackageFetcherCore::ReportStatus(int32_t status) {
  {
    base::AutoLock lock(lock_);
    ++restart_count_;
    stats_->SetInteger("fetcher_restarts", restart_count_);
  }
  fetch_record_->SetString("result", GetFetcherStatusName(status));
  proxy_->NotifyStatusChanged(status);
}

bool PackageFetcherCore::BoundNextDownload(base::TimeDelta bound, const std::string& reason) {
  const base::TimeDelta left = fetching_deadline_ - base::TimeTicks::Now();
  if (left <= base::TimeDelta()) {
    Fail(reason + "\nThe downloads of this run took the " +
             std::to_string((max_download_duration_ * kFetchingTimeFactor).InMilliseconds()) +
             " ms they are allowed",
         FETCHER_DOWNLOAD_FAILED);
    return false;
  }
  downloader_.SetMaxDuration(std::min(bound, left));
  return true;
}

void PackageFetcherCore::FailFetch(const std::string& reason) {
  Fail(reason + "\n" + downloader_.GetStatusText(), FETCHER_DOWNLOAD_FAILED);
}

void PackageFetcherCore::Fail(const std::string& reason, int32_t status) {
  LOG(ERROR) << reason;
  fetch_record_->SetString("failure_reason", reason);
  ReportStatus(status);
}

}  // namespace installer
