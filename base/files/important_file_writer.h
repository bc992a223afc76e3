#ifndef BASE_FILES_IMPORTANT_FILE_WRITER_H_
#define BASE_FILES_IMPORTANT_FILE_WRITER_H_

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"
#include "base/time/time.h"
#include "base/timer/timer.h"

namespace base {

// Writes files that must never be left half-written (preferences, state): the data goes
// to a temporary file in the target's folder, is flushed to the disk, and then replaces the
// target in one rename. A failure at any step leaves the previous file as it was.
//
// A writer object serves one file: it coalesces the writes scheduled during its commit
// interval into one, serialised when the interval ends, and writes on a sequenced task
// runner (the file's I/O sequence). Use the object on one thread; scheduling needs a
// message loop on it (without one the data is written at once).
class ImportantFileWriter {
 public:
  // Produces the data of a scheduled write when it is due.
  class DataSerializer {
   public:
    // False when no data could be produced: nothing is written then.
    virtual bool SerializeData(std::string* data) = 0;

   protected:
    virtual ~DataSerializer() = default;
  };

  static constexpr TimeDelta kDefaultCommitInterval = TimeDelta::FromSeconds(10);

  // Replaces |path| with |data| as described above, on the calling thread. False, with
  // the system error logged and the temporary file removed, on failure. A read-only file
  // is not replaced.
  static bool WriteFileAtomically(const FilePath& path, std::string_view data);

  ImportantFileWriter(const FilePath& path, scoped_refptr<SequencedTaskRunner> task_runner);
  ImportantFileWriter(const FilePath& path,
                      scoped_refptr<SequencedTaskRunner> task_runner,
                      TimeDelta commit_interval);
  ImportantFileWriter(const ImportantFileWriter&) = delete;
  ImportantFileWriter& operator=(const ImportantFileWriter&) = delete;
  // A write still pending is lost (logged): the owner commits it first, while its
  // serializer still exists.
  ~ImportantFileWriter();

  const FilePath& path() const { return path_; }
  TimeDelta commit_interval() const { return commit_interval_; }

  // Whether a scheduled write waits for its interval to end.
  bool HasPendingWrite() const { return serializer_ != nullptr; }

  // Hands |data| to the task runner for an atomic write, replacing any pending write. When
  // the runner refuses tasks (its pool is shut down) the data is written here instead, so
  // that it is not lost.
  void WriteNow(std::string data);

  // Asks |serializer| for the data once the commit interval has passed; a write already
  // scheduled keeps its time and uses the latest serializer.
  void ScheduleWrite(DataSerializer* serializer);

  // Performs the pending write now (nothing when none is pending).
  void DoScheduledWrite();

  // |on_write| runs, on this object's thread, each time data is handed over for writing
  // (e.g. to count writes); a null callback removes it.
  void SetOnWriteCallback(Closure on_write);

  // Whether the last write that has run (on the task runner) replaced the file; true
  // before any. A caller that waits for the writes handed over learns from it whether the
  // file now holds the last data.
  bool LastWriteSucceeded() const { return last_write_succeeded_->load(); }

 private:
  const FilePath path_;
  const scoped_refptr<SequencedTaskRunner> task_runner_;
  const TimeDelta commit_interval_;
  // Set while a write is pending.
  DataSerializer* serializer_ = nullptr;
  OneShotTimer timer_;
  Closure on_write_;
  // Shared with the write tasks, which may run after this object is gone.
  const std::shared_ptr<std::atomic<bool>> last_write_succeeded_ =
      std::make_shared<std::atomic<bool>>(true);
};

}  // namespace base

#endif  // BASE_FILES_IMPORTANT_FILE_WRITER_H_
