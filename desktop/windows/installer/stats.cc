#include "desktop/windows/installer/stats.h"

#include <windows.h>

#include <limits>
#include <utility>

#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/values.h"

namespace installer {

// What a root and all of its views share.
class Stats::Root : public base::RefCountedThreadSafe<Root> {
 public:
  explicit Root(UICallbackRunner* ui_callback_runner) : ui_callback_runner(ui_callback_runner) {}

  base::Lock lock;
  base::DictionaryValue dictionary;  // Under |lock|.
  UICallbackRunner* const ui_callback_runner;

 private:
  friend class base::RefCountedThreadSafe<Root>;
  ~Root() = default;
};

Stats::Stats(UICallbackRunner* ui_callback_runner)
    : root_(base::MakeRefCounted<Root>(ui_callback_runner)) {}

Stats::Stats(base::scoped_refptr<Root> root, std::vector<ListEntry> path)
    : root_(std::move(root)), path_(std::move(path)) {}

Stats::~Stats() = default;

base::DictionaryValue* Stats::GetDictionaryLocked() const {
  base::DictionaryValue* dictionary = &root_->dictionary;
  for (const ListEntry& entry : path_) {
    base::ListValue* list = nullptr;
    if (!dictionary->GetList(entry.list_key, &list) ||
        !list->GetDictionary(entry.index, &dictionary)) {
      VLOG(1) << "Statistics record in " << entry.list_key << " is gone";
      return nullptr;
    }
  }
  return dictionary;
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
  std::vector<ListEntry> path = path_;
  {
    base::AutoLock lock(root_->lock);
    base::DictionaryValue* dictionary = GetDictionaryLocked();
    if (dictionary) {
      base::ListValue* list = nullptr;
      if (!dictionary->GetList(key, &list)) {
        list = static_cast<base::ListValue*>(
            dictionary->Set(key, std::make_unique<base::ListValue>()));
      }
      list->Append(std::make_unique<base::DictionaryValue>());
      path.push_back({std::string(key), list->GetSize() - 1});
    } else {
      // A view of nothing: the parent is gone, so are its children.
      path.push_back({std::string(key), std::numeric_limits<size_t>::max()});
    }
  }
  return std::unique_ptr<Stats>(new Stats(root_, std::move(path)));
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
