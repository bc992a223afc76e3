#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_UNDO_JOURNAL_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_UNDO_JOURNAL_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <utility>
#include <vector>

#include "base/files/file_path.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

// The name of the undo journal in an install folder.
extern const wchar_t kUndoJournalFileName[];  // "installation_undo.journal"

// What RecoverInterruptedRun did.
enum class RecoveryResult {
  kNothing,    // No journal in the folder.
  kRecovered,  // The interrupted run was undone or finished, and its journal deleted.
  kHeld,       // A run holds the journal, or this process may not change it.
  kFailed,     // Some of it could not be undone, or was refused; the journal keeps the
               // rest.
  kUnreadable,  // The journal cannot be read whole: it is left as it is, nothing undone.
};

// Who replays a journal. A read of a folder's status undoes what an interrupted run left,
// but starts no program for it.
enum class RecoveryPurpose {
  kRun,
  kStatusRead,
};

// What a run has changed in an install folder (and for it, in the registry and the shell
// folders), written down before each change so that a run that ends without rolling back
// or committing (a crash, a killed process, a power cut) can be undone by the next one.
// The journal is a stack of records (undo_records.h), one line of JSON each, every line
// flushed to the disk before the change it undoes is made. A run that rolls back takes
// each operation's records off as it undoes it; a run that commits first writes its point
// of no return (a crash after it finishes the run instead of undoing it) and deletes the
// journal once the commit is done.
//
// The run that owns the journal keeps it open for writing and shares it for reading only:
// a process that can open it for writing knows that no run holds the folder.
//
// A journal is replayed only by a process of the user who wrote it, and only when nobody
// else could have written or replaced it (journal_trust.h): it is made with an access list
// for that user, SYSTEM and Administrators only, and that is checked on the handle that
// reads it. A record that is refused (outside the installation, writing what would run
// code, of another user's hive) stays in the journal, with a warning, for whoever may
// undo it.
// One thread uses a journal; failures are logged.
class UndoJournal {
 public:
  enum class OpenResult {
    kOpened,     // Nothing was left of an earlier run.
    kRecovered,  // An interrupted run was undone, or finished, first.
    kHeld,       // Another process held the journal for as long as the open waited.
    kUndoFailed,  // Not all an interrupted run left could be undone, or was refused; the
                  // journal keeps the rest for a later run.
    kUnreadable,  // The journal cannot be read whole (not just its last line): nothing
                  // was undone, the journal is as it was.
    kFailed,     // The journal could not be opened or written.
  };

  ~UndoJournal();

  UndoJournal(const UndoJournal&) = delete;
  UndoJournal& operator=(const UndoJournal&) = delete;

  // Opens the journal of |folder| (which must exist) for a run about to change it, made
  // when missing, waiting up to |wait| while another process holds it. What an interrupted
  // run left in it is first undone, or finished where that run had passed its point of no
  // return; the folders that run created up to |folder| stay, recorded now as this run's.
  // Null unless |result| is kOpened or kRecovered.
  // |registry_keys| tells which registry keys the undo may act on (undo_records.h).
  static std::unique_ptr<UndoJournal> OpenForRun(const base::FilePath& folder,
                                                 base::TimeDelta wait,
                                                 const undo_record::RegistryKeyFilter& registry_keys,
                                                 OpenResult* result);

  const base::FilePath& folder() const { return folder_; }

  // Writes |record| and flushes it to the disk. False when it could not be written whole:
  // the change it undoes must not be made.
  bool Append(const base::DictionaryValue& record);

  // Whether the undo of |path|, a file about to be created, is written already: it lies in
  // a folder inside the journal's folder that a record says the run created, and whose
  // undo removes it with everything in it. (A package has thousands of files, each record
  // is a write to the disk.)
  bool CoversNewFile(const base::FilePath& path) const;

  // The number of records: a mark to come back to.
  size_t size() const { return offsets_.size(); }
  // Takes off the records after the first |size|: what they undo has been undone.
  void TruncateTo(size_t size);

  // Records that the run has passed its point of no return; false when that record could
  // not be written. RevokePointOfNoReturn takes it back (the run rolls back after all).
  bool MarkPointOfNoReturn();
  void RevokePointOfNoReturn();
  bool passed_point_of_no_return() const { return point_of_no_return_ != kNone; }

  // The run's changes are all undone or made final: the journal is deleted.
  void Discard();

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  UndoJournal(const base::FilePath& folder, base::win::ScopedHandle file);

  enum class LoadResult { kRead, kUnreadable, kFailed };
  // Reads the records; a torn last line (a write cut short) is cut off when
  // |cut_torn_end|, else left. Any other line that does not read makes the whole journal
  // unreadable, and it is left as it is.
  LoadResult Load(std::vector<std::unique_ptr<base::DictionaryValue>>* records,
                  bool cut_torn_end = true);
  // Undoes or finishes what the journal holds (|had_records| tells whether it held
  // anything). With |keep_own_folder| the folders of the journal's own folder and above
  // stay, left as the only records; otherwise the journal is deleted and they go too, when
  // empty. False when the journal cannot be read or an undo failed (the journal then keeps
  // that record and those below it).
  // |unreadable| tells when it failed for a journal that does not read.
  bool Recover(bool keep_own_folder,
               const undo_record::RegistryKeyFilter& registry_keys,
               RecoveryPurpose purpose,
               bool* had_records,
               bool* unreadable);
  // Writes the journal's first line into a new, empty journal.
  bool WriteStart();
  bool WriteAt(int64_t offset, const std::string& text);
  bool SetEnd(int64_t end);

  const base::FilePath folder_;
  const base::FilePath path_;
  base::win::ScopedHandle file_;
  // Where each record starts, and where the last one ends.
  std::vector<int64_t> offsets_;
  int64_t end_ = 0;
  // Where the journal's first line ends (0 in a journal of an older installer, which has
  // none).
  int64_t start_end_ = 0;
  size_t point_of_no_return_ = kNone;
  // The folders inside the journal's folder that records say the run created, each with
  // the index of its record.
  std::vector<std::pair<size_t, base::FilePath>> created_folders_;

  friend RecoveryResult RecoverInterruptedRun(
      const base::FilePath& folder,
      const undo_record::RegistryKeyFilter& registry_keys,
      RecoveryPurpose purpose);
  friend bool HasUnreadableUndoJournal(const base::FilePath& folder);
};

// Undoes (or finishes, past its point of no return) what an interrupted run left in
// |folder|, unless a run holds its journal; the journal goes, and with it the folders
// that run created for it (when they are empty). |registry_keys| tells which registry keys
// the undo may act on (undo_records.h).
RecoveryResult RecoverInterruptedRun(const base::FilePath& folder,
                                     const undo_record::RegistryKeyFilter& registry_keys,
                                     RecoveryPurpose purpose = RecoveryPurpose::kRun);

// Whether |folder| holds an undo journal that cannot be read whole: what an interrupted run
// changed there is unknown, and the folder is taken as a damaged installation.
bool HasUnreadableUndoJournal(const base::FilePath& folder);

// Whether |folder| holds an undo journal (of a run under way or interrupted).
bool HasUndoJournal(const base::FilePath& folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_UNDO_JOURNAL_H_
