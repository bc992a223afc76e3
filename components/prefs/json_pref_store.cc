#include "components/prefs/json_pref_store.h"

#include <windows.h>

#include <stdint.h>

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/json/json_error.h"
#include "base/json/json_file_reader.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/time/default_clock.h"
#include "base/values.h"

namespace {

// Where a corrupt file goes: beside it, under its whole name with this appended.
constexpr wchar_t kBadExtension[] = L"bad";

// The largest bucket count the histogram factory accepts, less one.
constexpr int32_t kMaxWriteCountSample = 16382;

// The file's name as a histogram name suffix.
std::string GetHistogramSuffix(const base::FilePath& path) {
  std::string suffix;
  base::ReplaceChars(path.BaseName().ToUtf8(), " ", "_", &suffix);
  return suffix;
}

void RecordReadSize(const base::FilePath& path) {
  int64_t size = 0;
  if (!base::GetFileSize(path, &size))
    return;
  base::HistogramBase* histogram = base::Histogram::FactoryGet(
      "Settings.JsonDataReadSizeKilobytes." + GetHistogramSuffix(path), 1, 10000, 50,
      base::HistogramBase::kUmaTargetedHistogramFlag);
  histogram->Add(
      static_cast<base::HistogramBase::Sample>(std::min<int64_t>(size / 1024, INT32_MAX)));
}

}  // namespace

JsonPrefStore::WriteCountHistogram::WriteCountHistogram(base::TimeDelta commit_interval,
                                                        const base::FilePath& path)
    : WriteCountHistogram(commit_interval,
                          path,
                          std::unique_ptr<base::Clock>(new base::DefaultClock),
                          nullptr) {}

JsonPrefStore::WriteCountHistogram::WriteCountHistogram(base::TimeDelta commit_interval,
                                                        const base::FilePath& path,
                                                        std::unique_ptr<base::Clock> clock,
                                                        base::HistogramBase* histogram)
    : commit_interval_(commit_interval),
      path_(path),
      clock_(std::move(clock)),
      histogram_(histogram),
      last_report_time_(clock_->Now()) {}

JsonPrefStore::WriteCountHistogram::~WriteCountHistogram() {
  ReportOutstandingWrites();
}

void JsonPrefStore::WriteCountHistogram::RecordWriteOccured() {
  ReportOutstandingWrites();
  ++writes_since_last_report_;
}

void JsonPrefStore::WriteCountHistogram::ReportOutstandingWrites() {
  const base::TimeDelta since_last_report = clock_->Now() - last_report_time_;
  if (since_last_report <= kReportInterval)
    return;

  base::HistogramBase* histogram = GetHistogram();
  histogram->Add(writes_since_last_report_);
  // The intervals after it passed without a write.
  const int64_t intervals = since_last_report.InMicroseconds() / kReportInterval.InMicroseconds();
  for (int64_t i = 1; i < intervals; ++i)
    histogram->Add(0);

  writes_since_last_report_ = 0;
  last_report_time_ += kReportInterval * intervals;
}

std::string JsonPrefStore::WriteCountHistogram::GetHistogramName() const {
  return "Settings.JsonDataWriteCount." + GetHistogramSuffix(path_);
}

base::HistogramBase* JsonPrefStore::WriteCountHistogram::GetHistogram() {
  if (!histogram_) {
    // At most one write per commit interval: the most an interval can count.
    int64_t max_value = kMaxWriteCountSample;
    if (commit_interval_ > base::TimeDelta()) {
      max_value = std::clamp<int64_t>(
          kReportInterval.InMicroseconds() / commit_interval_.InMicroseconds(), 2,
          kMaxWriteCountSample);
    }
    histogram_ = base::Histogram::FactoryGet(GetHistogramName(), 1,
                                             static_cast<int32_t>(max_value),
                                             static_cast<uint32_t>(max_value + 1),
                                             base::HistogramBase::kUmaTargetedHistogramFlag);
  }
  return histogram_;
}

// static
base::scoped_refptr<base::SequencedTaskRunner> JsonPrefStore::GetTaskRunnerForFile(
    const base::FilePath& path,
    base::SequencedWorkerPool* pool) {
  // One file, one sequence, however its path is spelt.
  std::wstring name = path.NormalizePathSeparators().value();
  if (!name.empty())
    ::CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
  return pool->GetSequencedTaskRunnerWithShutdownBehavior(
      pool->GetNamedSequenceToken(base::Utf16ToUtf8(name)),
      base::SequencedWorkerPool::BLOCK_SHUTDOWN);
}

JsonPrefStore::JsonPrefStore(const base::FilePath& path,
                             base::scoped_refptr<base::SequencedTaskRunner> file_task_runner)
    : path_(path),
      prefs_(new base::DictionaryValue),
      write_count_histogram_(base::ImportantFileWriter::kDefaultCommitInterval, path),
      writer_(path, std::move(file_task_runner)) {
  writer_.SetOnWriteCallback(base::BindMethod(&WriteCountHistogram::RecordWriteOccured,
                                              &write_count_histogram_));
}

JsonPrefStore::~JsonPrefStore() {
  CommitPendingWrite();
}

JsonPrefStore::PrefReadError JsonPrefStore::ReadPrefs() {
  return Read(true);
}

JsonPrefStore::PrefReadError JsonPrefStore::ReadPrefsWithoutChanges() {
  return Read(false);
}

JsonPrefStore::PrefReadError JsonPrefStore::Read(bool repair) {
  base::JsonErrorCode error_code = base::JSON_NO_ERROR;
  std::string error_message;
  std::unique_ptr<base::Value> value =
      base::JsonFileReader(path_).Deserialize(&error_code, &error_message);

  std::unique_ptr<base::DictionaryValue> prefs;
  read_error_ = PREF_READ_ERROR_NONE;
  if (value) {
    prefs = base::DictionaryValue::From(std::move(value));
    if (prefs) {
      RecordReadSize(path_);
    } else {
      LOG(ERROR) << "Preference file " << path_
                 << " does not hold a dictionary: it is left as it is";
      read_error_ = PREF_READ_ERROR_JSON_TYPE;
    }
  } else {
    switch (error_code) {
      case base::JSON_NO_SUCH_FILE:
        // A first run: there is no harm in creating the file.
        read_error_ = PREF_READ_ERROR_NO_FILE;
        break;
      case base::JSON_ACCESS_DENIED:
        read_error_ = PREF_READ_ERROR_ACCESS_DENIED;
        break;
      case base::JSON_CANNOT_READ_FILE:
        read_error_ = PREF_READ_ERROR_FILE_OTHER;
        break;
      default:
        LOG(ERROR) << "Preference file " << path_ << " is corrupt: " << error_message;
        read_error_ = repair ? MoveCorruptFileAside() : PREF_READ_ERROR_JSON_PARSE;
        break;
    }
  }
  // A file that is there but cannot be taken as preferences is never overwritten.
  read_only_ = !repair || read_error_ == PREF_READ_ERROR_JSON_TYPE ||
               read_error_ == PREF_READ_ERROR_ACCESS_DENIED ||
               read_error_ == PREF_READ_ERROR_FILE_OTHER ||
               read_error_ == PREF_READ_ERROR_FILE_NOT_MOVED;
  if (!prefs)
    prefs.reset(new base::DictionaryValue);
  prefs_ = std::move(prefs);
  initialized_ = true;
  observers_.ForEach([](Observer* observer) { observer->OnInitializationCompleted(true); });
  return read_error_;
}

JsonPrefStore::PrefReadError JsonPrefStore::MoveCorruptFileAside() {
  const base::FilePath bad_file = path_.AddExtension(kBadExtension);
  const bool bad_file_existed = base::PathExists(bad_file);
  if (!base::MovePath(path_, bad_file)) {
    PLOG(ERROR) << "Could not move the corrupt preference file " << path_ << " to " << bad_file
                << ": it is left as it is";
    return PREF_READ_ERROR_FILE_NOT_MOVED;
  }
  LOG(WARNING) << "Moved the corrupt preference file to " << bad_file;
  return bad_file_existed ? PREF_READ_ERROR_JSON_REPEAT : PREF_READ_ERROR_JSON_PARSE;
}

bool JsonPrefStore::GetValue(const std::string& key, const base::Value** result) const {
  const base::Value* value = nullptr;
  if (!prefs_->Get(key, &value))
    return false;
  if (result)
    *result = value;
  return true;
}

bool JsonPrefStore::GetMutableValue(const std::string& key, base::Value** result) {
  return prefs_->Get(key, result);
}

void JsonPrefStore::SetValue(const std::string& key,
                             std::unique_ptr<base::Value> value,
                             uint32_t flags) {
  if (StoreValue(key, std::move(value)))
    ReportValueChanged(key, flags);
}

void JsonPrefStore::SetValueSilently(const std::string& key,
                                     std::unique_ptr<base::Value> value,
                                     uint32_t flags) {
  if (StoreValue(key, std::move(value)))
    ScheduleWrite(flags);
}

void JsonPrefStore::RemoveValue(const std::string& key, uint32_t flags) {
  if (prefs_->Remove(key, nullptr))
    ReportValueChanged(key, flags);
}

void JsonPrefStore::ReportValueChanged(const std::string& key, uint32_t flags) {
  observers_.ForEach([&key](Observer* observer) { observer->OnPrefValueChanged(key); });
  ScheduleWrite(flags);
}

void JsonPrefStore::CommitPendingWrite() {
  SchedulePendingLossyWrites();
  if (writer_.HasPendingWrite() && !read_only_)
    writer_.DoScheduledWrite();
}

void JsonPrefStore::SchedulePendingLossyWrites() {
  if (pending_lossy_write_ && !read_only_)
    writer_.ScheduleWrite(this);
}

void JsonPrefStore::AddObserver(Observer* observer) {
  observers_.AddObserver(observer);
}

void JsonPrefStore::RemoveObserver(Observer* observer) {
  observers_.RemoveObserver(observer);
}

bool JsonPrefStore::HasObservers() const {
  return observers_.size() != 0;
}

bool JsonPrefStore::SerializeData(std::string* output) {
  pending_lossy_write_ = false;
  return base::JsonWriter::WriteWithOptions(*prefs_, base::JsonWriter::OPTIONS_PRETTY_PRINT,
                                            output);
}

bool JsonPrefStore::StoreValue(const std::string& key, std::unique_ptr<base::Value> value) {
  DCHECK(value);
  const base::Value* old_value = nullptr;
  if (prefs_->Get(key, &old_value) && value->Equals(old_value))
    return false;
  prefs_->Set(key, std::move(value));
  return true;
}

void JsonPrefStore::ScheduleWrite(uint32_t flags) {
  if (read_only_)
    return;
  if (flags & LOSSY_PREF_WRITE_FLAG)
    pending_lossy_write_ = true;
  else
    writer_.ScheduleWrite(this);
}
