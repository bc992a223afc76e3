// How a run makes its changes survive its own end: the undo journal that a run keeps in the
// install folder, so that whatever ends it (a crash, a killed process, a power cut), the next
// run can undo what it did or finish it; and how a run first takes up what an earlier one
// left there.

#include <memory>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/file_without_links.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/damaged_installation.h"
#include "desktop/windows/installer/installation_registry_keys.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/installer_paths.h"
#include "desktop/windows/installer/service/elevated_run.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/delete_registry_key_operation.h"
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

// Copies |file| beside the logs as |prefix| with the time and |extension|: a run replaces
// or deletes it, and the copy tells what went wrong.
void KeepCopyBesideLogs(const base::FilePath& file,
                        const wchar_t* prefix,
                        const wchar_t* extension,
                        const char* what) {
  base::FilePath log_folder;
  const base::CommandLine* process_command_line = base::CommandLine::ForCurrentProcess();
  // Where this process logs: for an elevated one, a folder only administrators can write.
  if (!base::PathExists(file) ||
      !GetLogFolder(process_command_line ? *process_command_line
                                         : base::CommandLine(base::FilePath()),
                    &log_folder)) {
    return;
  }
  base::Time::Exploded now;
  base::Time::Now().Explode(true, &now);
  const base::FilePath kept = log_folder.Append(
      prefix +
      base::WideStringPrintf(L"%04d%02d%02d%02d%02d%02d", now.year, now.month,
                             now.day_of_month, now.hour, now.minute, now.second) +
      extension);
  // A run elevated by hand keeps it in the user's folder: made anew, under no other name.
  const bool copied = IsElevatedByHand(process_command_line ? *process_command_line
                                                            : base::CommandLine(base::FilePath()))
                          ? base::CopyToNewFileWithoutLinks(file, kept)
                          : base::CopySingleFile(file, kept);
  if (copied)
    LOG(WARNING) << "The " << what << " is kept as " << kept;
  else
    LOG(ERROR) << "Cannot keep the " << what << " as " << kept;
}

}  // namespace

bool Installer::StartUndoJournal() {
  const int failure_id = operation() == OPERATION_UNINSTALLING ? IDS_ERROR_UNINSTALL_FAILED
                                                               : IDS_ERROR_INSTALL_FAILED;
  UndoJournal::OpenResult result = UndoJournal::OpenResult::kFailed;
  std::unique_ptr<UndoJournal> journal =
      UndoJournal::OpenForRun(install_folder(), kJournalWait, &IsInstallationRegistryKey, &result);
  const bool journal_unreadable = result == UndoJournal::OpenResult::kUnreadable;
  if (journal_unreadable) {
    // What the interrupted run changed is unknown: the folder was read as a damaged
    // installation (its status made anew from what it registered), and this run starts a
    // journal of its own once the unreadable one is kept beside the logs.
    const base::FilePath path = install_folder().Append(kUndoJournalFileName);
    KeepCopyBesideLogs(path, L"damaged_installation_journal_", L".journal",
                       "unreadable undo journal");
    if (!base::DeletePath(path, false))
      LOG(ERROR) << "Cannot delete the unreadable undo journal " << path;
    else
      journal = UndoJournal::OpenForRun(install_folder(), kJournalWait,
                                        &IsInstallationRegistryKey, &result);
  }
  switch (result) {
    case UndoJournal::OpenResult::kOpened:
    case UndoJournal::OpenResult::kRecovered:
      break;
    case UndoJournal::OpenResult::kHeld:
      LOG(ERROR) << ReportError(IDS_ERROR_ANOTHER_INSTALLER, std::wstring(),
                                "Another installer is working in the install folder");
      return false;
    case UndoJournal::OpenResult::kUndoFailed:
    case UndoJournal::OpenResult::kUnreadable:
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
  if (status().record_made_anew())
    KeepDamagedStatusFile();
  if (journal_unreadable) {
    // Left by the interrupted run, whose undo is lost: removed with this run's changes (and
    // put back if it rolls back), so that nothing of it stays beside the installation.
    for (const base::FilePath& leftover :
         FindLeftoversOfInterruptedRun(install_folder(), status().install_status())) {
      if (!Do(std::make_unique<DeleteFileOperation>(leftover, true, false)))
        LOG(WARNING) << "Keeping " << leftover << ", left by an interrupted installation";
    }
  }
  // An installation has one uninstall entry. Another that names this folder was left by a
  // run whose record is lost (an ended run may leave one half written); an uninstallation
  // takes every one of them.
  if (status().record_made_anew() || operation() == OPERATION_UNINSTALLING)
    RemoveUnrecordedUninstallEntries();
  return true;
}

void Installer::RemoveUnrecordedUninstallEntries() {
  const InstallStatus& previous = status().install_status();
  for (const UninstallEntry& entry : FindUninstallEntries(install_folder())) {
    const RegistryRecord& record =
        entry.root == HKEY_LOCAL_MACHINE ? previous.hklm_keys : previous.hkcu_keys;
    bool recorded = false;
    for (const RegistryKeyRecord& key : record) {
      recorded = recorded || base::FilePath::CompareEqualIgnoreCase(
                                 ReplaceProductPlaceholders(key.key_path), entry.key_path);
    }
    if (recorded)
      continue;
    LOG(WARNING) << "Removing the uninstall entry " << entry.key_path
                 << ", which names this folder but not as its installation's record does";
    if (!Do(std::make_unique<DeleteRegistryKeyOperation>(entry.root, entry.key_path,
                                                         KEY_WOW64_32KEY))) {
      LOG(ERROR) << "Cannot remove the uninstall entry " << entry.key_path;
    }
  }
}

void Installer::KeepDamagedStatusFile() {
  KeepCopyBesideLogs(install_folder().Append(kInstallStatusFileName),
                     L"damaged_installation_status_", L".xml", "damaged status file");
}

}  // namespace installer
