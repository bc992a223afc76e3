// The Installer's shortcuts: one master shortcut made in the package folder and copied to
// every place that wants one, the update of an earlier installation's shortcuts, and
// taskbar pins.

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/taskbar_pins.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/move_file_operation.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/taskbar_pin_helper.h"

namespace installer {

namespace {

constexpr wchar_t kAppIdPrefix[] = L"TavroSoftware.TavroWebBrowser.";
constexpr wchar_t kMessageCenterShortcutPattern[] = L"Tavro*Message Center.lnk";

// Where a shortcut of an earlier installation is, and what this run wants of it.
struct ShortcutPlace {
  const char* message;
  int folder_key;
  SettingsFlag wanted;
  bool present;
  bool recreate;
  base::FilePath old_path;
  base::FilePath* new_path;
};

bool EndsWithDigit(const base::FilePath& path) {
  const std::wstring& text = path.value();
  return !text.empty() && text.back() >= L'0' && text.back() <= L'9';
}

}  // namespace

// static
std::wstring Installer::GetMasterShortcutName(bool with_version) {
  std::wstring name = base::Utf8ToUtf16(ProductInfo::GetVisibleNameWithStream());
  if (with_version)
    name += base::WideStringPrintf(L" %d", ProductInfo::GetMajorVersion());
  return name + base::Utf8ToUtf16(ProductConfig::GetInstance().GetShortcutSuffix()) + L".lnk";
}

void Installer::StepInstallShortcuts() {
  if (flag(COPY_ONLY)) {
    ScheduleNextStep();
    return;
  }
  LOG(INFO) << "Installing shortcuts";
  std::vector<ShortcutLocation> locations;
  auto add = [&](const char* message, int folder_key, base::FilePath* field) {
    VLOG(2) << message;
    base::FilePath folder;
    if (base::PathRegistry::Get(folder_key, &folder))
      locations.push_back({folder, field});
    else
      LOG(WARNING) << "No folder for the shortcut (path key " << folder_key << ")";
  };
  if (flag(ALL_USERS_FLAG)) {
    if (flag(DESKTOP_SHORTCUT)) {
      add("Preparing  to set up shortcut on common desktop", base::DIR_COMMON_DESKTOP,
          &install_status_.desktop_shortcut);
    }
    if (flag(START_MENU_SHORTCUT)) {
      add("Preparing  to set up shortcut in common start menu", base::DIR_COMMON_START_MENU,
          &install_status_.start_menu_shortcut);
    }
  } else {
    if (flag(DESKTOP_SHORTCUT)) {
      add("Preparing  to set up shortcut on user desktop", base::DIR_USER_DESKTOP,
          &install_status_.desktop_shortcut);
    }
    if (flag(START_MENU_SHORTCUT)) {
      add("Preparing  to set up shortcut in user start menu", base::DIR_START_MENU,
          &install_status_.start_menu_shortcut);
    }
  }
  if (flag(QUICK_LAUNCH_SHORTCUT)) {
    add("Preparing  to set up shortcut in user quick launch", base::DIR_USER_QUICK_LAUNCH,
        &install_status_.quick_launch_shortcut);
  }
  bool with_version = false;
  CreateMasterShortcut(locations, flag(PINNED_SHORTCUT), &with_version,
                       install_folder().Append(kLauncherExeName));
  ScheduleNextStep();
}

void Installer::StepUpdateShortcuts() {
  if (flag(COPY_ONLY)) {
    ScheduleNextStep();
    return;
  }
  LOG(INFO) << "Updating shortcuts";
  const InstallStatus& previous = status().install_status();
  const StatusDetails& details = status().details();

  // Names with the major version in them keep it, for the new version; any other name
  // that is not the standard one becomes it.
  bool with_version = false;
  bool rename = false;
  const std::wstring plain_name = GetMasterShortcutName(false);
  for (const base::FilePath* path :
       {&previous.desktop_shortcut, &previous.start_menu_shortcut,
        &previous.quick_launch_shortcut}) {
    if (path->empty())
      continue;
    if (EndsWithDigit(path->RemoveExtension())) {
      with_version = true;
      rename = true;
      break;
    }
    if (path->BaseName().value() != plain_name)
      rename = true;
  }
  VLOG(1) << (with_version ? "Using" : "Not using") << " shortcut names with version number";
  if (rename)
    LOG(INFO) << "Shortcuts needs to be renamed";
  const std::wstring standard_name = GetMasterShortcutName(with_version);

  const bool all_users = flag(ALL_USERS_FLAG);
  const ShortcutPlace places[] = {
      {"Handling desktop shortcut:", all_users ? base::DIR_COMMON_DESKTOP : base::DIR_USER_DESKTOP,
       DESKTOP_SHORTCUT, details.desktop_shortcut_exists, details.recreate_desktop_shortcut,
       previous.desktop_shortcut, &install_status_.desktop_shortcut},
      {"Handling start menu shortcut:",
       all_users ? base::DIR_COMMON_START_MENU : base::DIR_START_MENU, START_MENU_SHORTCUT,
       details.start_menu_shortcut_exists, details.recreate_start_menu_shortcut,
       previous.start_menu_shortcut, &install_status_.start_menu_shortcut},
      {"Handling quick launch shortcut:", base::DIR_USER_QUICK_LAUNCH, QUICK_LAUNCH_SHORTCUT,
       details.quick_launch_shortcut_exists, details.recreate_quick_launch_shortcut,
       previous.quick_launch_shortcut, &install_status_.quick_launch_shortcut},
  };
  std::vector<ShortcutLocation> to_create;
  for (const ShortcutPlace& place : places) {
    VLOG(1) << place.message;
    const bool wanted = flag(place.wanted);
    base::FilePath folder;
    const bool have_folder = base::PathRegistry::Get(place.folder_key, &folder);
    if (place.present && !wanted) {
      VLOG(1) << "Removing shortcut";
      Do(std::make_unique<DeleteFileOperation>(place.old_path, false, false));
    } else if (place.present && place.recreate) {
      VLOG(1) << "Recreating shortcut";
      Do(std::make_unique<DeleteFileOperation>(place.old_path, false, false));
      if (have_folder)
        to_create.push_back({folder, place.new_path});
    } else if (place.present && rename) {
      VLOG(1) << "Moving shortcut";
      const base::FilePath renamed = place.old_path.DirName().Append(standard_name);
      *place.new_path =
          Do(std::make_unique<MoveFileOperation>(place.old_path, renamed)) ? renamed
                                                                            : place.old_path;
    } else if (place.present) {
      *place.new_path = place.old_path;
    } else if (wanted) {
      VLOG(1) << "Preparing to add shortcut";
      if (have_folder)
        to_create.push_back({folder, place.new_path});
    }
  }

  VLOG(1) << "Handling pinned shortcut:";
  const std::vector<base::FilePath>& pins = details.pinned_shortcut_paths;
  // Pins of another program of the installation (the versioned browser, the older
  // generation's) give way to a pin of the launcher, so that the user keeps one.
  bool repin = false;
  if (!pins.empty() && !flag(PINNED_SHORTCUT)) {
    LOG(INFO) << "Unpinning existing shortcuts";
    UnpinShortcuts(pins);
  } else if (!pins.empty() && details.recreate_pinned_shortcut) {
    LOG(INFO) << "Unpinning existing shortcuts (with repin)";
    UnpinShortcuts(pins);
    repin = true;
  }
  CreateMasterShortcut(to_create, repin, &with_version, install_folder().Append(kLauncherExeName));
  ScheduleNextStep();
}

bool Installer::CreateMasterShortcut(const std::vector<ShortcutLocation>& locations,
                                     bool pin,
                                     bool* with_version,
                                     const base::FilePath& target) {
  if (!*with_version) {
    const std::wstring plain_name = GetMasterShortcutName(false);
    for (const ShortcutLocation& location : locations) {
      if (base::PathExists(location.folder.Append(plain_name))) {
        LOG(INFO) << "Using version in shortcut name to avoid collision";
        *with_version = true;
        break;
      }
    }
  }
  const std::wstring name = GetMasterShortcutName(*with_version);
  LOG(INFO) << "Using shortcut name " << name;

  LOG(INFO) << "Creating master shortcut";
  const base::FilePath master = own_folder_.Append(name);
  LOG(INFO) << "Creating master shortcut at " << master;
  base::win::ShortcutProperties properties;
  properties.set_target(target);
  properties.set_working_dir(target.DirName());
  properties.set_app_id(kAppIdPrefix + base::Utf8ToUtf16(install_status_.app_id));
  if (!base::win::CreateOrUpdateShortcut(master, properties,
                                         base::win::SHORTCUT_CREATE_ALWAYS)) {
    LOG(ERROR) << "Failed to create shortcut at " << master;
    return false;
  }
  if (pin) {
    LOG(INFO) << "Pinning master shortcut";
    install_status_.pinned = Do(std::make_unique<PinToTaskbarOperation>(
        master, [this](const base::FilePath& shortcut) { return PinShortcut(shortcut); }));
  }
  for (const ShortcutLocation& location : locations) {
    const base::FilePath copy = location.folder.Append(name);
    if (Do(std::make_unique<CopyFileOperation>(master, copy)))
      *location.path = copy;
  }
  return true;
}

bool Installer::PinShortcut(const base::FilePath& shortcut) {
  if (base::win::CanPinToTaskbar() && base::win::PinToTaskbar(shortcut))
    return true;
  if (base::win::GetWindowsVersion() < base::win::VERSION_WIN10) {
    LOG(ERROR) << "Failed pinning " << shortcut;
    return false;
  }
  // Windows 10 pins only for the shell itself: the package's helper does it under the
  // shell's name.
  return RunTaskbarPinHelper(
      own_folder_, own_folder_.Append(base::win::OsInfo::GetInstance()->is_64bit_windows()
                                          ? L"installer_helper_64.exe"
                                          : L"installer_helper.exe"),
      shortcut);
}

void Installer::UnpinShortcuts(const std::vector<base::FilePath>& shortcuts) {
  for (const base::FilePath& shortcut : shortcuts) {
    VLOG(1) << "Unpinning shortcut " << shortcut;
    // Pinned again should the run be undone.
    auto unpin = std::make_unique<UnpinFromTaskbarOperation>(
        shortcut, [this](const base::FilePath& pin) { return PinShortcut(pin); });
    UnpinFromTaskbarOperation* const unpinning = unpin.get();
    const bool removed = Do(std::move(unpin));
    VLOG(1) << "Unpinning " << (removed && unpinning->unpinned() ? "successful" : "failed");
  }
}

void Installer::DeleteMessageCenterShortcuts() {
  base::FilePath start_menu;
  if (!base::PathRegistry::Get(base::DIR_START_MENU, &start_menu))
    return;
  std::vector<base::FilePath> shortcuts;
  base::FileEnumerator entries(start_menu, false, base::FileEnumerator::FILES,
                               kMessageCenterShortcutPattern);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next())
    shortcuts.push_back(entry);
  for (const base::FilePath& shortcut : shortcuts)
    Do(std::make_unique<DeleteFileOperation>(shortcut, false, false));
}

}  // namespace installer
