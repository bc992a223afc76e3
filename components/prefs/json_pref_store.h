#ifndef COMPONENTS_PREFS_JSON_PREF_STORE_H_
#define COMPONENTS_PREFS_JSON_PREF_STORE_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/files/important_file_writer.h"
#include "base/memory/ref_counted.h"
#include "base/observer_list.h"
#include "base/sequenced_task_runner.h"
#include "base/time/time.h"

namespace base {
class Clock;
class DictionaryValue;
class HistogramBase;
class SequencedWorkerPool;
class Value;
}  // namespace base

// The preferences of one JSON file: a dictionary whose keys are dotted paths ("a.b" is
// member "b" of dictionary "a"). The file is read synchronously (ReadPrefs); changes are
// written back atomically (base::ImportantFileWriter) on the file's I/O sequence, at most
// once per commit interval, and at the latest when the last reference goes.
//
// Use a store on one thread (the one that reads it); its reference count may be shared.
// Scheduled writes need a message loop on that thread; without one each change is
// written at once.
class JsonPrefStore : public base::RefCountedThreadSafe<JsonPrefStore>,
                      public base::ImportantFileWriter::DataSerializer {
 public:
  // How reading the file went.
  enum PrefReadError {
    PREF_READ_ERROR_NONE = 0,
    // The file is not valid JSON: it was moved aside to "<name>.bad" and the store
    // started empty.
    PREF_READ_ERROR_JSON_PARSE = 1,
    // The file is JSON but not a dictionary: the store is empty and read-only, so that
    // the file is kept.
    PREF_READ_ERROR_JSON_TYPE = 2,
    // The file cannot be opened or read: empty and read-only.
    PREF_READ_ERROR_ACCESS_DENIED = 3,
    PREF_READ_ERROR_FILE_OTHER = 4,
    // As PREF_READ_ERROR_JSON_PARSE, and an earlier corrupt file was already aside (it
    // is replaced by the new one).
    PREF_READ_ERROR_JSON_REPEAT = 5,
    // There is no file yet: empty, and written on the first change.
    PREF_READ_ERROR_NO_FILE = 6,
    // The corrupt file could not be moved aside: empty and read-only.
    PREF_READ_ERROR_FILE_NOT_MOVED = 7,
  };

  // Flags of the changing operations.
  enum PrefWriteFlags : uint32_t {
    DEFAULT_PREF_WRITE_FLAGS = 0,
    // The change alone does not schedule a write: it goes with the next one, a
    // SchedulePendingLossyWrites or a commit.
    LOSSY_PREF_WRITE_FLAG = 1 << 1,
  };

  class Observer {
   public:
    // A value changed (not for the ...Silently changes).
    virtual void OnPrefValueChanged(const std::string& key) = 0;
    // ReadPrefs finished.
    virtual void OnInitializationCompleted(bool succeeded) = 0;

   protected:
    virtual ~Observer() = default;
  };

  // Counts the writes of a file per report interval and reports each interval's count to
  // the histogram "Settings.JsonDataWriteCount." followed by the file's name, with the
  // spaces turned into underscores. The histogram's maximum is the most writes an
  // interval can hold (the report interval over the commit interval); intervals without
  // writes report 0. The count is reported when the next write or the destruction comes
  // after the interval's end.
  class WriteCountHistogram {
   public:
    static constexpr base::TimeDelta kReportInterval = base::TimeDelta::FromMinutes(5);

    // With the system clock (base::DefaultClock).
    WriteCountHistogram(base::TimeDelta commit_interval, const base::FilePath& path);
    // With |clock|, reporting to |histogram| when given instead of the file's histogram.
    WriteCountHistogram(base::TimeDelta commit_interval,
                        const base::FilePath& path,
                        std::unique_ptr<base::Clock> clock,
                        base::HistogramBase* histogram);
    WriteCountHistogram(const WriteCountHistogram&) = delete;
    WriteCountHistogram& operator=(const WriteCountHistogram&) = delete;
    ~WriteCountHistogram();

    void RecordWriteOccured();
    // Reports the intervals that ended since the last report.
    void ReportOutstandingWrites();

    std::string GetHistogramName() const;

   private:
    base::HistogramBase* GetHistogram();

    const base::TimeDelta commit_interval_;
    const base::FilePath path_;
    const std::unique_ptr<base::Clock> clock_;
    base::HistogramBase* histogram_;  // Looked up on first use unless given.
    base::Time last_report_time_;
    int32_t writes_since_last_report_ = 0;
  };

  // The runner of |path|'s file I/O in |pool|: one sequence per file (the path compared
  // without regard to case and slashes), whose tasks block the pool's shut-down so that no
  // write is lost.
  static base::scoped_refptr<base::SequencedTaskRunner> GetTaskRunnerForFile(
      const base::FilePath& path,
      base::SequencedWorkerPool* pool);

  JsonPrefStore(const base::FilePath& path,
                base::scoped_refptr<base::SequencedTaskRunner> file_task_runner);
  JsonPrefStore(const JsonPrefStore&) = delete;
  JsonPrefStore& operator=(const JsonPrefStore&) = delete;

  // Reads the file, replacing the values held; see PrefReadError.
  PrefReadError ReadPrefs();
  // Reads the file as ReadPrefs does, but changes nothing on disk: a corrupt file stays
  // where it is (PREF_READ_ERROR_JSON_PARSE), and the store is read-only whatever it
  // found. For those who only look at another program's file.
  PrefReadError ReadPrefsWithoutChanges();
  PrefReadError GetReadError() const { return read_error_; }
  bool IsInitializationComplete() const { return initialized_; }

  // Whether changes stay in memory only (the file could not be read as a dictionary).
  bool ReadOnly() const { return read_only_; }

  // The value at |key|; |result| may be null to test presence.
  bool GetValue(const std::string& key, const base::Value** result) const;
  // A value to change in place; call ReportValueChanged afterwards.
  bool GetMutableValue(const std::string& key, base::Value** result);

  // Stores |value| at |key|; when it differs from the value held, the observers are told
  // and a write is scheduled.
  void SetValue(const std::string& key, std::unique_ptr<base::Value> value, uint32_t flags);
  // The same without telling the observers.
  void SetValueSilently(const std::string& key,
                        std::unique_ptr<base::Value> value,
                        uint32_t flags);
  // Removes the value at |key|, telling the observers and scheduling a write when there
  // was one.
  void RemoveValue(const std::string& key, uint32_t flags);
  void ReportValueChanged(const std::string& key, uint32_t flags);

  // Hands the pending write (lossy changes included) to the file's task runner now.
  void CommitPendingWrite();
  // Whether the last write that has run on the file's task runner succeeded (true before
  // any): once the writes handed over have run, whether the file holds the values.
  bool LastWriteSucceeded() const { return writer_.LastWriteSucceeded(); }
  // Schedules a write for the lossy changes not yet written.
  void SchedulePendingLossyWrites();

  void AddObserver(Observer* observer);
  void RemoveObserver(Observer* observer);
  bool HasObservers() const;

  const base::FilePath& path() const { return path_; }

  // base::ImportantFileWriter::DataSerializer:
  bool SerializeData(std::string* output) override;

 protected:
  friend class base::RefCountedThreadSafe<JsonPrefStore>;

  // Commits a pending write: it is never lost with the store. Protected so that a
  // subclass can tie something to the store's lifetime.
  ~JsonPrefStore() override;

 private:
  // Stores |value| at |key| unless the value held there is equal; whether it did.
  bool StoreValue(const std::string& key, std::unique_ptr<base::Value> value);
  void ScheduleWrite(uint32_t flags);
  // ReadPrefs, with a corrupt file moved aside when |repair|.
  PrefReadError Read(bool repair);
  // Moves the corrupt file to "<name>.bad"; the read error to report.
  PrefReadError MoveCorruptFileAside();

  const base::FilePath path_;
  std::unique_ptr<base::DictionaryValue> prefs_;
  bool read_only_ = false;
  bool initialized_ = false;
  PrefReadError read_error_ = PREF_READ_ERROR_NONE;
  // A lossy change waits for a write.
  bool pending_lossy_write_ = false;
  base::ObserverList<Observer> observers_;
  // Declared before the writer, whose write callback reports to it.
  WriteCountHistogram write_count_histogram_;
  base::ImportantFileWriter writer_;
};

#endif  // COMPONENTS_PREFS_JSON_PREF_STORE_H_
