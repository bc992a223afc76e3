#include "desktop/windows/installer/installer_main.h"

#include <windows.h>
#include <objbase.h>
#include <stdarg.h>
#include <stdio.h>

#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "base/command_line.h"
#include "base/exit_callback_registry.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/feature_registry.h"
#include "base/features/list_feature_reader.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_registry.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/values.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/windows_version.h"
#include "components/prefs/json_pref_store.h"
#include "desktop/windows/crash_reporter/crash_client_setup.h"
#include "desktop/windows/crash_reporter/crash_reporter_main.h"
#include "desktop/windows/crash_reporter/reporter_crash_handler.h"
#include "desktop/windows/installer/download_folder_claim.h"
#include "desktop/windows/installer/folder_permission_helper.h"
#include "desktop/windows/installer/installation_registry_keys.h"
#include "desktop/windows/installer/installer_help.h"
#include "desktop/windows/installer/installer_paths.h"
#include "desktop/windows/installer/installer_runner_backend.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/prefs_task_pool.h"
#include "desktop/windows/installer/service/elevated_run.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/silent_installer_controller.h"
#include "desktop/windows/installer/tracking_data.h"
#include "desktop/windows/installer/uninstall_remnant.h"
#include "desktop/windows/installer/ui/installer_ui_controller.h"
#include "desktop/windows/installer/ui/message_box.h"
#include "desktop/windows/rc_l10n_handler/language_selection.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"

namespace installer {

namespace {

// Ends the process when the processor lacks SSE2, which the whole program is built for.
void CheckProcessorSupportsSse2() {
  if (::IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE))
    return;
  ::MessageBoxW(nullptr, L"This program requires a computer that supports SSE2 instructions.",
                L"Error", MB_OK | MB_ICONERROR);
  ::ExitProcess(1);
}

// The library's only work at load time.
struct LoadTimeInitializers {
  LoadTimeInitializers() {
    CheckProcessorSupportsSse2();
    FillSwitchHelpHints();
  }
} g_load_time_initializers;

const char* BoolText(bool value) {
  return value ? "1" : "0";
}

// The switches of the installer's processes beyond the public ones of the help: those the
// processes of one run pass each other, and the diagnostic ones.
constexpr std::string_view kInternalSwitches[] = {
    "version", "internal-version", "stream", "help", "?", "launchtavro", "backend", "install",
    "uninstall", "autoupdate", "replacemorritinstallation", "register-tavro-as-protocol-handler",
    "deleteuserprofile", "profile-folder", "install-assistant", "import-bookmarks",
    "import-session", "import-topsites-to-speeddial", "server-tracking-data",
    "server-tracking-blob", "temp-folder", "components", "initial-pid", "initial-proc-handle",
    "parent-pid", "run-elevated", "wait-for-package", "post-elevated-install-tasks",
    "set-folder-permission", "permissions-for-user", "permanent-permissions",
    "run-uninstall-bat", "crash-reporter-pid", "crash-reporter-parent-id",
    "crash-reporter-exception-info", "crash-reporter-minidump", "internal-package-server",
    "local-pref-default-overrides-server", "user-data-dir", "v", "vmodule", "profiler-timing",
    "enable-heap-profiling"};

bool IsKnownSwitch(std::string_view name) {
  if (name.starts_with(base::kFeatureSwitchPrefix))
    return true;
  for (std::string_view known : kInternalSwitches) {
    if (name == known)
      return true;
  }
  const SwitchHelp* help = GetSwitchHelpTable();
  for (size_t row = 0; row < kSwitchHelpCount; ++row) {
    if (name == help[row].name)
      return true;
  }
  return false;
}

// A mistyped switch ("--installfoler=") would otherwise change nothing without a word.
void WarnAboutUnknownSwitches(const base::CommandLine& command_line) {
  std::set<std::string> warned;
  for (const auto& entry : command_line.GetSwitches()) {
    if (!IsKnownSwitch(entry.first) && warned.insert(entry.first).second) {
      LOG(WARNING) << "Unknown switch ignored: --" << entry.first;
      SayOnStandardError("Unknown switch ignored: --" + entry.first);
    }
  }
}

// The roles of one run, from the command line (step 9 of the start).
struct RunRoles {
  bool backend = false;
  bool uninstall = false;
  bool silent = false;
  bool run_immediately = false;
  bool autoupdate = false;
  bool replace_morrit_installation = false;
  bool inside_package = false;
};

// Tells, in the language of Windows, that an uninstallation found nothing to uninstall.
void ShowNotInstalledMessage() {
  std::wstring language;
  SelectLanguage(std::wstring_view(), &language);
  ShowLocalizedMessageBox(nullptr, GetString(IDS_ERROR_NOT_INSTALLED),
                          GetString(IDS_INSTALLER_TITLE), MB_OK | MB_ICONERROR);
}

// A payload's tracking data may ask for the default browser and the browser statistics,
// and for the installation to start at once.
void ApplyTrackingDataPresets(const PayloadReader* payload_reader,
                              Settings* settings,
                              bool* run_immediately) {
  if (!payload_reader || settings->GetFlag(COPY_ONLY) ||
      (payload_reader->type() != PayloadType::kTrackingData &&
       payload_reader->type() != PayloadType::kExternalTrackingData)) {
    return;
  }
  const std::unique_ptr<base::DictionaryValue> tracking_data =
      ParseTrackingData(payload_reader->GetPayload());
  std::string default_browser;
  std::string enable_stats;
  if (!tracking_data || !tracking_data->GetStringASCII("utm.defbr", &default_browser) ||
      !tracking_data->GetStringASCII("utm.fsce", &enable_stats)) {
    return;
  }
  *run_immediately = true;
  LOG(INFO) << "defbr:" << default_browser;
  settings->SetDefaultBrowser(default_browser == "true");
  LOG(INFO) << "fsce:" << enable_stats;
  settings->SetEnableStats(enable_stats == "true");
}

// Everything RunInstaller does after the informational switches, COM and the exit-callback
// registry; returns its result byte.
unsigned char RunRole(const base::CommandLine& command_line) {
  // A crash reporter does nothing else; its own crashes are reported by a child of its own.
  if (command_line.HasSwitch("crash-reporter-parent-id")) {
    crash_reporter::InstallCrashReporterHandlers();
    if (command_line.HasSwitch("crash-reporter-exception-info"))
      crash_reporter::RunExceptionInfoReporter();
    else
      crash_reporter::RunCrashServer();
    return 1;
  }
  // Every other process runs under a crash reporter, which the crash keys tell about it.
  crash_reporter::DisableCallbackExceptionFiltering();
  if (crash_reporter::EnsureCrashReporter())
    crash_reporter::AttachCrashHandler();
  crash_reporter::FillCrashKeys();

  RegisterInstallerFeatures(&base::FeatureRegistry::GetInstance());
  const base::FilePath installation_folder = GetCurrentInstallation().folder();

  if (command_line.HasSwitch("help") || command_line.HasSwitch("?")) {
    PrintHelp();
    return 1;
  }
  if (command_line.HasSwitch("set-folder-permission")) {
    RunFolderPermissionHelper(command_line);
    return 1;
  }

  logging::LoggingSettings logging_settings;
  logging_settings.logging_dest = logging::LOG_TO_FILE;
  logging_settings.log_file = GetLogFilePath().value();
  // A file of this name can only be that of a process started within the same second, most
  // often the front end that started this backend (running, or already failed and gone):
  // its lines are kept, and this run's follow them.
  logging_settings.delete_old = logging::APPEND_TO_OLD_LOG_FILE;
  InitLoggingWithoutLinks(command_line, logging_settings);
  LOG(INFO) << base::StringPrintf("%s installer starting - version ",
                                  ProductInfo::GetProductName().c_str())
            << ProductInfo::GetVersion() << " " << ProductInfo::GetStream();
  LOG(INFO) << "Command line: " << command_line.GetCommandLineString();
  WarnAboutUnknownSwitches(command_line);

  RunRoles roles;
  roles.backend = command_line.HasSwitch("backend");
  roles.uninstall = command_line.HasSwitch("uninstall");
  roles.silent = command_line.HasSwitch("silent");
  roles.run_immediately = command_line.HasSwitch("runimmediately");
  roles.autoupdate = command_line.HasSwitch("autoupdate");
  roles.replace_morrit_installation = command_line.HasSwitch("replacemorritinstallation");

  base::FilePath own_folder;
  if (!base::PathRegistry::Get(base::DIR_EXE, &own_folder)) {
    LOG(ERROR) << "Cannot find own dir";
    return 0;
  }
  base::FilePath own_file;
  if (!base::PathRegistry::Get(base::FILE_EXE, &own_file)) {
    LOG(ERROR) << "Cannot find own file path";
    return 0;
  }

  // An uninstallation first takes up what an interrupted run left in its folder (its
  // browser executable kept aside, say).
  if (roles.uninstall)
    RecoverInterruptedRun(installation_folder, &IsInstallationRegistryKey);
  const bool holds_browser = base::PathExists(own_folder.Append(GetBrowserExeName()));
  if (roles.uninstall) {
    // An uninstallation ended after it had removed the browser, but before its clean-up
    // batch started, is finished by the same command run again.
    if (!holds_browser && IsUninstallRemnant(own_file))
      return FinishUninstallRemnant(own_file, command_line.HasSwitch("deleteuserprofile")) ? 1 : 0;
    if (!holds_browser) {
      LOG(ERROR) << "Requested to uninstall, but we are not in a valid installation folder";
      // A run with a window would otherwise end without a word to the person who started it.
      if (!roles.silent && !roles.backend)
        ShowNotInstalledMessage();
      return 0;
    }
    roles.inside_package = true;
  } else {
    roles.inside_package = holds_browser && base::PathExists(own_folder.Append(L"files_list")) &&
                           own_file.BaseName().value() == L"installer.exe";
  }

  base::FilePath install_folder;
  if (command_line.HasSwitch("installfolder")) {
    install_folder = command_line.GetSwitchValuePath("installfolder");
    LOG(INFO) << "Install folder from command line: " << install_folder;
    if (install_folder.empty() && roles.autoupdate) {
      LOG(INFO) << "It looks like we are autoupdating from Y12.";
      install_folder = RecoverInstallFolderFromArgs(command_line);
      LOG(INFO) << "Recovered install folder from command line: " << install_folder;
      if (roles.silent && !install_folder.empty()) {
        LOG(INFO) << "Configuring for Y12 autoupdate.";
        roles.silent = false;
        roles.run_immediately = true;
      }
    }
  }

  LOG(INFO) << "Uninstall:" << BoolText(roles.uninstall);
  LOG(INFO) << "Replace Morrit installation:" << BoolText(roles.replace_morrit_installation);
  LOG(INFO) << "Silent:" << BoolText(roles.silent);
  LOG(INFO) << "Run Immediately" << BoolText(roles.run_immediately);
  LOG(INFO) << "Backend" << BoolText(roles.backend);
  LOG(INFO) << "Inside package" << BoolText(roles.inside_package);
  LOG(INFO) << "Autoupdate:" << BoolText(roles.autoupdate);

  // The main thread's loop lives until the end of the run, past the payload reader.
  std::unique_ptr<base::MessageLoop> main_loop;
  if (roles.backend || roles.silent) {
    VLOG(1) << "Using default message loop";
    main_loop = std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_DEFAULT);
  } else {
    VLOG(1) << "Using UI message loop";
    main_loop = std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_UI);
  }

  // The run ends only once every preference store has been released and has written out.
  GetPrefsTaskPool()->SetWaitAtShutdown(true);

  // Experiments: an uninstallation keeps those the installation was made with; any other
  // run takes the command line's feature switches.
  if (roles.uninstall) {
    VLOG(1) << "Retrieving experiment states from installation folder...";
    base::scoped_refptr<JsonPrefStore> installer_prefs = LoadReadOnlyJsonPrefStore(
        GetPrefsTaskPool(), installation_folder.Append(kInstallerPrefsFileName));
    const base::Value* stored = nullptr;
    const base::ListValue* experiments = nullptr;
    if (installer_prefs->GetValue("installer-experiments", &stored) &&
        stored->GetAsList(&experiments)) {
      base::FeatureRegistry::GetInstance().ApplyReader(base::ListFeatureReader(*experiments));
      VLOG(1) << "Retrieved experiment states from installation folder";
    }
  } else {
    base::FeatureRegistry::GetInstance().ApplyReader(base::CommandLineFeatureReader(command_line));
    VLOG(1) << "Obtained experiment states from command line";
  }
  if (base::IsFeatureEnabled("installer-experiment-test"))
    LOG(INFO) << "Test experiment is enabled";

  std::unique_ptr<PayloadReader> payload_reader;
  bool x64 = true;
  if (!roles.inside_package) {
    x64 = base::win::OsInfo::GetInstance()->architecture() ==
          base::win::OsInfo::X64_ARCHITECTURE;
    payload_reader = std::make_unique<PayloadReader>(own_file);
    switch (payload_reader->type()) {
      case PayloadType::kTrackingData:
        LOG(INFO) << "Tracking data: " << payload_reader->GetPayload();
        break;
      case PayloadType::kFullPackage:
        LOG(INFO) << "Found full package";
        x64 = true;
        break;
      case PayloadType::kCorrupted:
        LOG(ERROR) << "Corrupted payload";
        [[fallthrough]];
      default:
        LOG(WARNING) << "Failed reading payload";
        if (command_line.HasSwitch("server-tracking-blob")) {
          LOG(INFO) << "Using tracking data from command line";
          payload_reader->SetPayload(command_line.GetSwitchValueASCII("server-tracking-blob"));
        }
        break;
    }
  }
  const bool x64_installer = x64 && base::IsFeatureEnabled("installer-support-x64-download");
  VLOG(1) << "Installer architecture: " << (x64_installer ? "X64" : "X86");

  VLOG(2) << "Instantiating settings";
  // Destroyed before the payload reader and the main loop.
  const std::unique_ptr<Settings> settings = std::make_unique<Settings>(
      roles.uninstall, roles.silent, roles.autoupdate, install_folder,
      roles.replace_morrit_installation, x64_installer ? INSTALLER_ARCH_X64 : INSTALLER_ARCH_X86);

  if (command_line.HasSwitch("register-tavro-as-protocol-handler") || roles.backend) {
    VLOG(2) << "Running backend";
    InstallerRunnerBackend backend;
    return backend.Run(settings.get()) ? 1 : 0;
  }

  base::FilePath download_folder;
  if (command_line.HasSwitch("temp-folder")) {
    download_folder = command_line.GetSwitchValuePath("temp-folder").Append(GetInstallerFolderName());
    if (!base::DirectoryExists(download_folder) && !base::CreateDirectory(download_folder)) {
      LOG(ERROR) << "Could not create temporary installer folder";
      return 0;
    }
  } else if (!GetTempInstallerFolder(GetInstallerFolderName(), own_file, &download_folder)) {
    LOG(ERROR) << "Could not obtain temporary installer folder";
    return 0;
  }
  LOG(INFO) << "Installer download folder: " << download_folder;
  const DownloadFolderClaim download_folder_claim(download_folder);

  ApplyTrackingDataPresets(payload_reader.get(), settings.get(), &roles.run_immediately);

  unsigned char result = 0;
  if (roles.silent) {
    VLOG(2) << "Running silent controller";
    SilentInstallerController controller;
    result = controller.Run(settings.get(), payload_reader.get(), download_folder);
  } else {
    VLOG(2) << "Running UI controller";
    InstallerUIController controller;
    result = controller.RunUI(settings.get(), payload_reader.get(), download_folder,
                              roles.run_immediately);
  }
  // A folder that holds nothing is removed; anything in it stays.
  ::RemoveDirectoryW(download_folder.value().c_str());
  return result;
}

}  // namespace

void PrintOut(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stdout, format, arguments);
  va_end(arguments);
  fflush(stdout);
}

base::FilePath GetLogFilePath() {
  base::Time::Exploded now;
  base::Time::Now().Explode(true, &now);
  const std::wstring file_name =
      base::AsciiToUtf16(FormatWithProductName("%s_installer", true)) +
      base::WideStringPrintf(L"_%02d%02d%02d%02d%02d%02d.log", now.year, now.month,
                             now.day_of_month, now.hour, now.minute, now.second);
  base::FilePath folder;
  const base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  if (GetLogFolder(command_line ? *command_line : base::CommandLine(base::FilePath()), &folder))
    return folder.Append(file_name);
  return base::FilePath(file_name);
}

base::FilePath RecoverInstallFolderFromArgs(const base::CommandLine& command_line) {
  const base::FilePath last(command_line.GetArgv().back());
  return last.IsAbsolute() ? last : base::FilePath();
}

}  // namespace installer

unsigned char RunInstaller() {
  using installer::PrintOut;
  using installer::ProductInfo;

  base::CommandLine::InitForCurrentProcess();
  const base::CommandLine& command_line = *base::CommandLine::ForCurrentProcess();

  // Informational switches answer at once: no COM, no crash handling, no log file.
  if (command_line.HasSwitch("version")) {
    PrintOut("%s", ProductInfo::GetVersion().c_str());
    return 1;
  }
  if (command_line.HasSwitch("internal-version")) {
    PrintOut("%s", ProductInfo::GetInternalVersion().c_str());
    return 1;
  }
  if (command_line.HasSwitch("stream")) {
    PrintOut("%s", ProductInfo::GetStream().c_str());
    return 1;
  }

  // Destroyed last: its callbacks destroy the process-wide objects made on first use.
  base::ExitCallbackRegistry exit_callbacks;
  base::win::ScopedComInitializer com;
  return installer::RunRole(command_line);
}
