#include "desktop/windows/installer/wininet/stats.h"

#include <windows.h>

#include <limits>
#include <unordered_map>
#include <utility>

#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/values.h"

namespace installer {

namespace {

constexpr uint64_t kRootRecord = 0;
// The record of a view made from a view whose record was gone: never handed out.
constexpr uint64_t kNoRecord = UINT64_MAX;

}  // namespace

// What a root and all of its views share.
class Stats::Root : public base::RefCountedThreadSafe<Root> {
 public:
  explicit Root(UICallbackRunner* ui_callback_runner) : ui_callback_runner(ui_callback_runner) {}

  base::Lock lock;
  // The records that views write into, by id; a record leaves when it is destroyed. Under
  // |lock|. Declared before |dictionary|, which holds the records, so that it outlives them.
  std::unordered_map<uint64_t, base::DictionaryValue*> records;
  uint64_t last_record_id = kRootRecord;  // Under |lock|.
  base::DictionaryValue dictionary;       // Under |lock|.
  UICallbackRunner* const ui_callback_runner;

 private:
  friend class base::RefCountedThreadSafe<Root>;
  ~Root() = default;
};

// A dictionary appended to a list for a view. Ids are never used twice, so a view can tell
// its own record from one that took its place. Values change only under the root's lock
// (or while the root is destroyed), so the record comes and goes under it too.
class Stats::Record : public base::DictionaryValue {
 public:
  Record(Root* root, uint64_t id) : root_(root), id_(id) { root_->records[id_] = this; }
  ~Record() override { root_->records.erase(id_); }

 private:
  Root* const root_;
  const uint64_t id_;
};

Stats::Stats(UICallbackRunner* ui_callback_runner)
    : root_(base::MakeRefCounted<Root>(ui_callback_runner)), record_id_(kRootRecord) {}

Stats::Stats(base::scoped_refptr<Root> root, uint64_t record_id)
    : root_(std::move(root)), record_id_(record_id) {}

Stats::~Stats() = default;

base::DictionaryValue* Stats::GetDictionaryLocked() const {
  if (record_id_ == kRootRecord)
    return &root_->dictionary;
  const auto record = root_->records.find(record_id_);
  if (record == root_->records.end()) {
    VLOG(1) << "Statistics record " << record_id_ << " is gone";
    return nullptr;
  }
  return record->second;
}

void Stats::SetString(std::string_view key, std::string_view utf8) {
  base::AutoLock lock(root_->lock);
  if (base::DictionaryValue* dictionary = GetDictionaryLocked())
    dictionary->SetString(key, utf8);
}

void Stats::SetString(std::string_view key, std::wstring_view utf16) {
  base::AutoLock lock(root_->lock);
  if (base::DictionaryValue* dictionary = GetDictionaryLocked())
    dictionary->SetString(key, utf16);
}

void Stats::SetInteger(std::string_view key, int value) {
  base::AutoLock lock(root_->lock);
  if (base::DictionaryValue* dictionary = GetDictionaryLocked())
    dictionary->SetInteger(key, value);
}

void Stats::Increment(std::string_view key) {
  base::AutoLock lock(root_->lock);
  base::DictionaryValue* dictionary = GetDictionaryLocked();
  if (!dictionary)
    return;
  int value = 0;
  if (!dictionary->GetInteger(key, &value))
    value = 0;
  if (value < std::numeric_limits<int>::max())
    ++value;
  dictionary->SetInteger(key, value);
}

void Stats::Remove(std::string_view key) {
  base::AutoLock lock(root_->lock);
  if (base::DictionaryValue* dictionary = GetDictionaryLocked())
    dictionary->Remove(key, nullptr);
}

void Stats::SetTimestamp(std::string_view key) {
  const std::string time = FormatLocalTime();
  const int elapsed = GetMillisecondsSinceProcessStart();
  const std::string prefix(key);
  base::AutoLock lock(root_->lock);
  base::DictionaryValue* dictionary = GetDictionaryLocked();
  if (!dictionary)
    return;
  dictionary->SetString(prefix + ".time", time);
  dictionary->SetInteger(prefix + ".elapsed", elapsed);
}

void Stats::SetTimeString(std::string_view key) {
  const std::string time = FormatLocalTime();
  base::AutoLock lock(root_->lock);
  if (base::DictionaryValue* dictionary = GetDictionaryLocked())
    dictionary->SetString(key, time);
}

std::unique_ptr<Stats> Stats::AppendToList(std::string_view key) {
  uint64_t record_id = kNoRecord;
  {
    base::AutoLock lock(root_->lock);
    // A view whose record is gone hands out views of nothing.
    if (base::DictionaryValue* dictionary = GetDictionaryLocked()) {
      base::ListValue* list = nullptr;
      if (!dictionary->GetList(key, &list)) {
        list = static_cast<base::ListValue*>(
            dictionary->Set(key, std::make_unique<base::ListValue>()));
      }
      record_id = ++root_->last_record_id;
      list->Append(std::make_unique<Record>(root_.get(), record_id));
    }
  }
  return std::unique_ptr<Stats>(new Stats(root_, record_id));
}

std::string Stats::ToJson() const {
  std::string json;
  base::AutoLock lock(root_->lock);
  const base::DictionaryValue* dictionary = GetDictionaryLocked();
  if (!dictionary || !base::JsonWriter::Write(*dictionary, &json))
    return "{}";
  return json;
}

UICallbackRunner* Stats::ui_callback_runner() const {
  return root_->ui_callback_runner;
}

// static
std::string Stats::FormatLocalTime() {
  base::Time::Exploded now;
  base::Time::Now().Explode(true, &now);
  return base::StringPrintf("%02d-%02d-%02d %02d:%02d:%02d.%03d", now.year, now.month,
                            now.day_of_month, now.hour, now.minute, now.second,
                            now.millisecond);
}

// static
int Stats::GetMillisecondsSinceProcessStart() {
  FILETIME creation_time = {};
  FILETIME exit_time = {};
  FILETIME kernel_time = {};
  FILETIME user_time = {};
  if (!::GetProcessTimes(::GetCurrentProcess(), &creation_time, &exit_time, &kernel_time,
                         &user_time)) {
    PLOG(ERROR) << "GetProcessTimes failed";
    return 0;
  }
  const int64_t elapsed =
      (base::Time::Now() - base::Time::FromFileTime(creation_time)).InMilliseconds();
  if (elapsed < 0)
    return 0;
  if (elapsed > std::numeric_limits<int>::max())
    return std::numeric_limits<int>::max();
  return static_cast<int>(elapsed);
}

}  // namespace installer
