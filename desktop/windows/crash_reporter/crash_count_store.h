#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_COUNT_STORE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_COUNT_STORE_H_

#include <stdint.h>

#include <map>
#include <string>
#include <string_view>

#include "base/files/file_path.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/os_thread.h"
#include "base/win/scoped_handle.h"

namespace crash_reporter {

// Counts crashes per process type in a JSON file shared by every crash reporter, e.g.
// {"crash_reporter":1,"installer":3}. Counts are kept in memory and merged into the file by
// the store's own thread; the file is opened exclusively for each read-merge-write, so
// concurrent reporters never lose each other's counts. A file that cannot be merged (held
// by another process, or not a JSON object) is left untouched and the counts stay pending
// and are retried; they are lost only when the last attempts at destruction fail too.
//
// Increment may be called from any thread.
class CrashCountStore : public base::OsThread::Delegate {
 public:
  using Counts = std::map<std::string, int32_t, std::less<>>;

  explicit CrashCountStore(const base::FilePath& path);
  CrashCountStore(const CrashCountStore&) = delete;
  CrashCountStore& operator=(const CrashCountStore&) = delete;
  // Stops the thread after a last merge of what is pending (a few attempts, 50 ms apart).
  ~CrashCountStore() override;

  // Adds |delta| to the count of |process_type| (a name taken whole, dots included); with
  // |write_now| the thread merges it into the file at once.
  void Increment(std::string_view process_type, uint32_t delta, bool write_now);

  // Adds |counts| to those of the file at |path| under an exclusive open. False, with the
  // file unchanged, when it cannot be opened, read or parsed, or is not an object (an
  // empty file holds no counts yet); members that are not integers are dropped. The file
  // is never truncated before the new text is whole: see SerializeForOverwrite.
  static bool MergeIntoFile(const base::FilePath& path, const Counts& counts);

  // The bytes that replace a counts file of |old_length| bytes: |counts| as compact JSON,
  // padded with spaces to at least |old_length|, so that the file holds valid JSON at
  // every moment of the rewrite (the length is set only after the write).
  static std::string SerializeForOverwrite(const Counts& counts, int64_t old_length);

 private:
  void ThreadMain() override;
  bool Flush();

  const base::FilePath path_;
  base::win::ScopedHandle thread_;
  base::WaitEvent wake_up_;
  base::Lock lock_;
  Counts pending_;  // Under |lock_|.
  bool stop_ = false;  // Under |lock_|.
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_COUNT_STORE_H_
