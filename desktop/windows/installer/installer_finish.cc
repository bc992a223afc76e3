// What the Installer does once an installation stands: the default browser, the scheduled
// autoupdate, the firewall rule, the user's profile and the launch of the browser.

#include <windows.h>
#include <shlobj.h>
#include <wchar.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/prefs_task_pool.h"
#include "desktop/windows/installer/service/browser_registration.h"
#include "desktop/windows/installer/service/firewall_manager.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"

namespace installer {

namespace {

constexpr uint32_t kAutoupdateTimeLimitSeconds = 3600;
constexpr char kAutoupdateErrorCountPref[] = "au_task_error_count";
constexpr wchar_t kLocalStateFileName[] = L"Local State";
constexpr wchar_t kPreferencesFileName[] = L"Preferences";
constexpr wchar_t kCustomContentFileName[] = L"custom_partner_content.json";
constexpr wchar_t kTrackingUserAgentFileName[] = L"tracking_user_agent.json";

}  // namespace

void Installer::NotifyAssociationsChanged() {
  ::SendNotifyMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                       reinterpret_cast<LPARAM>(L"Software\\Clients\\StartMenuInternet"));
  ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

void Installer::SetUpDefaultBrowser() {
  // Windows 10 lets only the user choose the default browser; asking there is left to the
  // browser, unless nobody is there to ask.
  if (base::win::GetWindowsVersion() >= base::win::VERSION_WIN10 &&
      (command_line().HasSwitch("parent-pid") || flag(SILENT) ||
       status().details().is_http_handler)) {
    return;
  }
  if (!flag(DEFAULT_BROWSER) || flag(COPY_ONLY))
    return;
  const Installation installation(install_folder(), install_status_);
  if (flag(ALL_USERS_FLAG)) {
    VLOG(1) << "Storing old default browser settings for all users";
    SavePreviousDefaultBrowser(installation, true);
    RegisterAsDefaultBrowser(installation, true);
  }
  VLOG(1) << "Storing old default browser settings for current users";
  SavePreviousDefaultBrowser(installation, false);
  RegisterAsDefaultBrowser(installation, false);
}

void Installer::CreateAutoupdateTask() {
  // An elevated child that installs for the current user leaves the task to that user.
  if (flag(COPY_ONLY) || !(flag(ALL_USERS_FLAG) || !completion_event_.IsValid()))
    return;
  LOG(INFO) << "Creating scheduled task";
  const std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
  if (!scheduler || !scheduler->Init()) {
    LOG(ERROR) << "Could not initialize task scheduler";
    return;
  }
  scheduler->DeleteStaleTasks();
  const bool scheduled = ProductConfig::GetInstance().ShouldScheduleAutoupdateTask();
  ScheduledTaskInfo task;
  task.command_line = base::CommandLine(install_folder().Append(kLauncherExeName));
  task.command_line.AppendSwitch("scheduledautoupdate");
  task.command_line.AppendArg("$(Arg0)");
  task.name = kAutoupdateTaskNamePrefix + base::Utf8ToUtf16(install_status_.app_id);
  task.description = GetString(IDS_AUTOUPDATE_TASK_DESCRIPTION);
  task.system_task = flag(ALL_USERS_FLAG);
  task.time_limit_seconds = kAutoupdateTimeLimitSeconds;
  task.kind = scheduled ? ScheduledTaskInfo::KIND_DAILY : ScheduledTaskInfo::KIND_NO_TIME_TRIGGER;
  task.logon_trigger = scheduled;
  task.run_only_with_network = true;
  if (!scheduler->RegisterTask(task)) {
    LOG(ERROR) << "Could not create scheduled task";
    return;
  }
  // A task that works again earns back one of the failures the browser counted.
  base::scoped_refptr<JsonPrefStore> prefs =
      LoadJsonPrefStore(GetPrefsTaskPool(), install_folder().Append(kInstallerPrefsFileName));
  const base::Value* stored = nullptr;
  int count = 0;
  if (prefs->GetValue(kAutoupdateErrorCountPref, &stored) &&
      stored->IsType(base::Value::TYPE_INTEGER) && stored->GetAsInteger(&count) && count > 0) {
    prefs->SetValue(kAutoupdateErrorCountPref, std::make_unique<base::ScalarValue>(count - 1),
                    JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
    VLOG(1) << "Setting autoupdate task error counter to : " << count - 1;
    // Written before the browser can start and read it.
    if (!CommitPendingWriteAndWait(GetPrefsTaskPool(), prefs.get(), kPrefsWriteWait))
      LOG(ERROR) << "The autoupdate task error counter was not written";
  }
}

void Installer::FinalizeSuccessfulInstallation() {
  LOG(INFO) << "Finalizing successful installation";
  const base::FilePath& profile = status().details().profile_path;
  if (!profile.empty()) {
    LOG(INFO) << "User profile modifications";
    PrefsTaskPool* const pool = GetPrefsTaskPool();
    // The stores changed: the browser reads its profile when it starts, so they are
    // written before it can.
    std::vector<base::scoped_refptr<JsonPrefStore>> changed;
    const base::FilePath local_state_file = profile.Append(kLocalStateFileName);
    base::scoped_refptr<JsonPrefStore> local_state;
    if (base::PathExists(local_state_file)) {
      local_state = LoadJsonPrefStore(pool, local_state_file);
      if (local_state->GetValue("intl.app_locale", nullptr)) {
        LOG(INFO) << "Updating user profile language";
        local_state->SetValue("intl.app_locale",
                              std::make_unique<base::StringValue>(settings_->language()),
                              JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
        changed.push_back(local_state);
      }
    }
    if (!flag(AUTOUPDATE)) {
      const base::FilePath preferences_file = profile.Append(kPreferencesFileName);
      if (base::PathExists(preferences_file)) {
        LOG(INFO) << "Removing stat pref from the user profile";
        changed.push_back(LoadJsonPrefStore(pool, preferences_file));
        changed.back()->RemoveValue("statistics.collection_enabled",
                                    JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
      }
      if (local_state && UpdateProfileCustomContent(profile)) {
        LOG(INFO) << "Flag the fact that custom content was updated in profile.";
        local_state->SetValue("custom_partner_content.updated",
                              std::make_unique<base::ScalarValue>(true),
                              JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
        if (std::find(changed.begin(), changed.end(), local_state) == changed.end())
          changed.push_back(local_state);
      }
    }
    if (!changed.empty())
      LOG(INFO) << "Waiting for the user profile to be written";
    for (const base::scoped_refptr<JsonPrefStore>& store : changed) {
      if (!CommitPendingWriteAndWait(pool, store.get(), kPrefsWriteWait))
        LOG(ERROR) << "The user profile's " << store->path() << " was not brought up to date";
    }
  }

  if (flag(LAUNCH_TAVRO)) {
    // Started by StepInstallationSucceeded, once the run has told its success and let go of
    // what it kept for an undo: a run ended before then starts no browser.
    browser_launch_ =
        std::make_unique<base::CommandLine>(install_folder().Append(kLauncherExeName));
    settings_->CopyImportSwitches(browser_launch_.get());
    if (operation() != OPERATION_UPGRADING)
      browser_launch_->AppendSwitch("start-maximized");
  }
}

void Installer::LaunchBrowserAfterSuccess() {
  if (!browser_launch_)
    return;
  const std::unique_ptr<base::CommandLine> command = std::move(browser_launch_);
  LOG(INFO) << "Launching tavro with command line " << command->GetCommandLineString();
  if (!base::LaunchProcess(*command, base::LaunchOptions()).IsValid())
    LOG(WARNING) << "The browser did not start; the installation stands";
}

bool Installer::UpdateProfileCustomContent(const base::FilePath& profile) {
  const base::FilePath resources = installation_folder().Append(L"resources");
  const base::FilePath package_content = resources.Append(kCustomContentFileName);
  const base::FilePath package_user_agent = resources.Append(kTrackingUserAgentFileName);
  const base::FilePath profile_content = profile.Append(kCustomContentFileName);
  const base::FilePath profile_user_agent = profile.Append(kTrackingUserAgentFileName);
  if (!base::PathExists(package_content) && !base::PathExists(package_user_agent)) {
    const bool updated =
        base::PathExists(profile_content) && base::DeletePath(profile_content, false);
    base::DeletePath(profile_user_agent, false);
    LOG(INFO) << "Removing tracking ua file from the user profile";
    return updated;
  }
  if (base::PathExists(profile_content) || base::PathExists(profile_user_agent) ||
      !base::PathExists(package_content)) {
    return false;
  }
  LOG(INFO) << "Installed new cutsom edition to the user profile";
  if (!base::CopySingleFile(package_content, profile_content)) {
    LOG(ERROR) << "Failed to copy new custom edition file.";
    return false;
  }
  return true;
}

void Installer::UpdateFirewallRule(const base::FilePath& program, bool remove) {
  if (remove) {
    // Undone with the run: an installation that stays keeps its rule.
    Do(std::make_unique<RemoveFirewallRulesOperation>(ProductNaming::GetInstance(), program));
    return;
  }
  const std::unique_ptr<FirewallManager> manager =
      FirewallManager::Create(ProductNaming::GetInstance(), program);
  if (!manager) {
    LOG(ERROR) << "Failed creating a FirewallManager.";
    return;
  }
  if (!manager->AddFirewallRules())
    LOG(ERROR) << "Failed creating a firewall rules.";
}

std::wstring Installer::ReplaceProductPlaceholders(const std::wstring& text) const {
  if (!settings_ || !status().morrit_installation())
    return text;
  const std::wstring name = GetOldProductTypeName(status().details().old_product_type);
  std::wstring result = text;
  const size_t product = result.find(L"{Product}");
  if (product != std::wstring::npos)
    result.replace(product, wcslen(L"{Product}"), name);
  const size_t sp_product = result.find(L"{SPProduct}");
  if (sp_product != std::wstring::npos)
    result.replace(sp_product, wcslen(L"{SPProduct}"), L" " + name);
  return result;
}

// static
std::wstring Installer::GetOldProductTypeName(int type) {
  switch (type) {
    case 0:
      return std::wstring();
    case 1:
      return L"Next";
    case 2:
      return L"Labs";
    default:
      return L"Invalid";
  }
}

}  // namespace installer
