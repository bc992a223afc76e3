#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_UNDO_RECORDS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_UNDO_RECORDS_H_

#include <windows.h>

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace base {
class CommandLine;
class DictionaryValue;
}  // namespace base

namespace installer {

struct RegistryTree;
struct ScheduledTaskInfo;

// The records of the undo journal: each tells how to undo one change to files or the
// registry and is written before that change is made, so that it holds whether the change
// was then made, made in part or not at all. A record is a JSON dictionary whose "kind"
// names it; paths are full paths.
namespace undo_record {

// |folder| did not exist and is about to be created (by the process's user, whom it names).
std::unique_ptr<base::DictionaryValue> FolderCreated(const base::FilePath& folder);
// The file |path| was just created in an empty place and belongs to the run.
std::unique_ptr<base::DictionaryValue> FileCreated(const base::FilePath& path);
// What is at |path| is about to be renamed to |backup| (a name of FileBackup in the same
// folder); whatever is at |path| afterwards belongs to the run.
std::unique_ptr<base::DictionaryValue> SetAside(const base::FilePath& path,
                                                const base::FilePath& backup);
// |from| is about to be renamed (or moved) to the free place |to|.
std::unique_ptr<base::DictionaryValue> Moved(const base::FilePath& from,
                                             const base::FilePath& to);
// The file |path|, whose contents were |contents| (null: there was no file), is about to be
// rewritten in place; |backup| is where its owner keeps a copy (deleted with the record).
std::unique_ptr<base::DictionaryValue> FileKept(const base::FilePath& path,
                                                const std::string* contents,
                                                const base::FilePath& backup);
// Registry records below HKCU name the SID of the process's user, whose hive it is.
// The registry key |path| below |root| (in the view |view|) is about to be created.
std::unique_ptr<base::DictionaryValue> RegistryKeyCreated(HKEY root,
                                                          REGSAM view,
                                                          const std::wstring& path);
// The value |name| of the key |path| is about to be written or deleted; it was |data| of
// |type|, or there was none (|had_value| false).
std::unique_ptr<base::DictionaryValue> RegistryValueChanged(HKEY root,
                                                            REGSAM view,
                                                            const std::wstring& path,
                                                            const std::wstring& name,
                                                            bool had_value,
                                                            DWORD type,
                                                            const std::vector<uint8_t>& data);
// The key |path|, read whole as |tree|, is about to be deleted.
std::unique_ptr<base::DictionaryValue> RegistryKeyDeleted(HKEY root,
                                                          REGSAM view,
                                                          const std::wstring& path,
                                                          const RegistryTree& tree);
// A program is about to install something that |undo| (a signed program of the product)
// removes again.
std::unique_ptr<base::DictionaryValue> ProgramRun(const base::CommandLine& undo);
// The scheduled task |info| (its name included), read as the scheduler keeps it, is about
// to be deleted.
std::unique_ptr<base::DictionaryValue> TaskDeleted(const ScheduledTaskInfo& info);
// The run passed its point of no return: from here on it is finished, not undone.
std::unique_ptr<base::DictionaryValue> PointOfNoReturn();
// The first line of every journal, which undoes nothing: a journal without it that holds
// nothing at all was emptied by something else than the installer.
std::unique_ptr<base::DictionaryValue> JournalStart();
bool IsJournalStart(const base::DictionaryValue& record);

// Whether |record| is the point of no return.
bool IsPointOfNoReturn(const base::DictionaryValue& record);
// A line of exactly |length| bytes (at least 20, the line feed included) that takes the
// place of a revoked point of no return and undoes nothing.
std::string RevokedPointOfNoReturnLine(size_t length);
// The folder that FolderCreated names; empty for any other record.
base::FilePath GetCreatedFolder(const base::DictionaryValue& record);
// Whether |record| created |folder| or one of the folders above it.
bool CreatedFolderOrAncestor(const base::DictionaryValue& record, const base::FilePath& folder);

// Whether the registry key |path| (below HKLM or HKCU) is one an installation writes, or
// with |as_ancestor| one above such a key (which an undo only removes when it is empty).
using RegistryKeyFilter = std::function<bool(const std::wstring& path, bool as_ancestor)>;

// Where the records of a journal may act: the journal's folder (the install folder), the
// shell folders that receive the installation's shortcuts, and the registry keys inside
// "Software" that |registry_keys| accepts (all of them without it). A record that names
// another place is not acted on: a journal is a file in the install folder, and anyone who
// may write there may write it, while the run that undoes it may have more rights.
//
// Within that place, a record never writes what would run code (a file in a startup
// folder, a command value, an uninstall string, a value of a "Run" key) from its own data,
// unless that puts back an installation's launcher: the journal could name any program.
struct UndoScope {
  base::FilePath folder;
  std::vector<base::FilePath> shell_folders;
  // Those shell folders themselves and the folders between each and the known folder it
  // lies in (the quick launch's "Microsoft\Internet Explorer" of the roaming application
  // data, say), the user's that |user| names: a run that found one missing made it, and
  // its undo removes it when empty, never what it holds.
  std::vector<base::FilePath> shortcut_locations;
  // The user's and all users' startup folders, inside the start menus above.
  std::vector<base::FilePath> startup_folders;
  RegistryKeyFilter registry_keys;
  // The SID (as text) of the user whose process undoes: a record of another user's hive
  // ("HKCU" records name theirs) is not undone in this one.
  std::wstring user;
  // The journal belongs to |user|: its "HKCU" records that name no user (written before
  // records named one) are taken as that user's.
  bool journal_owned_by_user = false;
  // Whether a "program run" record may start its program; a mere read of a folder's status
  // runs nothing and leaves that record, and those before it, to a run of the installer.
  bool run_programs = true;

  // The scope of the journal of |folder| for the current process's user, with the user's
  // and all users' desktops, start menus and the user's quick launch (which holds the
  // taskbar pins).
  static UndoScope ForFolder(const base::FilePath& folder, RegistryKeyFilter registry_keys);

  // Adds |location| to the shortcut locations with the folders above it that lie inside
  // |known_folder| (none when it is empty or not above |location|).
  void AddShortcutLocation(const base::FilePath& location, const base::FilePath& known_folder);
};

enum class UndoResult {
  kUndone,
  // The record names what is outside |scope|, writes what would run code, belongs to
  // another user's hive, or is not one: nothing was done.
  kRefused,
  // It could not be undone (a file in use, say); logged.
  kFailed,
};

// Undoes the change of |record|: puts back what it replaced, removes what it created. Each
// undo looks at what is there before it acts, so that undoing a change that was never made,
// or was undone already, changes nothing.
UndoResult Undo(const base::DictionaryValue& record, const UndoScope& scope);

// Makes the change of |record| final: deletes what it kept for an undo. Failures are
// logged and left behind.
void Finish(const base::DictionaryValue& record, const UndoScope& scope);

}  // namespace undo_record
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_UNDO_RECORDS_H_
