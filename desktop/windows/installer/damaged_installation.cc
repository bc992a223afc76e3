#include "desktop/windows/installer/damaged_installation.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/version.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/installer_registry_tables.h"
#include "desktop/windows/installer/installer_variables.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/file_identity.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/transactions/file_backup.h"

namespace installer {

namespace {

constexpr wchar_t kOldStatusFolderName[] = L"old_status";
constexpr wchar_t kProfileFolderName[] = L"profile";

// The uninstall entry the installation in |folder| registered: of those that name it, the
// first whose "InstallLocation" is the folder (the machine's first).
bool FindUninstallEntry(const base::FilePath& folder, UninstallEntry* found) {
  for (UninstallEntry& entry : FindUninstallEntries(folder)) {
    if (entry.names_location) {
      *found = std::move(entry);
      return true;
    }
  }
  return false;
}

// The version of a version folder's name ("7.4.3105.12", or with "_n" for a second
// folder of one version) and that n (-1 without); invalid for any other name.
base::Version ParseVersionFolder(const std::wstring& name, int* copy) {
  const size_t underscore = name.find(L'_');
  *copy = -1;
  if (underscore != std::wstring::npos) {
    const std::wstring number = name.substr(underscore + 1);
    if (number.empty() || number.size() > 6 ||
        number.find_first_not_of(L"0123456789") != std::wstring::npos) {
      return base::Version();
    }
    *copy = std::stoi(number);
  }
  const std::wstring text = name.substr(0, underscore);
  if (text.find_first_not_of(L"0123456789.") != std::wstring::npos)
    return base::Version();
  const base::Version version(base::Utf16ToUtf8(text));
  return version.IsValid() && version.components().size() == 4 ? version : base::Version();
}

// The installation's version folder: the one named by its uninstall entry's version, else
// the newest that holds the browser.
base::FilePath FindVersionFolder(const base::FilePath& folder, const std::string& version) {
  base::FilePath newest;
  base::Version newest_version;
  int newest_copy = -1;
  base::FileEnumerator entries(folder, false, base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    int copy = -1;
    const base::Version parsed = ParseVersionFolder(entry.BaseName().value(), &copy);
    if (!parsed.IsValid() || !base::PathExists(entry.Append(GetBrowserExeName())))
      continue;
    if (!version.empty() && entry.BaseName().value() == base::AsciiToUtf16(version))
      return entry;
    const int order = newest.empty() ? 1 : parsed.CompareTo(newest_version);
    if (order > 0 || (order == 0 && copy > newest_copy)) {
      newest = entry;
      newest_version = parsed;
      newest_copy = copy;
    }
  }
  return newest;
}

// Every file below |folder|, relative to it, as the status file lists them.
std::vector<std::string> ListFiles(const base::FilePath& folder) {
  std::vector<std::string> files;
  base::FileEnumerator entries(folder, true, base::FileEnumerator::FILES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    base::FilePath relative;
    if (!FileBackup::IsBackupName(entry.BaseName().value()) &&
        folder.AppendRelativePath(entry, &relative)) {
      files.push_back(relative.ToUtf8());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// What the installation keeps beside its launcher in the install folder, named after it
// ("launcher.VisualElementsManifest.xml").
std::vector<std::string> ListLauncherCompanions(const base::FilePath& folder) {
  const std::wstring launcher = base::FilePath(kLauncherExeName).RemoveExtension().value() + L".";
  std::vector<std::string> files;
  base::FileEnumerator entries(folder, false, base::FileEnumerator::FILES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    const std::wstring name = entry.BaseName().value();
    if (base::StartsWith(name, launcher, base::CompareCase::INSENSITIVE_ASCII) &&
        !base::FilePath::CompareEqualIgnoreCase(name, kLauncherExeName)) {
      files.push_back(base::Utf16ToUtf8(name));
    }
  }
  return files;
}

// The components: folders of the install folder that hold their own installer.
std::vector<InstallComponent> FindComponents(const base::FilePath& folder) {
  std::vector<InstallComponent> components;
  base::FileEnumerator entries(folder, false, base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    const std::wstring name = entry.BaseName().value();
    int copy = -1;
    if (base::FilePath::CompareEqualIgnoreCase(name, kOldStatusFolderName) ||
        base::FilePath::CompareEqualIgnoreCase(name, kProfileFolderName) ||
        ParseVersionFolder(name, &copy).IsValid() ||
        !base::PathExists(Installer::GetComponentInstallerPath(entry, name))) {
      continue;
    }
    components.push_back(InstallComponent{base::Utf16ToUtf8(name), entry});
  }
  return components;
}

// The registry entries the registry step writes for an installation in |folder| with the
// uninstall entry |entry|, as it records them.
class RegistryRecordMaker : public RegistryVariableResolver {
 public:
  RegistryRecordMaker(const base::FilePath& folder, const UninstallEntry& entry)
      : folder_(folder), entry_(entry) {}

  void Make(InstallStatus* status) {
    RegistryRecord* record =
        entry_.root == HKEY_LOCAL_MACHINE ? &status->hklm_keys : &status->hkcu_keys;
    std::vector<const RegistryTemplateRow*> rows;
    for (const RegistryTemplateRow& row : GetMainRegistryTable())
      rows.push_back(&row);
    rows.push_back(&kHideFromProgramsAndFeaturesRegOp);
    for (const RegistryTemplateRow* row : rows) {
      if (!RegistryEntry(*row, this).AddToRecord(entry_.root, record))
        LOG(WARNING) << "Cannot record the registry row of key " << row->key;
    }
  }

  // RegistryVariableResolver:
  std::wstring ResolveVariable(const std::wstring& name) override {
    return ResolveInstallerVariable(name, folder_, entry_.key_path);
  }
  RegistryRecord* GetRegistryRecord(HKEY root) override { return nullptr; }

 private:
  const base::FilePath folder_;
  const UninstallEntry entry_;
};

// The installation's shortcuts: those of the product's names (with the major version when
// another installation had taken the name) that point to its launcher.
void FindShortcuts(bool all_users, const base::FilePath& launcher, InstallStatus* status) {
  FileIdentity identity;
  if (!GetFileInfo(launcher, &identity))
    return;
  const struct {
    int folder_key;
    base::FilePath* path;
  } places[] = {
      {all_users ? base::DIR_COMMON_DESKTOP : base::DIR_USER_DESKTOP, &status->desktop_shortcut},
      {all_users ? base::DIR_COMMON_START_MENU : base::DIR_START_MENU,
       &status->start_menu_shortcut},
      {base::DIR_USER_QUICK_LAUNCH, &status->quick_launch_shortcut},
  };
  for (const auto& place : places) {
    base::FilePath folder;
    if (!base::PathRegistry::Get(place.folder_key, &folder))
      continue;
    for (bool with_version : {false, true}) {
      const base::FilePath shortcut = folder.Append(Installer::GetMasterShortcutName(with_version));
      if (base::PathExists(shortcut) && IsShortcutTo(shortcut, launcher, identity)) {
        *place.path = shortcut;
        break;
      }
    }
  }
}

// The program a command line starts ("\"C:\\x\\launcher.exe\",0", "\"...\" /uninstall").
base::FilePath ProgramOf(const std::wstring& command) {
  if (command.size() < 2 || command.front() != L'"')
    return base::FilePath();
  const size_t close = command.find(L'"', 1);
  return close == std::wstring::npos ? base::FilePath()
                                     : base::FilePath(command.substr(1, close - 1));
}

}  // namespace

std::vector<UninstallEntry> FindUninstallEntries(const base::FilePath& folder) {
  std::vector<UninstallEntry> found;
  const std::wstring prefix = base::Utf8ToUtf16(ProductInfo::GetProductName()) + L" ";
  const base::FilePath launcher = folder.Append(kLauncherExeName);
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    const std::wstring parent = GetUninstallRegistryKey();
    for (base::win::RegistryKeyIterator it(root, parent.c_str(), KEY_WOW64_32KEY); it.Valid();
         ++it) {
      const std::wstring name = it.Name();
      if (!base::StartsWith(name, prefix, base::CompareCase::INSENSITIVE_ASCII))
        continue;
      const std::wstring path = parent + L"\\" + name;
      const base::win::RegistryKey key(root, path.c_str(), KEY_READ | KEY_WOW64_32KEY);
      std::wstring location, icon, uninstall, version;
      const bool names_location = key.ReadValue(L"InstallLocation", &location) == ERROR_SUCCESS &&
                                  IsSamePath(base::FilePath(location), folder);
      // An entry its run left half written may name the folder only by the launcher.
      const bool names_launcher =
          (key.ReadValue(L"DisplayIcon", &icon) == ERROR_SUCCESS &&
           IsSamePath(ProgramOf(icon), launcher)) ||
          (key.ReadValue(L"UninstallString", &uninstall) == ERROR_SUCCESS &&
           IsSamePath(ProgramOf(uninstall), launcher));
      if (!names_location && !names_launcher)
        continue;
      key.ReadValue(L"DisplayVersion", &version);
      found.push_back(UninstallEntry{root, path, base::Utf16ToUtf8(version), names_location});
    }
  }
  return found;
}

std::vector<std::string> FindAutoupdateTaskIds(const base::FilePath& launcher) {
  std::vector<std::string> ids;
  const std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
  std::vector<std::wstring> names;
  if (!scheduler || !scheduler->Init() || !scheduler->GetTaskNames(&names))
    return ids;
  const std::wstring prefix = kAutoupdateTaskNamePrefix;
  for (const std::wstring& name : names) {
    ScheduledTaskInfo task;
    if (base::StartsWith(name, prefix, base::CompareCase::INSENSITIVE_ASCII) &&
        scheduler->GetTaskInfo(name, &task) &&
        base::FilePath::CompareEqualIgnoreCase(task.command_line.GetProgram().value(),
                                               launcher.value())) {
      ids.push_back(base::Utf16ToUtf8(name.substr(prefix.size())));
    }
  }
  return ids;
}

std::vector<base::FilePath> FindLeftoversOfInterruptedRun(const base::FilePath& folder,
                                                          const InstallStatus& status) {
  std::vector<base::FilePath> leftovers;
  base::FileEnumerator entries(folder, false,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    const std::wstring name = entry.BaseName().value();
    int copy = -1;
    const bool directory = entries.GetInfo().IsDirectory();
    if (FileBackup::IsBackupName(name) ||
        (directory && ParseVersionFolder(name, &copy).IsValid() &&
         !base::FilePath::CompareEqualIgnoreCase(name, status.subfolder.value()))) {
      leftovers.push_back(entry);
    }
  }
  return leftovers;
}

bool RecognizeDamagedInstallation(const base::FilePath& folder,
                                  bool status_file_damaged,
                                  InstallStatus* status) {
  UninstallEntry entry;
  const bool registered = FindUninstallEntry(folder, &entry);
  const base::FilePath version_folder = FindVersionFolder(folder, entry.version);
  const base::FilePath launcher = folder.Append(kLauncherExeName);
  const bool has_launcher = base::PathExists(launcher);
  // Without status file and uninstall entry, the browser's version folder with the launcher
  // beside it is still an installation: an install over it must replace it, not add one.
  if (!registered && !(status_file_damaged ? (!version_folder.empty() || has_launcher)
                                           : (!version_folder.empty() && has_launcher))) {
    return false;
  }
  LOG(WARNING) << "The installation in " << folder << " has "
               << (status_file_damaged ? "a damaged" : "no") << " status file"
               << (registered ? "; its uninstall entry is " + base::Utf16ToUtf8(entry.key_path)
                              : std::string());
  InstallStatus made;
  made.copy_only = !registered;
  made.all_users = entry.root == HKEY_LOCAL_MACHINE;
  made.install_folder = folder;
  if (!version_folder.empty()) {
    made.subfolder = version_folder.BaseName();
    made.files = ListFiles(version_folder);
  }
  int copy = -1;
  made.version = !entry.version.empty()
                     ? entry.version
                     : ParseVersionFolder(made.subfolder.value(), &copy).GetString();
  made.root_files = ListLauncherCompanions(folder);
  made.components = FindComponents(folder);
  if (registered) {
    RegistryRecordMaker(folder, entry).Make(&made);
    FindShortcuts(made.all_users, launcher, &made);
  } else if (!status_file_damaged) {
    // Nothing tells for whom it was installed: the shortcuts to its launcher do.
    FindShortcuts(false, launcher, &made);
    if (made.desktop_shortcut.empty() && made.start_menu_shortcut.empty()) {
      FindShortcuts(true, launcher, &made);
      made.all_users = !made.desktop_shortcut.empty() || !made.start_menu_shortcut.empty();
    }
  }
  const std::vector<std::string> task_ids = FindAutoupdateTaskIds(launcher);
  if (!task_ids.empty())
    made.app_id = task_ids.front();
  *status = std::move(made);
  return true;
}

}  // namespace installer
