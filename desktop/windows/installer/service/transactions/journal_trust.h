#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_JOURNAL_TRUST_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_JOURNAL_TRUST_H_

#include <windows.h>

#include <accctrl.h>

#include <string>
#include <vector>

#include "base/win/scoped_local_alloc.h"

namespace installer {

// Whether a process may replay the undo journal it found: a journal holds the deletions,
// file contents and registry values that the replaying process will write, so it is taken
// only from someone who could have made those changes anyway.
//
//   JournalReader reader;
//   if (!reader.Init()) return false;
//   JournalTrust trust = CheckJournalTrust(journal_handle, SE_FILE_OBJECT, folder_handle,
//                                          SE_FILE_OBJECT, reader);
//   if (!trust.may_replay) keep the journal, replay nothing;

// The process about to replay a journal: its user and whether it runs elevated.
class JournalReader {
 public:
  JournalReader() = default;
  JournalReader(const JournalReader&) = delete;
  JournalReader& operator=(const JournalReader&) = delete;

  // Reads the current process's user and elevation. False, logged, when it cannot.
  bool Init();
  // For tests: a reader of the user |sid| (held as a copy) with the given elevation.
  bool InitForTesting(PSID sid, bool elevated);

  PSID user() const { return user_.empty() ? nullptr : const_cast<BYTE*>(user_.data()); }
  // The user's SID as text ("S-1-5-21-..."); what a record names its hive by.
  const std::wstring& user_text() const { return user_text_; }
  bool elevated() const { return elevated_; }

 private:
  bool Set(PSID sid, bool elevated);

  std::vector<BYTE> user_;
  std::wstring user_text_;
  bool elevated_ = false;
};

struct JournalTrust {
  // Nobody but the reader (and SYSTEM, Administrators) could have written or replaced it.
  bool may_replay = false;
  // The journal belongs to the reader: its records without a named user are the reader's.
  bool owned_by_reader = false;
};

// Checks the journal behind |journal| (READ_CONTROL access, held until it is read) and, for
// an elevated |reader|, the folder behind |folder| that holds it: the journal must let
// nobody but SYSTEM, Administrators and the reader change it, and an elevated reader takes
// a journal only from a folder that nobody else can change either (an elevated process has
// an administrator's user, so that user counts among the administrators). Reasons to refuse
// are logged as warnings.
JournalTrust CheckJournalTrust(HANDLE journal,
                               SE_OBJECT_TYPE journal_type,
                               HANDLE folder,
                               SE_OBJECT_TYPE folder_type,
                               const JournalReader& reader);

// The security a new journal of |writer| is created with: an access list protected from
// inheritance, SYSTEM, Administrators and the writer's user full control and nobody else
// anything, so that an install folder that others may write (a parent's "Authenticated
// Users: Modify") does not make the journal theirs too. An elevated writer's journal
// belongs to Administrators alone, so that any administrator may take it up. Invalid,
// logged, on failure.
base::win::ScopedLocalAlloc MakeJournalSecurity(const JournalReader& writer);

// The current process's user as SID text; empty, logged, when it cannot be read.
std::wstring CurrentUserSidText();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_JOURNAL_TRUST_H_
