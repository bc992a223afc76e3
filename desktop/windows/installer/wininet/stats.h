#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_STATS_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_STATS_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <string_view>

#include "base/memory/ref_counted.h"

namespace base {
class DictionaryValue;
}

namespace installer {

class UICallbackRunner;

// The installer statistics of one run: a dictionary filled by the settings, the package
// fetcher, the downloader's event recorders and the window, and sent as JSON at the end
// of the run (SendStats). Usable from any thread: every operation takes the statistics
// lock.
//
// Keys are dotted paths ("ui.initial_make_default" is the member "initial_make_default" of
// the dictionary "ui"). AppendToList hands out a view: a Stats that writes into a record (a
// dictionary appended to a list of its parent), under the same lock. A view writes only
// into its own record: once that record is removed or replaced, the view's writes are
// dropped, also when a new record takes its place in the list.
class Stats {
 public:
  // |ui_callback_runner| (not owned, may be null) is what SendStats gives the downloader
  // that sends these statistics.
  explicit Stats(UICallbackRunner* ui_callback_runner);
  Stats(const Stats&) = delete;
  Stats& operator=(const Stats&) = delete;
  ~Stats();

  void SetString(std::string_view key, std::string_view utf8);
  void SetString(std::string_view key, std::wstring_view utf16);
  // Booleans are kept as 0 or 1.
  void SetInteger(std::string_view key, int value);
  // Adds one to the integer at |key|; an absent value (or one of another type) counts as 0.
  void Increment(std::string_view key);
  void Remove(std::string_view key);

  // The local time (FormatLocalTime) at |key| + ".time" and the milliseconds since the
  // installer process started at |key| + ".elapsed".
  void SetTimestamp(std::string_view key);
  // The local time (FormatLocalTime) at |key|.
  void SetTimeString(std::string_view key);

  // Appends a new dictionary to the list at |key| (made when missing, replacing a value of
  // another type) and returns a view of it.
  std::unique_ptr<Stats> AppendToList(std::string_view key);

  // This dictionary as compact JSON ("{}" for a view whose dictionary is gone).
  std::string ToJson() const;

  UICallbackRunner* ui_callback_runner() const;

  // The current local time as year-month-day hour:minute:second.millisecond,
  // "%02d-%02d-%02d %02d:%02d:%02d.%03d" (the year in full).
  static std::string FormatLocalTime();
  // Milliseconds since the process was created.
  static int GetMillisecondsSinceProcessStart();

 private:
  class Root;
  class Record;

  Stats(base::scoped_refptr<Root> root, uint64_t record_id);

  // The dictionary this Stats writes into, or null when it is gone. Under the lock.
  base::DictionaryValue* GetDictionaryLocked() const;

  const base::scoped_refptr<Root> root_;
  // The id of a view's record; 0 for the root itself.
  const uint64_t record_id_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_STATS_H_
