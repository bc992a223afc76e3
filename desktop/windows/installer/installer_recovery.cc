// How a run makes its changes survive its own end: the undo journal that a run keeps in the
// install folder, so that whatever ends it (a crash, a killed process, a power cut), the next
// run can undo what it did or finish it; and how a run first takes up what an earlier one
// left there.

#include <memory>
#include <vector>

#include "base/logging.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/status_fetcher.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

// How long a run waits for another process to let go of the journal: a run that reads the
// folder may be undoing an interrupted run there.
constexpr base::TimeDelta kJournalWait = base::TimeDelta::FromSeconds(60);

}  // namespace

bool Installer::StartUndoJournal() {
  const int failure_id = operation() == OPERATION_UNINSTALLING ? IDS_ERROR_UNINSTALL_FAILED
                                                               : IDS_ERROR_INSTALL_FAILED;
  UndoJournal::OpenResult result = UndoJournal::OpenResult::kFailed;
  std::unique_ptr<UndoJournal> journal =
      UndoJournal::OpenForRun(install_folder(), kJournalWait, &result);
  switch (result) {
    case UndoJournal::OpenResult::kOpened:
    case UndoJournal::OpenResult::kRecovered:
      break;
    case UndoJournal::OpenResult::kHeld:
      LOG(ERROR) << ReportError(IDS_ERROR_ANOTHER_INSTALLER, std::wstring(),
                                "Another installer is working in the install folder");
      return false;
    case UndoJournal::OpenResult::kUndoFailed:
      LOG(ERROR) << ReportError(
          failure_id, std::wstring(),
          "What an interrupted installation left in the install folder cannot be undone");
      return false;
    case UndoJournal::OpenResult::kFailed:
      LOG(ERROR) << ReportError(failure_id, std::wstring(), "Could not open the undo journal");
      return false;
  }

  if (result == UndoJournal::OpenResult::kRecovered) {
    // What the run was set up for was read before the folder was put back.
    reloaded_status_ = StatusFetcher::ReadStatus(
        install_folder(), settings_->GetStatus().replace_morrit_installation());
    const bool existing = status().existing_installation();
    if ((operation() == OPERATION_INSTALLING && existing) ||
        (operation() == OPERATION_UNINSTALLING && !existing)) {
      LOG(ERROR) << ReportError(failure_id, std::wstring(),
                                "An interrupted installation was undone in the install folder: "
                                "the installer must be started again");
      return false;
    }
  }

  // The folders this run made for the installation are its own to remove again.
  const base::FilePath& existed = settings_->GetStatus().valid_parent_folder();
  std::vector<base::FilePath> created;
  for (base::FilePath folder = install_folder();
       existed.IsParent(folder) && folder.DirName() != folder; folder = folder.DirName()) {
    created.push_back(folder);
  }
  for (auto it = created.rbegin(); it != created.rend(); ++it) {
    if (!journal->Append(*undo_record::FolderCreated(*it))) {
      LOG(ERROR) << ReportError(failure_id, std::wstring(), "Could not write the undo journal");
      return false;
    }
  }
  transaction_.AttachJournal(std::move(journal));
  return true;
}

}  // namespace installer
