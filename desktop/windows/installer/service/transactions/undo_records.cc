#include "desktop/windows/installer/service/transactions/undo_records.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <string.h>

#include <utility>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/strings/string_util.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/win/known_folder.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/signed_program.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/transactions/file_backup.h"
#include "desktop/windows/installer/service/transactions/journal_encoding.h"
#include "desktop/windows/installer/service/transactions/journal_trust.h"
#include "desktop/windows/installer/service/transactions/registry_tree.h"

namespace installer {
namespace undo_record {

namespace {

constexpr char kKind[] = "kind";
constexpr char kFolderCreated[] = "folder_created";
constexpr char kFileCreated[] = "file_created";
constexpr char kSetAside[] = "set_aside";
constexpr char kMoved[] = "moved";
constexpr char kFileKept[] = "file_kept";
constexpr char kRegistryKeyCreated[] = "registry_key_created";
constexpr char kRegistryValueChanged[] = "registry_value_changed";
constexpr char kRegistryKeyDeleted[] = "registry_key_deleted";
constexpr char kProgramRun[] = "program_run";
constexpr char kTaskDeleted[] = "task_deleted";
constexpr char kPointOfNoReturn[] = "point_of_no_return";
constexpr char kRevoked[] = "revoked";
constexpr char kJournalStart[] = "journal_start";
constexpr char kUser[] = "user";

// How long an undo waits for a program that removes what it installed.
constexpr base::TimeDelta kUndoProgramLimit = base::TimeDelta::FromMinutes(5);

// The SID (as text) of this process's user, whose hive is "HKCU" and whose known folders
// the shortcuts go to. Read once: the user of a process does not change.
const std::wstring& ReaderUser() {
  static const std::wstring user = CurrentUserSidText();
  return user;
}

std::unique_ptr<base::DictionaryValue> MakeRecord(const char* kind) {
  auto record = std::make_unique<base::DictionaryValue>();
  record->SetString(kKind, kind);
  return record;
}

bool IsKind(const base::DictionaryValue& record, const char* kind) {
  std::string value;
  return record.GetString(kKind, &value) && value == kind;
}

// Whether a folder between |folder| and |path| is a link (a junction, say), through which
// |path| could name a place outside |folder|.
bool PassesThroughLink(const base::FilePath& path, const base::FilePath& folder) {
  for (base::FilePath current = path.DirName(); folder.IsParentIgnoreCase(current);
       current = current.DirName()) {
    const DWORD attributes = ::GetFileAttributesW(current.value().c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      return true;
  }
  return false;
}

// Whether |path| is a full path that stays inside |folder| (or is |folder| itself, when
// allowed), without links or streams on the way.
bool IsInsideFolder(const base::FilePath& path, const base::FilePath& folder, bool or_equal) {
  if (folder.empty() || !path.IsAbsolute() || path.ReferencesParent() ||
      path.value().find(L':', 2) != std::wstring::npos) {
    return false;
  }
  if (or_equal && base::FilePath::CompareEqualIgnoreCase(path.value(), folder.value()))
    return true;
  return folder.IsParentIgnoreCase(path) && !PassesThroughLink(path, folder);
}

// The path under |key|, when it is one that the records may act on.
bool GetScopedPath(const base::DictionaryValue& record,
                   const char* key,
                   const UndoScope& scope,
                   base::FilePath* path) {
  std::wstring text;
  if (!record.GetString(key, &text) || text.empty()) {
    LOG(ERROR) << "Undo record without " << key;
    return false;
  }
  *path = base::FilePath(text);
  if (IsInsideFolder(*path, scope.folder, true))
    return true;
  for (const base::FilePath& folder : scope.shell_folders) {
    if (IsInsideFolder(*path, folder, false))
      return true;
  }
  LOG(ERROR) << "Not acting on " << *path << ": outside the installation and its shortcuts";
  return false;
}

// The backup under |key|: a backup name beside |path|.
bool GetBackupPath(const base::DictionaryValue& record,
                   const char* key,
                   const base::FilePath& path,
                   base::FilePath* backup) {
  std::wstring text;
  if (!record.GetString(key, &text))
    return false;
  *backup = base::FilePath(text);
  if (backup->DirName() != path.DirName() ||
      !FileBackup::IsBackupName(backup->BaseName().value())) {
    LOG(ERROR) << "Not acting on " << *backup << ": not a backup of " << path;
    return false;
  }
  return true;
}

// Whether the "HKCU" of |record| is the hive of the user who undoes it: the record names
// that user, or names none and the journal is that user's own.
bool IsReadersHive(const base::DictionaryValue& record, const UndoScope& scope) {
  std::wstring user;
  if (!record.GetString(kUser, &user))
    return scope.journal_owned_by_user;
  return !scope.user.empty() && base::FilePath::CompareEqualIgnoreCase(user, scope.user);
}

// Whether |folder| is one of the places where the installation's shortcuts go, or a folder
// between one and the known folder it lies in, of the user who undoes |record|: a run that
// found it missing made it and journalled that (its undo removes it only when empty).
bool IsShortcutLocation(const base::FilePath& folder,
                        const base::DictionaryValue& record,
                        const UndoScope& scope) {
  for (const base::FilePath& location : scope.shortcut_locations) {
    if (base::FilePath::CompareEqualIgnoreCase(folder.value(), location.value()))
      return IsReadersHive(record, scope);
  }
  return false;
}

// The folder of a folder_created record, when the records may act on it.
bool GetCreatedFolderPath(const base::DictionaryValue& record,
                          const UndoScope& scope,
                          base::FilePath* folder) {
  std::wstring text;
  if (record.GetString("path", &text) && IsShortcutLocation(base::FilePath(text), record, scope)) {
    *folder = base::FilePath(text);
    return true;
  }
  return GetScopedPath(record, "path", scope, folder);
}

// The registry key of |record|: below HKLM or HKCU, inside "Software", in a known view, and
// one that |scope| accepts (|as_ancestor|: as one above an installation's key).
bool GetRegistryKey(const base::DictionaryValue& record,
                    const UndoScope& scope,
                    bool as_ancestor,
                    HKEY* root,
                    REGSAM* view,
                    std::wstring* path) {
  std::string root_name;
  int view_value = 0;
  if (!record.GetString("root", &root_name) || !record.GetInteger("view", &view_value) ||
      !record.GetString("key", path)) {
    LOG(ERROR) << "Undo record without its registry key";
    return false;
  }
  *root = root_name == "HKLM" ? HKEY_LOCAL_MACHINE
          : root_name == "HKCU" ? HKEY_CURRENT_USER
                                : nullptr;
  *view = static_cast<REGSAM>(view_value);
  const bool known_view = *view == 0 || *view == KEY_WOW64_32KEY || *view == KEY_WOW64_64KEY;
  if (!*root || !known_view ||
      !base::StartsWith(*path, L"Software\\", base::CompareCase::INSENSITIVE_ASCII) ||
      path->find(L"\\\\") != std::wstring::npos || path->back() == L'\\' ||
      (scope.registry_keys && !scope.registry_keys(*path, as_ancestor))) {
    LOG(ERROR) << "Not acting on the registry key " << root_name << "\\" << *path;
    return false;
  }
  if (*root == HKEY_CURRENT_USER && !IsReadersHive(record, scope)) {
    LOG(ERROR) << "Not acting on the registry key HKCU\\" << *path << " of another user";
    return false;
  }
  return true;
}

std::unique_ptr<base::DictionaryValue> MakeRegistryRecord(const char* kind,
                                                          HKEY root,
                                                          REGSAM view,
                                                          const std::wstring& path) {
  std::unique_ptr<base::DictionaryValue> record = MakeRecord(kind);
  record->SetString("root", root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU");
  record->SetInteger("view", static_cast<int>(view & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)));
  record->SetString("key", path);
  if (root == HKEY_CURRENT_USER)
    record->SetString(kUser, ReaderUser());
  return record;
}

// Whether the system runs what the value |name| of the registry key |path| holds: a verb's
// command, an uninstall command, or a value of a key that starts programs at logon.
bool IsCommandValue(const std::wstring& path, const std::wstring& name) {
  const size_t separator = path.rfind(L'\\');
  const std::wstring last = path.substr(separator == std::wstring::npos ? 0 : separator + 1);
  for (const wchar_t* run_key : {L"Run", L"RunOnce", L"RunOnceEx", L"RunServices",
                                 L"RunServicesOnce", L"command"}) {
    if (base::FilePath::CompareEqualIgnoreCase(last, run_key))
      return true;
  }
  for (const wchar_t* command : {L"UninstallString", L"QuietUninstallString", L"ModifyPath"}) {
    if (base::FilePath::CompareEqualIgnoreCase(name, command))
      return true;
  }
  return false;
}

// The program that |data| of |type| starts, as a command value holds it; empty when it is
// no text.
base::FilePath GetCommandProgram(DWORD type, const std::vector<uint8_t>& data) {
  if (type != REG_SZ || data.size() % sizeof(wchar_t) != 0)
    return base::FilePath();
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  if (!data.empty())
    memcpy(&text[0], data.data(), data.size());
  while (!text.empty() && text.back() == L'\0')
    text.pop_back();
  if (text.find(L'\0') != std::wstring::npos)
    return base::FilePath();
  return base::CommandLine::FromString(text).GetProgram();
}

// Whether putting back |data| of |type| as the value |name| of the key |path| (below |root|,
// in |view|) starts nothing but an installation's launcher, when the value is one whose data
// the system runs: it changes nothing, or it names the launcher of the journal's folder,
// or it takes back the registration of that folder's launcher (a class that installations
// share) in favour of another installation's launcher. A journal could name any program.
bool IsSafeValue(HKEY root,
                 REGSAM view,
                 const std::wstring& path,
                 const std::wstring& name,
                 DWORD type,
                 const std::vector<uint8_t>& data,
                 const UndoScope& scope) {
  if (!IsCommandValue(path, name))
    return true;
  DWORD current_type = REG_NONE;
  std::vector<uint8_t> current;
  base::win::RegistryKey key;
  const bool has_current =
      key.Open(root, path.c_str(), KEY_QUERY_VALUE | view) == ERROR_SUCCESS &&
      key.ReadRawValue(name.c_str(), &current_type, &current) == ERROR_SUCCESS;
  if (has_current && current_type == type && current == data)
    return true;
  const base::FilePath program = GetCommandProgram(type, data);
  if (base::FilePath::CompareEqualIgnoreCase(program.BaseName().value(), kLauncherExeName) &&
      (IsInsideFolder(program, scope.folder, false) ||
       (has_current &&
        IsInsideFolder(GetCommandProgram(current_type, current), scope.folder, false)))) {
    return true;
  }
  LOG(ERROR) << "Not restoring the value " << name << " of " << path
             << ": it would start a program other than the installation's launcher";
  return false;
}

// IsSafeValue for every value of |tree|, the key |path|.
bool IsSafeTree(HKEY root,
                REGSAM view,
                const std::wstring& path,
                const RegistryTree& tree,
                const UndoScope& scope) {
  for (const RegistryTree::Value& value : tree.values) {
    if (!IsSafeValue(root, view, path, value.name, value.type, value.data, scope))
      return false;
  }
  for (const RegistryTree& subkey : tree.subkeys) {
    if (!IsSafeTree(root, view, path + L"\\" + subkey.name, subkey, scope))
      return false;
  }
  return true;
}

// Whether |path| lies in a startup folder, where a file runs at the next logon.
bool IsInStartupFolder(const base::FilePath& path, const UndoScope& scope) {
  for (const base::FilePath& folder : scope.startup_folders) {
    if (base::FilePath::CompareEqualIgnoreCase(path.value(), folder.value()) ||
        folder.IsParentIgnoreCase(path)) {
      return true;
    }
  }
  return false;
}

// Whether the undo of |record| writes nothing that would run code from what the record
// itself holds (putting back a backup that the run set aside beside its file is the run's
// own copy, and stays allowed).
bool WritesOnlySafely(const base::DictionaryValue& record, const UndoScope& scope) {
  std::wstring text;
  if (IsKind(record, kFileKept) && record.HasKey("contents") && record.GetString("path", &text) &&
      IsInStartupFolder(base::FilePath(text), scope)) {
    LOG(ERROR) << "Not writing " << base::FilePath(text) << ": a startup folder";
    return false;
  }
  if (IsKind(record, kMoved) && record.GetString("from", &text) &&
      IsInStartupFolder(base::FilePath(text), scope)) {
    LOG(ERROR) << "Not moving a file into " << base::FilePath(text) << ": a startup folder";
    return false;
  }
  if (IsKind(record, kRegistryValueChanged)) {
    HKEY root = nullptr;
    REGSAM view = 0;
    std::wstring path;
    std::wstring name;
    std::string hex;
    int type = 0;
    std::vector<uint8_t> data;
    if (!record.GetString("data", &hex))
      return true;  // Deletes a value the run wrote.
    return GetRegistryKey(record, scope, false, &root, &view, &path) &&
           record.GetString("name", &name) && record.GetInteger("type", &type) &&
           DecodeJournalBytes(hex, &data) &&
           IsSafeValue(root, view, path, name, static_cast<DWORD>(type), data, scope);
  }
  if (IsKind(record, kRegistryKeyDeleted)) {
    HKEY root = nullptr;
    REGSAM view = 0;
    std::wstring path;
    const base::Value* saved = nullptr;
    RegistryTree tree;
    return GetRegistryKey(record, scope, false, &root, &view, &path) &&
           record.Get("tree", &saved) && RegistryTree::FromValue(*saved, &tree) &&
           IsSafeTree(root, view, path, tree, scope);
  }
  return true;
}

// Deletes the file at |path| (a folder there is not the record's and stays).
bool DeleteCreatedFile(const base::FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return true;
  if (base::DeletePath(path, false))
    return true;
  LOG(ERROR) << "Cannot remove " << path << ", made by an interrupted installation";
  return false;
}

// Writes |contents| to a new file beside |path| and puts it in the place of |path| in one
// step, so that |path| is never missing or half written.
bool ReplaceContents(const base::FilePath& path, const std::string& contents) {
  base::FilePath temp;
  if (!base::CreateTemporaryFileInDir(path.DirName(), &temp))
    return false;
  bool written = false;
  {
    base::win::ScopedHandle file(::CreateFileW(temp.value().c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD count = 0;
    written = file.IsValid() &&
              ::WriteFile(file.Get(), contents.data(), static_cast<DWORD>(contents.size()),
                          &count, nullptr) &&
              count == contents.size() && ::FlushFileBuffers(file.Get());
  }
  if (!written || !::MoveFileExW(temp.value().c_str(), path.value().c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    PLOG(ERROR) << "Cannot put back the contents of " << path;
    base::DeletePath(temp, false);
    return false;
  }
  return true;
}

bool UndoFolderCreated(const base::DictionaryValue& record, const UndoScope& scope) {
  base::FilePath folder;
  if (!GetCreatedFolderPath(record, scope, &folder))
    return false;
  if (!base::DirectoryExists(folder))
    return true;
  // A folder that the run made inside the install folder holds only what the run put
  // there, what the undo has not removed yet included (a file created just before its
  // record was written).
  if (IsInsideFolder(folder, scope.folder, false))
    return base::DeletePath(folder, true);
  if (!::RemoveDirectoryW(folder.value().c_str())) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_DIR_NOT_EMPTY) {
      ELOG(ERROR, error) << "Cannot remove folder " << folder;
      return false;
    }
    LOG(INFO) << "Keeping folder " << folder << ": it is not empty";
  }
  return true;
}

bool UndoSetAside(const base::DictionaryValue& record, const UndoScope& scope) {
  base::FilePath path;
  base::FilePath backup;
  if (!GetScopedPath(record, "path", scope, &path) ||
      !GetBackupPath(record, "backup", path, &backup)) {
    return false;
  }
  if (!base::PathExists(backup))
    return true;
  // What took the place afterwards was the run's.
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY)
                             ? ::RemoveDirectoryW(path.value().c_str()) != FALSE
                             : base::DeletePath(path, false);
    if (!removed) {
      PLOG(ERROR) << "Cannot remove " << path << " to put " << backup << " back";
      return false;
    }
  }
  if (!::MoveFileExW(backup.value().c_str(), path.value().c_str(), 0)) {
    PLOG(ERROR) << "Cannot restore " << path << " from " << backup;
    return false;
  }
  return true;
}

bool UndoMoved(const base::DictionaryValue& record, const UndoScope& scope) {
  base::FilePath from;
  base::FilePath to;
  if (!GetScopedPath(record, "from", scope, &from) || !GetScopedPath(record, "to", scope, &to))
    return false;
  if (!base::PathExists(to) || base::PathExists(from))
    return true;
  return base::MovePath(to, from);
}

bool UndoFileKept(const base::DictionaryValue& record, const UndoScope& scope) {
  base::FilePath path;
  if (!GetScopedPath(record, "path", scope, &path))
    return false;
  std::string hex;
  if (record.GetString("contents", &hex)) {
    std::vector<uint8_t> contents;
    if (!DecodeJournalBytes(hex, &contents)) {
      LOG(ERROR) << "Undo record with unreadable contents of " << path;
      return false;
    }
    if (!ReplaceContents(path, std::string(contents.begin(), contents.end())))
      return false;
  } else if (!DeleteCreatedFile(path)) {
    return false;
  }
  Finish(record, scope);
  return true;
}

bool UndoRegistryKeyCreated(const base::DictionaryValue& record, const UndoScope& scope) {
  HKEY root = nullptr;
  REGSAM view = 0;
  std::wstring path;
  if (!GetRegistryKey(record, scope, true, &root, &view, &path))
    return false;
  base::win::RegistryKey key;
  if (key.Open(root, path.c_str(), KEY_QUERY_VALUE | view) != ERROR_SUCCESS)
    return true;
  DWORD subkeys = 0;
  DWORD values = 0;
  const bool empty = ::RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, &subkeys,
                                        nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS &&
                     subkeys == 0 && values == 0;
  key.Close();
  if (!empty) {
    LOG(INFO) << "Keeping the registry key " << path << ": it is not empty";
    return true;
  }
  const LONG result = ::RegDeleteKeyExW(root, path.c_str(), view, 0);
  if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
    ELOG(ERROR, result) << "Cannot delete the registry key " << path;
    return false;
  }
  return true;
}

bool UndoRegistryValueChanged(const base::DictionaryValue& record, const UndoScope& scope) {
  HKEY root = nullptr;
  REGSAM view = 0;
  std::wstring path;
  std::wstring name;
  if (!GetRegistryKey(record, scope, false, &root, &view, &path) ||
      !record.GetString("name", &name))
    return false;
  std::string hex;
  int type = 0;
  std::vector<uint8_t> data;
  const bool had_value = record.GetString("data", &hex);
  if (had_value && (!record.GetInteger("type", &type) || !DecodeJournalBytes(hex, &data))) {
    LOG(ERROR) << "Undo record with an unreadable value " << name << " of " << path;
    return false;
  }
  base::win::RegistryKey key;
  LONG result = key.Open(root, path.c_str(), KEY_SET_VALUE | view);
  if (result == ERROR_FILE_NOT_FOUND && !had_value)
    return true;
  if (result == ERROR_FILE_NOT_FOUND)
    result = key.Create(root, path.c_str(), KEY_SET_VALUE | view);
  if (result == ERROR_SUCCESS) {
    if (had_value) {
      result = key.WriteValue(name.c_str(), data.data(), static_cast<DWORD>(data.size()),
                              static_cast<DWORD>(type));
    } else {
      result = key.DeleteValue(name.c_str());
      if (result == ERROR_FILE_NOT_FOUND)
        result = ERROR_SUCCESS;
    }
  }
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot restore the registry value " << name << " of " << path;
    return false;
  }
  return true;
}

bool UndoRegistryKeyDeleted(const base::DictionaryValue& record, const UndoScope& scope) {
  HKEY root = nullptr;
  REGSAM view = 0;
  std::wstring path;
  const base::Value* saved = nullptr;
  RegistryTree tree;
  if (!GetRegistryKey(record, scope, false, &root, &view, &path) || !record.Get("tree", &saved) ||
      !RegistryTree::FromValue(*saved, &tree)) {
    LOG(ERROR) << "Undo record without the deleted registry key";
    return false;
  }
  const size_t separator = path.rfind(L'\\');
  base::win::RegistryKey parent;
  const LONG result =
      parent.Create(root, path.substr(0, separator).c_str(), KEY_CREATE_SUB_KEY | view);
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot restore the registry key " << path;
    return false;
  }
  // The tree is the key's own: its name is the last component of the key.
  tree.name = path.substr(separator + 1);
  return tree.Write(parent.Handle(), view);
}

bool UndoProgramRun(const base::DictionaryValue& record, const UndoScope& scope) {
  std::wstring text;
  if (!record.GetString("undo", &text)) {
    LOG(ERROR) << "Undo record without its program";
    return false;
  }
  const base::CommandLine undo = base::CommandLine::FromString(text);
  const base::FilePath program = undo.GetProgram();
  // Without its program nothing of it is left to remove.
  if (!base::PathExists(program))
    return true;
  LOG(INFO) << "Undoing an installation of an interrupted run: " << text;
  DWORD exit_code = 0;
  if (RunSignedProgram(undo, kUndoProgramLimit, &exit_code) && exit_code != 0)
    LOG(WARNING) << program << " ended with " << exit_code;
  // What the program could not undo is its own to report; the undo goes on.
  return true;
}

// The task a task_deleted record names, when it is an autoupdate task whose program is in
// the installation: a journal is a file anyone who may write the install folder may write,
// and the undo may run with more rights than they have.
bool GetScopedTask(const base::DictionaryValue& record,
                   const UndoScope& scope,
                   ScheduledTaskInfo* info) {
  std::wstring command;
  int time_limit = 0;
  int kind = 0;
  if (!record.GetString("name", &info->name) || !record.GetString("command_line", &command) ||
      !record.GetString("description", &info->description) ||
      !record.GetBoolean("system_task", &info->system_task) ||
      !record.GetInteger("time_limit_seconds", &time_limit) || time_limit < 0 ||
      !record.GetInteger("task_kind", &kind) || kind < ScheduledTaskInfo::KIND_RUN_ONCE ||
      kind > ScheduledTaskInfo::KIND_NO_TIME_TRIGGER ||
      !record.GetBoolean("logon_trigger", &info->logon_trigger) ||
      !record.GetBoolean("run_only_with_network", &info->run_only_with_network)) {
    LOG(ERROR) << "Undo record of a task, incomplete";
    return false;
  }
  info->time_limit_seconds = static_cast<uint32_t>(time_limit);
  info->kind = static_cast<uint32_t>(kind);
  info->command_line = base::CommandLine::FromString(command);
  const base::FilePath program = info->command_line.GetProgram();
  if (!base::StartsWith(info->name, kAutoupdateTaskNamePrefix, base::CompareCase::SENSITIVE) ||
      !IsInsideFolder(program, scope.folder, false)) {
    LOG(ERROR) << "Not registering the task " << info->name << " of " << program
               << ": not an autoupdate task of the installation";
    return false;
  }
  return true;
}

bool UndoTaskDeleted(const base::DictionaryValue& record, const UndoScope& scope) {
  ScheduledTaskInfo info;
  if (!GetScopedTask(record, scope, &info))
    return false;
  const std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
  if (!scheduler || !scheduler->Init()) {
    LOG(ERROR) << "Could not initialize task scheduler";
    return false;
  }
  if (scheduler->IsTaskRegistered(info.name))
    return true;
  LOG(INFO) << "Registering again the scheduled task " << info.name;
  if (!scheduler->RegisterTask(info)) {
    LOG(ERROR) << "Could not register the scheduled task " << info.name << " again";
    return false;
  }
  return true;
}

// Whether every place |record| names is in |scope| (and the record is one at all).
bool IsWithinScope(const base::DictionaryValue& record, const UndoScope& scope) {
  base::FilePath path;
  base::FilePath other;
  HKEY root = nullptr;
  REGSAM view = 0;
  std::wstring key;
  if (IsKind(record, kFolderCreated))
    return GetCreatedFolderPath(record, scope, &path);
  if (IsKind(record, kFileCreated))
    return GetScopedPath(record, "path", scope, &path);
  if (IsKind(record, kSetAside)) {
    return GetScopedPath(record, "path", scope, &path) &&
           GetBackupPath(record, "backup", path, &other);
  }
  if (IsKind(record, kMoved))
    return GetScopedPath(record, "from", scope, &path) && GetScopedPath(record, "to", scope, &other);
  if (IsKind(record, kFileKept)) {
    return GetScopedPath(record, "path", scope, &path) &&
           (!record.HasKey("backup") || GetBackupPath(record, "backup", path, &other));
  }
  if (IsKind(record, kRegistryKeyCreated))
    return GetRegistryKey(record, scope, true, &root, &view, &key);
  if (IsKind(record, kRegistryValueChanged) || IsKind(record, kRegistryKeyDeleted))
    return GetRegistryKey(record, scope, false, &root, &view, &key);
  if (IsKind(record, kProgramRun)) {
    std::wstring undo;
    if (!record.GetString("undo", &undo))
      return false;
    const base::FilePath program = base::CommandLine::FromString(undo).GetProgram();
    if (IsInsideFolder(program, scope.folder, false))
      return true;
    LOG(ERROR) << "Not running " << program << ": outside the installation";
    return false;
  }
  if (IsKind(record, kTaskDeleted)) {
    ScheduledTaskInfo info;
    return GetScopedTask(record, scope, &info);
  }
  if (IsKind(record, kPointOfNoReturn) || IsKind(record, kRevoked) ||
      IsKind(record, kJournalStart)) {
    return true;
  }
  LOG(ERROR) << "Undo record of an unknown kind";
  return false;
}

}  // namespace

std::unique_ptr<base::DictionaryValue> FolderCreated(const base::FilePath& folder) {
  std::unique_ptr<base::DictionaryValue> record = MakeRecord(kFolderCreated);
  record->SetString("path", folder.value());
  record->SetString(kUser, ReaderUser());
  return record;
}

std::unique_ptr<base::DictionaryValue> FileCreated(const base::FilePath& path) {
  std::unique_ptr<base::DictionaryValue> record = MakeRecord(kFileCreated);
  record->SetString("path", path.value());
  return record;
}

std::unique_ptr<base::DictionaryValue> SetAside(const base::FilePath& path,
                                                const base::FilePath& backup) {
  std::unique_ptr<base::DictionaryValue> record = MakeRecord(kSetAside);
  record->SetString("path", path.value());
  record->SetString("backup", backup.value());
  return record;
}

std::unique_ptr<base::DictionaryValue> Moved(const base::FilePath& from,
                                             const base::FilePath& to) {
  std::unique_ptr<base::DictionaryValue> record = MakeRecord(kMoved);
  record->SetString("from", from.value());
  record->SetString("to", to.value());
  return record;
}

std::unique_ptr<base::DictionaryValue> FileKept(const base::FilePath& path,
                                                const std::string* contents,
                                                const base::FilePath& backup) {
  std::unique_ptr<base::DictionaryValue> record = MakeRecord(kFileKept);
  record->SetString("path", path.value());
  if (contents)
    record->SetString("contents", EncodeJournalBytes(contents->data(), contents->size()));
  if (!backup.empty())
    record->SetString("backup", backup.value());
  return record;
}

std::unique_ptr<base::DictionaryValue> RegistryKeyCreated(HKEY root,
                                                          REGSAM view,
                                                          const std::wstring& path) {
  return MakeRegistryRecord(kRegistryKeyCreated, root, view, path);
}

std::unique_ptr<base::DictionaryValue> RegistryValueChanged(HKEY root,
                                                            REGSAM view,
                                                            const std::wstring& path,
                                                            const std::wstring& name,
                                                            bool had_value,
                                                            DWORD type,
                                                            const std::vector<uint8_t>& data) {
  std::unique_ptr<base::DictionaryValue> record =
      MakeRegistryRecord(kRegistryValueChanged, root, view, path);
  record->SetString("name", name);
  if (had_value) {
    record->SetInteger("type", static_cast<int>(type));
    record->SetString("data", EncodeJournalBytes(data.data(), data.size()));
  }
  return record;
}

std::unique_ptr<base::DictionaryValue> RegistryKeyDeleted(HKEY root,
                                                          REGSAM view,
                                                          const std::wstring& path,
                                                          const RegistryTree& tree) {
  std::unique_ptr<base::DictionaryValue> record =
      MakeRegistryRecord(kRegistryKeyDeleted, root, view, path);
  record->Set("tree", tree.ToValue());
  return record;
}

std::unique_ptr<base::DictionaryValue> ProgramRun(const base::CommandLine& undo) {
  std::unique_ptr<base::DictionaryValue> record = MakeRecord(kProgramRun);
  record->SetString("undo", undo.GetCommandLineString());
  return record;
}

std::unique_ptr<base::DictionaryValue> TaskDeleted(const ScheduledTaskInfo& info) {
  std::unique_ptr<base::DictionaryValue> record = MakeRecord(kTaskDeleted);
  record->SetString("name", info.name);
  record->SetString("command_line", info.command_line.GetCommandLineString());
  record->SetString("description", info.description);
  record->SetBoolean("system_task", info.system_task);
  record->SetInteger("time_limit_seconds", static_cast<int>(info.time_limit_seconds));
  record->SetInteger("task_kind", static_cast<int>(info.kind));
  record->SetBoolean("logon_trigger", info.logon_trigger);
  record->SetBoolean("run_only_with_network", info.run_only_with_network);
  return record;
}

std::unique_ptr<base::DictionaryValue> PointOfNoReturn() {
  return MakeRecord(kPointOfNoReturn);
}

std::unique_ptr<base::DictionaryValue> JournalStart() {
  return MakeRecord(kJournalStart);
}

bool IsJournalStart(const base::DictionaryValue& record) {
  return IsKind(record, kJournalStart);
}

bool IsPointOfNoReturn(const base::DictionaryValue& record) {
  return IsKind(record, kPointOfNoReturn);
}

std::string RevokedPointOfNoReturnLine(size_t length) {
  std::string line = std::string("{\"") + kKind + "\":\"" + kRevoked + "\"";
  line.resize(length - 2, ' ');
  return line + "}\n";
}

bool CreatedFolderOrAncestor(const base::DictionaryValue& record, const base::FilePath& folder) {
  const base::FilePath created = GetCreatedFolder(record);
  return !created.empty() &&
         (base::FilePath::CompareEqualIgnoreCase(created.value(), folder.value()) ||
          created.IsParentIgnoreCase(folder));
}

base::FilePath GetCreatedFolder(const base::DictionaryValue& record) {
  std::wstring path;
  if (!IsKind(record, kFolderCreated) || !record.GetString("path", &path))
    return base::FilePath();
  return base::FilePath(path);
}

// static
UndoScope UndoScope::ForFolder(const base::FilePath& folder, RegistryKeyFilter registry_keys) {
  UndoScope scope;
  scope.folder = folder;
  scope.registry_keys = std::move(registry_keys);
  // Each with the known folder it lies in.
  const struct {
    int key;
    const KNOWNFOLDERID* known_folder;
  } shell_folders[] = {
      {base::DIR_USER_DESKTOP, &FOLDERID_Profile},
      {base::DIR_COMMON_DESKTOP, &FOLDERID_Public},
      {base::DIR_START_MENU, &FOLDERID_StartMenu},
      {base::DIR_COMMON_START_MENU, &FOLDERID_CommonStartMenu},
      {base::DIR_USER_QUICK_LAUNCH, &FOLDERID_RoamingAppData},
  };
  for (const auto& shell : shell_folders) {
    base::FilePath shell_folder;
    if (!base::PathRegistry::Get(shell.key, &shell_folder))
      continue;
    scope.shell_folders.push_back(shell_folder);
    base::FilePath known_folder;
    if (FAILED(base::win::GetKnownFolderPath(*shell.known_folder, KF_FLAG_DONT_VERIFY,
                                             &known_folder))) {
      known_folder.clear();
    }
    scope.AddShortcutLocation(shell_folder, known_folder);
  }
  for (const KNOWNFOLDERID* id : {&FOLDERID_Startup, &FOLDERID_CommonStartup}) {
    base::FilePath startup;
    if (SUCCEEDED(base::win::GetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, &startup)))
      scope.startup_folders.push_back(startup);
  }
  scope.user = CurrentUserSidText();
  return scope;
}

void UndoScope::AddShortcutLocation(const base::FilePath& location,
                                    const base::FilePath& known_folder) {
  shortcut_locations.push_back(location);
  if (known_folder.empty() || !known_folder.IsParentIgnoreCase(location))
    return;
  for (base::FilePath parent = location.DirName(); known_folder.IsParentIgnoreCase(parent);
       parent = parent.DirName()) {
    shortcut_locations.push_back(parent);
  }
}

UndoResult Undo(const base::DictionaryValue& record, const UndoScope& scope) {
  if (!IsWithinScope(record, scope) || !WritesOnlySafely(record, scope))
    return UndoResult::kRefused;
  if (IsKind(record, kProgramRun) && !scope.run_programs) {
    LOG(INFO) << "Leaving the undo of a program's installation to a run of the installer";
    return UndoResult::kFailed;
  }
  bool undone = true;
  if (IsKind(record, kFolderCreated)) {
    undone = UndoFolderCreated(record, scope);
  } else if (IsKind(record, kFileCreated)) {
    base::FilePath path;
    undone = GetScopedPath(record, "path", scope, &path) && DeleteCreatedFile(path);
  } else if (IsKind(record, kSetAside)) {
    undone = UndoSetAside(record, scope);
  } else if (IsKind(record, kMoved)) {
    undone = UndoMoved(record, scope);
  } else if (IsKind(record, kFileKept)) {
    undone = UndoFileKept(record, scope);
  } else if (IsKind(record, kRegistryKeyCreated)) {
    undone = UndoRegistryKeyCreated(record, scope);
  } else if (IsKind(record, kRegistryValueChanged)) {
    undone = UndoRegistryValueChanged(record, scope);
  } else if (IsKind(record, kRegistryKeyDeleted)) {
    undone = UndoRegistryKeyDeleted(record, scope);
  } else if (IsKind(record, kProgramRun)) {
    undone = UndoProgramRun(record, scope);
  } else if (IsKind(record, kTaskDeleted)) {
    undone = UndoTaskDeleted(record, scope);
  }
  return undone ? UndoResult::kUndone : UndoResult::kFailed;
}

void Finish(const base::DictionaryValue& record, const UndoScope& scope) {
  if (!IsKind(record, kSetAside) && !IsKind(record, kFileKept))
    return;
  base::FilePath path;
  base::FilePath backup;
  if (!GetScopedPath(record, "path", scope, &path) ||
      !GetBackupPath(record, "backup", path, &backup)) {
    return;
  }
  if (!base::DeletePath(backup, true))
    LOG(WARNING) << "Could not delete " << backup << ", the old copy of " << path;
}

}  // namespace undo_record
}  // namespace installer
