#include "desktop/windows/installer/service/transactions/undo_journal.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/values.h"
#include "base/win/scoped_local_alloc.h"
#include "desktop/windows/installer/service/transactions/journal_trust.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

const wchar_t kUndoJournalFileName[] = L"installation_undo.journal";

namespace {

// More than any run writes (a record holds at most a preference or status file).
constexpr int64_t kMaxJournalSize = 256 * 1024 * 1024;
constexpr DWORD kHeldRetryMs = 50;

// Opens the journal for writing, shared for reading only; one that is made anew gets the
// journal's own access list, and |created| (may be null) tells so.
base::win::ScopedHandle OpenJournalFile(const base::FilePath& path,
                                        DWORD disposition,
                                        bool* created = nullptr) {
  base::win::ScopedLocalAlloc security;
  if (disposition != OPEN_EXISTING) {
    JournalReader writer;
    if (writer.Init())
      security = MakeJournalSecurity(writer);
    if (!security.IsValid()) {
      ::SetLastError(ERROR_INVALID_SECURITY_DESCR);
      return base::win::ScopedHandle();
    }
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), security.Get(), FALSE};
  const HANDLE file = ::CreateFileW(path.value().c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ, security.IsValid() ? &attributes : nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = ::GetLastError();
  if (created)
    *created = file != INVALID_HANDLE_VALUE && disposition != OPEN_EXISTING &&
               error != ERROR_ALREADY_EXISTS;
  base::win::ScopedHandle owned(file);
  ::SetLastError(error);
  return owned;
}

// The folder that holds a journal, for a look at its security.
base::win::ScopedHandle OpenJournalFolder(const base::FilePath& folder) {
  return base::win::ScopedHandle(::CreateFileW(
      folder.value().c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool IsHeldError(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

UndoJournal::UndoJournal(const base::FilePath& folder, base::win::ScopedHandle file)
    : folder_(folder), path_(folder.Append(kUndoJournalFileName)), file_(std::move(file)) {}

UndoJournal::~UndoJournal() = default;

// static
std::unique_ptr<UndoJournal> UndoJournal::OpenForRun(
    const base::FilePath& folder,
    base::TimeDelta wait,
    const undo_record::RegistryKeyFilter& registry_keys,
    OpenResult* result) {
  const base::FilePath path = folder.Append(kUndoJournalFileName);
  const base::TimeTicks deadline = base::TimeTicks::Now() + wait;
  bool created = false;
  base::win::ScopedHandle file = OpenJournalFile(path, OPEN_ALWAYS, &created);
  // Another run's, or a recovery under way in another process: it is let go soon.
  while (!file.IsValid() && IsHeldError(::GetLastError()) && base::TimeTicks::Now() < deadline) {
    ::Sleep(kHeldRetryMs);
    file = OpenJournalFile(path, OPEN_ALWAYS, &created);
  }
  if (!file.IsValid()) {
    const DWORD error = ::GetLastError();
    ELOG(ERROR, error) << "Cannot open the undo journal " << path;
    *result = IsHeldError(error) ? OpenResult::kHeld : OpenResult::kFailed;
    return nullptr;
  }
  std::unique_ptr<UndoJournal> journal(new UndoJournal(folder, std::move(file)));
  if (created && !journal->WriteStart()) {
    *result = OpenResult::kFailed;
    return nullptr;
  }
  bool had_records = false;
  bool unreadable = false;
  if (!journal->Recover(true, registry_keys, RecoveryPurpose::kRun, &had_records, &unreadable)) {
    *result = unreadable    ? OpenResult::kUnreadable
              : had_records ? OpenResult::kUndoFailed
                            : OpenResult::kFailed;
    return nullptr;
  }
  *result = had_records ? OpenResult::kRecovered : OpenResult::kOpened;
  return journal;
}

bool UndoJournal::Append(const base::DictionaryValue& record) {
  std::string line;
  if (!base::JsonWriter::Write(record, &line)) {
    LOG(ERROR) << "Cannot write an undo record";
    return false;
  }
  line.push_back('\n');
  if (!WriteAt(end_, line)) {
    // Nothing of a record cut short may stay.
    SetEnd(end_);
    return false;
  }
  offsets_.push_back(end_);
  end_ += static_cast<int64_t>(line.size());
  const base::FilePath created = undo_record::GetCreatedFolder(record);
  if (!created.empty() && folder_.IsParent(created))
    created_folders_.emplace_back(offsets_.size() - 1, created);
  return true;
}

bool UndoJournal::CoversNewFile(const base::FilePath& path) const {
  for (const auto& [index, folder] : created_folders_) {
    if (folder.IsParent(path))
      return true;
  }
  return false;
}

void UndoJournal::TruncateTo(size_t size) {
  if (size >= offsets_.size())
    return;
  if (!SetEnd(offsets_[size]))
    return;
  end_ = offsets_[size];
  offsets_.resize(size);
  while (!created_folders_.empty() && created_folders_.back().first >= size)
    created_folders_.pop_back();
  if (point_of_no_return_ != kNone && point_of_no_return_ >= size)
    point_of_no_return_ = kNone;
}

bool UndoJournal::MarkPointOfNoReturn() {
  if (passed_point_of_no_return())
    return true;
  if (!Append(*undo_record::PointOfNoReturn()))
    return false;
  point_of_no_return_ = offsets_.size() - 1;
  return true;
}

void UndoJournal::RevokePointOfNoReturn() {
  if (!passed_point_of_no_return())
    return;
  // Overwritten in place with a record of the same length that undoes nothing, so that
  // the records after it stay as they are.
  const int64_t start = offsets_[point_of_no_return_];
  const int64_t next = point_of_no_return_ + 1 < offsets_.size()
                           ? offsets_[point_of_no_return_ + 1]
                           : end_;
  if (WriteAt(start, undo_record::RevokedPointOfNoReturnLine(static_cast<size_t>(next - start))))
    point_of_no_return_ = kNone;
}

bool UndoJournal::WriteStart() {
  std::string line;
  if (!base::JsonWriter::Write(*undo_record::JournalStart(), &line))
    return false;
  line.push_back('\n');
  if (!WriteAt(0, line))
    return false;
  start_end_ = end_ = static_cast<int64_t>(line.size());
  return true;
}

void UndoJournal::Discard() {
  if (!file_.IsValid())
    return;
  // Cut to its first line first: a journal that could not be deleted holds nothing to undo.
  SetEnd(start_end_);
  offsets_.clear();
  created_folders_.clear();
  end_ = start_end_;
  point_of_no_return_ = kNone;
  file_.Close();
  if (!::DeleteFileW(path_.value().c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND)
    PLOG(ERROR) << "Cannot delete the undo journal " << path_;
}

UndoJournal::LoadResult UndoJournal::Load(
    std::vector<std::unique_ptr<base::DictionaryValue>>* records,
    bool cut_torn_end) {
  LARGE_INTEGER size = {};
  const LARGE_INTEGER start_of_file = {};
  if (!::GetFileSizeEx(file_.Get(), &size) ||
      !::SetFilePointerEx(file_.Get(), start_of_file, nullptr, FILE_BEGIN)) {
    PLOG(ERROR) << "Cannot read the undo journal " << path_;
    return LoadResult::kFailed;
  }
  if (size.QuadPart > kMaxJournalSize) {
    LOG(ERROR) << "The undo journal " << path_ << " is too large to be one";
    return LoadResult::kUnreadable;
  }
  std::string text(static_cast<size_t>(size.QuadPart), '\0');
  size_t read = 0;
  while (read < text.size()) {
    DWORD chunk = 0;
    if (!::ReadFile(file_.Get(), &text[read], static_cast<DWORD>(text.size() - read), &chunk,
                    nullptr)) {
      PLOG(ERROR) << "Cannot read the undo journal " << path_;
      return LoadResult::kFailed;
    }
    if (chunk == 0)
      break;
    read += chunk;
  }
  text.resize(read);
  offsets_.clear();
  start_end_ = 0;
  // Every journal starts with its first line as it is made: one that holds nothing at all
  // was emptied by something else, and what it held is unknown.
  if (text.empty()) {
    LOG(ERROR) << "The undo journal " << path_ << " was emptied";
    return LoadResult::kUnreadable;
  }
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos;
       start = end + 1, end = text.find('\n', start)) {
    std::unique_ptr<base::DictionaryValue> record = base::DictionaryValue::From(
        base::JsonReader::Read(std::string_view(text).substr(start, end - start)));
    if (record && start == 0 && undo_record::IsJournalStart(*record)) {
      start_end_ = static_cast<int64_t>(end + 1);
      continue;
    }
    if (!record) {
      // Only the last line can be a write cut short: a line that does not read before
      // others leaves the journal unknown (it was damaged or written by someone else).
      if (end + 1 < text.size()) {
        LOG(ERROR) << "The undo journal " << path_ << " cannot be read whole";
        records->clear();
        offsets_.clear();
        point_of_no_return_ = kNone;
        return LoadResult::kUnreadable;
      }
      break;
    }
    offsets_.push_back(static_cast<int64_t>(start));
    if (undo_record::IsPointOfNoReturn(*record))
      point_of_no_return_ = records->size();
    records->push_back(std::move(record));
  }
  end_ = static_cast<int64_t>(start);
  if (start < text.size() && cut_torn_end) {
    LOG(WARNING) << "Cutting off the unfinished end of the undo journal " << path_;
    return SetEnd(end_) ? LoadResult::kRead : LoadResult::kFailed;
  }
  return LoadResult::kRead;
}

bool UndoJournal::Recover(bool keep_own_folder,
                          const undo_record::RegistryKeyFilter& registry_keys,
                          RecoveryPurpose purpose,
                          bool* had_records,
                          bool* unreadable) {
  std::vector<std::unique_ptr<base::DictionaryValue>> records;
  const LoadResult loaded = Load(&records);
  *unreadable = loaded == LoadResult::kUnreadable;
  if (loaded != LoadResult::kRead)
    return false;
  *had_records = !records.empty();
  if (records.empty()) {
    if (!keep_own_folder)
      Discard();
    return true;
  }
  // Checked on the handle that was read, which this process holds until it is done (the
  // folder's is let go at once: the undo may remove the folder).
  JournalReader reader;
  JournalTrust trust;
  {
    const base::win::ScopedHandle folder = OpenJournalFolder(folder_);
    if (!folder.IsValid())
      PLOG(WARNING) << "Cannot look at the security of " << folder_;
    else if (reader.Init())
      trust = CheckJournalTrust(file_.Get(), SE_FILE_OBJECT, folder.Get(), SE_FILE_OBJECT, reader);
  }
  if (!trust.may_replay) {
    LOG(WARNING) << "Keeping the undo journal " << path_
                 << " without replaying it: only its writer may";
    return false;
  }
  undo_record::UndoScope scope = undo_record::UndoScope::ForFolder(folder_, registry_keys);
  scope.user = reader.user_text();
  scope.journal_owned_by_user = trust.owned_by_reader;
  scope.run_programs = purpose == RecoveryPurpose::kRun;
  // The folders that hold the journal: created first by the run, undone last.
  size_t own_folders = 0;
  if (passed_point_of_no_return()) {
    LOG(INFO) << "Finishing an installation in " << folder_
              << " that was interrupted after its point of no return";
    for (const std::unique_ptr<base::DictionaryValue>& record : records)
      undo_record::Finish(*record, scope);
  } else {
    LOG(INFO) << "Undoing what an interrupted installation left in " << folder_;
    while (own_folders < records.size() &&
           undo_record::CreatedFolderOrAncestor(*records[own_folders], folder_)) {
      ++own_folders;
    }
    // Refused records stay, and so do those below them (undoing them again changes
    // nothing): the journal is only ever cut at its end.
    bool kept_refused = false;
    for (size_t i = records.size(); i > own_folders; --i) {
      const undo_record::UndoResult result = undo_record::Undo(*records[i - 1], scope);
      if (result == undo_record::UndoResult::kFailed) {
        LOG(ERROR) << "The undo of an interrupted installation in " << folder_
                   << " stops here; a later run takes it up again";
        return false;
      }
      // What names another's place is never acted on, and never holds up the rest.
      if (result == undo_record::UndoResult::kRefused) {
        LOG(WARNING) << "Keeping a refused undo record of the interrupted installation in "
                     << path_;
        kept_refused = true;
      }
      if (!kept_refused)
        TruncateTo(i - 1);
    }
    if (kept_refused)
      return false;
  }
  if (keep_own_folder) {
    TruncateTo(own_folders);
    return true;
  }
  Discard();
  for (size_t i = own_folders; i > 0; --i) {
    const base::FilePath folder = undo_record::GetCreatedFolder(*records[i - 1]);
    if (!::RemoveDirectoryW(folder.value().c_str()))
      PLOG(INFO) << "Keeping folder " << folder;
  }
  return true;
}

bool UndoJournal::WriteAt(int64_t offset, const std::string& text) {
  LARGE_INTEGER position = {};
  position.QuadPart = offset;
  DWORD written = 0;
  if (!::SetFilePointerEx(file_.Get(), position, nullptr, FILE_BEGIN) ||
      !::WriteFile(file_.Get(), text.data(), static_cast<DWORD>(text.size()), &written,
                   nullptr) ||
      written != text.size() || !::FlushFileBuffers(file_.Get())) {
    PLOG(ERROR) << "Cannot write the undo journal " << path_;
    return false;
  }
  return true;
}

bool UndoJournal::SetEnd(int64_t end) {
  LARGE_INTEGER position = {};
  position.QuadPart = end;
  if (!::SetFilePointerEx(file_.Get(), position, nullptr, FILE_BEGIN) ||
      !::SetEndOfFile(file_.Get()) || !::FlushFileBuffers(file_.Get())) {
    PLOG(ERROR) << "Cannot shorten the undo journal " << path_;
    return false;
  }
  return true;
}

RecoveryResult RecoverInterruptedRun(const base::FilePath& folder,
                                     const undo_record::RegistryKeyFilter& registry_keys,
                                     RecoveryPurpose purpose) {
  const base::FilePath path = folder.Append(kUndoJournalFileName);
  base::win::ScopedHandle file = OpenJournalFile(path, OPEN_EXISTING);
  if (!file.IsValid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return RecoveryResult::kNothing;
    // Held by a run, or not this process's to change: a run that may will take it up.
    ELOG(INFO, error) << "Not recovering the interrupted installation in " << folder;
    return RecoveryResult::kHeld;
  }
  UndoJournal journal(folder, std::move(file));
  bool had_records = false;
  bool unreadable = false;
  if (!journal.Recover(false, registry_keys, purpose, &had_records, &unreadable))
    return unreadable ? RecoveryResult::kUnreadable : RecoveryResult::kFailed;
  return had_records ? RecoveryResult::kRecovered : RecoveryResult::kNothing;
}

bool HasUndoJournal(const base::FilePath& folder) {
  return base::PathExists(folder.Append(kUndoJournalFileName));
}

bool HasUnreadableUndoJournal(const base::FilePath& folder) {
  const base::FilePath path = folder.Append(kUndoJournalFileName);
  // Read only, beside whoever holds it: a run under way writes whole lines.
  base::win::ScopedHandle file(::CreateFileW(path.value().c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid())
    return false;
  UndoJournal journal(folder, std::move(file));
  std::vector<std::unique_ptr<base::DictionaryValue>> records;
  return journal.Load(&records, false) == UndoJournal::LoadResult::kUnreadable;
}

}  // namespace installer
