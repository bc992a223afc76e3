#include "desktop/windows/installer/service/installation.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <memory>
#include <vector>

#include "base/files/file_util.h"
#include "base/json/json_file_reader.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/values.h"
#include "base/win/executable_path.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/known_folders.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"

namespace installer {

const wchar_t kLauncherExeName[] = L"launcher.exe";
const wchar_t kInstallerPrefsFileName[] = L"installer_prefs.json";

namespace {

constexpr wchar_t kSingleProfileFolderName[] = L"profile";

// The path of a known folder, also when it does not exist (yet).
bool GetKnownFolder(REFKNOWNFOLDERID id, base::FilePath* path) {
  return GetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, path, false);
}

std::wstring ToLower(std::wstring text) {
  if (!text.empty())
    ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The default value of "Software\Classes\<path>" of the current user, else of the
// machine.
std::wstring ReadClassesValue(const std::wstring& path) {
  const std::wstring classes_path = L"Software\\Classes\\" + path;
  std::wstring value = ReadRegistryDefaultValue(HKEY_CURRENT_USER, classes_path);
  if (value.empty())
    value = ReadRegistryDefaultValue(HKEY_LOCAL_MACHINE, classes_path);
  return value;
}

base::FilePath GetExecutableFolder() {
  base::FilePath executable;
  if (!base::win::GetExecutablePath(&executable))
    return base::FilePath();
  return executable.DirName();
}

struct CurrentInstallation {
  CurrentInstallation() : installation(GetInstallationFolderOf(GetExecutableFolder())) {}
  Installation installation;
};

base::LazyInstance<CurrentInstallation> g_current_installation;

}  // namespace

Installation::Installation(const base::FilePath& folder) : folder_(folder) {}

Installation::Installation(const base::FilePath& folder, const InstallStatus& status)
    : folder_(folder), status_(status) {}

bool Installation::GetStatus(InstallStatus* status) const {
  if (status_) {
    *status = *status_;
    return true;
  }
  return LoadInstallStatus(folder_.Append(kInstallStatusFileName), status);
}

base::FilePath Installation::GetLauncherPath() const {
  return folder_.Append(kLauncherExeName);
}

bool Installation::IsCopyOnly() const {
  InstallStatus status;
  return GetStatus(&status) && status.copy_only;
}

bool Installation::GetProfileDirectory(base::FilePath* path, bool must_exist) const {
  base::FilePath profile;
  if (!FindProfileDirectory(false, &profile) || (must_exist && !base::DirectoryExists(profile))) {
    return false;
  }
  *path = profile;
  return true;
}

bool Installation::GetRecordedProfileDirectory(base::FilePath* path) const {
  return FindProfileDirectory(true, path);
}

bool Installation::FindProfileDirectory(bool recorded_only, base::FilePath* path) const {
  base::FilePath profile;
  bool single_profile = false;
  bool single_profile_known = false;
  const base::FilePath prefs_path = folder_.Append(kInstallerPrefsFileName);
  if (base::PathExists(prefs_path)) {
    base::JsonFileReader reader(prefs_path);
    std::unique_ptr<base::Value> prefs = reader.Deserialize(nullptr, nullptr);
    const base::DictionaryValue* dictionary = nullptr;
    if (prefs && prefs->GetAsDictionary(&dictionary)) {
      std::wstring profile_path;
      if (dictionary->GetString("profile_path", &profile_path) && !profile_path.empty()) {
        profile = base::FilePath(profile_path);
        if (!profile.IsAbsolute())
          profile = folder_.Append(profile);
      }
      single_profile_known = dictionary->GetBoolean("single_profile", &single_profile);
    } else {
      LOG(WARNING) << "Cannot read " << prefs_path;
    }
  }

  if (profile.empty()) {
    if (!single_profile_known) {
      if (recorded_only) {
        LOG(WARNING) << "The profile mode of " << folder_ << " is not recorded";
        return false;
      }
      single_profile = IsCopyOnly();
    }
    if (single_profile) {
      profile = folder_.Append(kSingleProfileFolderName);
    } else {
      base::FilePath roaming;
      if (!GetKnownFolder(FOLDERID_RoamingAppData, &roaming))
        return false;
      const ProductNaming& naming = ProductNaming::GetInstance();
      profile = roaming.Append(naming.GetCompanyName()).Append(naming.GetVisibleNameWithStream());
    }
  }
  *path = profile;
  return true;
}

void Installation::TranslateProfilePath(const base::FilePath& path,
                                        base::FilePath* local_path) const {
  base::FilePath roaming;
  base::FilePath local;
  *local_path = path;
  if (!GetKnownFolder(FOLDERID_RoamingAppData, &roaming) ||
      !GetKnownFolder(FOLDERID_LocalAppData, &local)) {
    return;
  }
  // Folder names compare without regard to case: a path written otherwise is the same.
  const std::vector<std::wstring> roaming_parts = roaming.GetComponents();
  const std::vector<std::wstring> parts = path.GetComponents();
  if (parts.size() < roaming_parts.size())
    return;
  for (size_t i = 0; i < roaming_parts.size(); ++i) {
    if (!base::FilePath::CompareEqualIgnoreCase(roaming_parts[i], parts[i]))
      return;
  }
  for (size_t i = roaming_parts.size(); i < parts.size(); ++i)
    local = local.Append(parts[i]);
  *local_path = local;
}

bool Installation::IsDefaultHandlerFor(const std::wstring& association,
                                       bool use_browser_exe) const {
  return IsHandlerCommand(GetAssociationOpenCommand(association), use_browser_exe);
}

bool Installation::IsHandlerCommand(const std::wstring& command, bool use_browser_exe) const {
  if (command.empty())
    return false;
  std::vector<base::FilePath> programs;
  if (use_browser_exe) {
    InstallStatus status;
    if (GetStatus(&status) && !status.subfolder.empty())
      programs.push_back(folder_.Append(status.subfolder).Append(GetBrowserExeName()));
    programs.push_back(folder_.Append(GetBrowserExeName()));
  } else {
    programs.push_back(GetLauncherPath());
  }
  const std::wstring lower_command = ToLower(command);
  for (const base::FilePath& program : programs) {
    if (lower_command.find(ToLower(program.value())) != std::wstring::npos)
      return true;
  }
  return false;
}

std::wstring GetAssociationOpenCommand(const std::wstring& association) {
  if (association.empty())
    return std::wstring();
  const bool is_extension = association[0] == L'.';
  // The choice the user made in the shell's dialogs wins over the classes.
  const std::wstring choice_path =
      (is_extension ? L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\"
                    : L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\") +
      association + L"\\UserChoice";
  std::wstring class_name;
  base::win::RegistryKey choice(HKEY_CURRENT_USER, choice_path.c_str(), KEY_QUERY_VALUE);
  if (choice.Valid())
    choice.ReadValue(L"Progid", &class_name);
  if (class_name.empty() && is_extension)
    class_name = ReadClassesValue(association);
  if (class_name.empty())
    class_name = association;
  return ReadClassesValue(class_name + L"\\shell\\open\\command");
}

std::wstring ReadRegistryDefaultValue(HKEY root, const std::wstring& path) {
  std::wstring value;
  base::win::RegistryKey key(root, path.c_str(), KEY_QUERY_VALUE);
  if (key.Valid())
    key.ReadValue(nullptr, &value);
  return value;
}

base::FilePath GetInstallationFolderOf(const base::FilePath& exe_folder) {
  if (!base::PathExists(exe_folder.Append(kLauncherExeName))) {
    const base::FilePath parent = exe_folder.DirName();
    // What an interrupted run left may lack its launcher until it is undone; its status
    // file or undo journal still marks the folder.
    if (parent != exe_folder && (base::PathExists(parent.Append(kLauncherExeName)) ||
                                 base::PathExists(parent.Append(kInstallStatusFileName)) ||
                                 HasUndoJournal(parent))) {
      return parent;
    }
  }
  return exe_folder;
}

const Installation& GetCurrentInstallation() {
  return g_current_installation.Get().installation;
}

}  // namespace installer
