#include "desktop/windows/installer/installer_main.h"

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "base/test/folder_link.h"
#include "base/time/time.h"
#include "base/win/registry.h"
#include "desktop/windows/crash_reporter/crash_dump_server.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/silent_run_switches.h"
#include "desktop/windows/installer/test/test_http_server.h"
#include "desktop/windows/installer/test/window_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerMainTest, InformationalSwitchesPrintAndSucceed) {
  test::ProcessResult version = test::RunInstallerExe(L"--version");
  ASSERT_TRUE(version.started);
  EXPECT_EQ(0u, version.exit_code);
  EXPECT_EQ(ProductInfo::GetVersion(), version.output);

  test::ProcessResult internal = test::RunInstallerExe(L"/internal-version");
  EXPECT_EQ(0u, internal.exit_code);
  EXPECT_EQ(ProductInfo::GetInternalVersion(), internal.output);

  test::ProcessResult stream = test::RunInstallerExe(L"-STREAM");
  EXPECT_EQ(0u, stream.exit_code);
  EXPECT_EQ(ProductInfo::GetStream(), stream.output);
}

TEST(InstallerMainTest, FirstInformationalSwitchWins) {
  // "version" is tested first, then "internal-version", then "stream".
  EXPECT_EQ(ProductInfo::GetVersion(), test::RunInstallerExe(L"--stream --version").output);
  EXPECT_EQ(ProductInfo::GetInternalVersion(),
            test::RunInstallerExe(L"--stream --internal-version").output);
}

TEST(InstallerMainTest, VersionIsFourDottedNumbers) {
  const std::string version = ProductInfo::GetVersion();
  int parts[4] = {-1, -1, -1, -1};
  char tail = 0;
  EXPECT_EQ(4, sscanf(version.c_str(), "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2],
                      &parts[3], &tail));
  EXPECT_EQ(ProductInfo::GetMajorVersion(), parts[0]);
}

}  // namespace
}  // namespace installer

namespace installer {
namespace {

TEST(InstallerMainTest, RecoversTheY12InstallFolderFromTheLastArgument) {
  EXPECT_EQ(L"C:\\Program Files\\Tavro",
            RecoverInstallFolderFromArgs(
                base::CommandLine::FromString(
                    L"installer.exe --installfolder= --autoupdate --silent \"C:\\Program Files\\Tavro\""))
                .value());
  // A relative last argument, or none at all, recovers nothing.
  EXPECT_TRUE(RecoverInstallFolderFromArgs(
                  base::CommandLine::FromString(L"installer.exe --autoupdate Tavro"))
                  .empty());
  EXPECT_TRUE(RecoverInstallFolderFromArgs(
                  base::CommandLine::FromString(L"installer.exe --installfolder=C:\\x"))
                  .empty());
}

// "tavro_installer_YYYYMMDDhhmmss.log", every field of the local time in its place.
TEST(InstallerMainTest, LogFileNameHoldsTheLocalTime) {
  auto expected_name = [](const base::Time::Exploded& time) {
    return base::WideStringPrintf(L"tavro_installer_%04d%02d%02d%02d%02d%02d.log", time.year,
                                  time.month, time.day_of_month, time.hour, time.minute,
                                  time.second);
  };
  base::Time::Exploded before;
  base::Time::Now().Explode(true, &before);
  const base::FilePath path = GetLogFilePath();
  base::Time::Exploded after;
  base::Time::Now().Explode(true, &after);
  const std::wstring name = path.BaseName().value();
  // The second may turn between the readings.
  EXPECT_TRUE(name == expected_name(before) || name == expected_name(after))
      << name << " " << expected_name(before);
  EXPECT_EQ(L"Tavro Installer", path.DirName().BaseName().value());
}

// Whether a log in a folder of the system's temporary folder that only administrators can
// change (named "Tavro Installer", with digits or without) holds |text|.
bool ProtectedLogHolds(const std::wstring& text) {
  const std::string utf8 = base::Utf16ToUtf8(text);
  base::FileEnumerator folders(SystemTempFolder(), false, base::FileEnumerator::DIRECTORIES,
                               L"Tavro Installer*");
  for (base::FilePath folder = folders.Next(); !folder.empty(); folder = folders.Next()) {
    base::FileEnumerator logs(folder, false, base::FileEnumerator::FILES, L"tavro_installer_*");
    for (base::FilePath log = logs.Next(); !log.empty(); log = logs.Next()) {
      std::string contents;
      if (base::ReadFileToString(log, &contents) && contents.find(utf8) != std::string::npos)
        return true;
    }
  }
  return false;
}

// A run the installer started elevated writes nothing through the user's temporary folder,
// where a link in place of its working folder would lead it anywhere, nor into the crash
// folder the user's environment names. Nor does a run the user elevated by hand (under
// Wine every run is elevated): its log goes where only administrators can write, and so do
// its crash files when the folder the environment names for them lies through the link.
TEST(InstallerMainTest, AnElevatedRunWritesNothingThroughTheUsersFolders) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath elsewhere = temp.GetPath().Append(L"elsewhere");
  ASSERT_TRUE(base::CreateDirectory(elsewhere));
  base::test::ScopedFolderLink link;
  if (!link.Make(temp.GetPath().Append(L"Tavro Installer"), elsewhere))
    GTEST_SKIP() << "Folder links cannot be made here";
  const base::FilePath crash_folder = temp.GetPath().Append(L"Tavro Installer").Append(L"crash");
  test::ProcessOptions options;
  options.environment = {{L"TMP", temp.GetPath().value()},
                         {L"TEMP", temp.GetPath().value()},
                         {L"TAVRO_CRASH_LOG_DIR", crash_folder.value()}};
  // A silent uninstallation outside an installation ends at once, after its log is opened.
  const base::FilePath installer =
      test::CopyInstallerTo(temp.GetPath().Append(L"bin"), L"installer.exe");
  ASSERT_FALSE(installer.empty());
  const std::wstring uninstall = L"\"" + installer.value() + L"\" --uninstall --silent";
  auto nothing_written_through_link = [&] {
    base::FileEnumerator written(elsewhere, true,
                                 base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
    return written.Next().empty();
  };

  test::ProcessResult elevated = test::RunProcess(uninstall + L" --run-elevated", options);
  EXPECT_TRUE(elevated.started && !elevated.timed_out) << elevated.Describe();
  EXPECT_TRUE(nothing_written_through_link());
  EXPECT_FALSE(base::PathExists(temp.GetPath().Append(L"tavro_crashreporter.log")));

  test::ProcessResult by_hand = test::RunProcess(uninstall, options);
  EXPECT_TRUE(by_hand.started && !by_hand.timed_out) << by_hand.Describe();
  EXPECT_TRUE(nothing_written_through_link());
  EXPECT_TRUE(ProtectedLogHolds(installer.value()));
}

// A run elevated by hand appends to no file that has other names besides that of its log:
// a user could have made the log's name for the coming seconds another name of any file.
TEST(InstallerMainTest, AnElevatedRunAppendsToNoLogWithOtherNames) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath working_folder = temp.GetPath().Append(L"Tavro Installer");
  ASSERT_TRUE(base::CreateDirectory(working_folder));
  const base::FilePath target = temp.GetPath().Append(L"target.txt");
  ASSERT_EQ(1, base::WriteFileFromBuffer(target, "x", 1));
  const base::Time now = base::Time::Now();
  for (int second = 0; second < 60; ++second) {
    base::Time::Exploded time;
    (now + base::TimeDelta::FromSeconds(second)).Explode(true, &time);
    const base::FilePath name = working_folder.Append(base::WideStringPrintf(
        L"tavro_installer_%04d%02d%02d%02d%02d%02d.log", time.year, time.month,
        time.day_of_month, time.hour, time.minute, time.second));
    ASSERT_TRUE(::CreateHardLinkW(name.value().c_str(), target.value().c_str(), nullptr));
  }
  const base::FilePath installer =
      test::CopyInstallerTo(temp.GetPath().Append(L"bin"), L"installer.exe");
  ASSERT_FALSE(installer.empty());
  test::ProcessOptions options;
  options.environment = {{L"TMP", temp.GetPath().value()}, {L"TEMP", temp.GetPath().value()}};

  test::ProcessResult run =
      test::RunProcess(L"\"" + installer.value() + L"\" --uninstall --silent", options);
  EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
  std::string contents;
  ASSERT_TRUE(base::ReadFileToString(target, &contents));
  EXPECT_EQ("x", contents);
  EXPECT_TRUE(ProtectedLogHolds(installer.value()));
}

// The thread of a shown dialog window (a message box's class) of process |pid|; 0 when it
// has none.
DWORD FindDialogThreadOfProcess(DWORD pid) {
  struct Search {
    DWORD pid;
    DWORD thread;
  } search = {pid, 0};
  ::EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        Search* search = reinterpret_cast<Search*>(parameter);
        DWORD owner = 0;
        const DWORD thread = ::GetWindowThreadProcessId(window, &owner);
        wchar_t class_name[16] = {};
        if (owner != search->pid || !::IsWindowVisible(window) ||
            !::GetClassNameW(window, class_name, ARRAYSIZE(class_name)) ||
            wcscmp(class_name, L"#32770") != 0) {
          return TRUE;
        }
        search->thread = thread;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.thread;
}

// An uninstallation started where nothing is installed says so in a message box when it
// runs with a window, and ends once it is read; a silent one ends at once without a window.
TEST(InstallerMainTest, UninstallWithoutAnInstallationSaysSoInAWindow) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath installer =
      test::CopyInstallerTo(temp.GetPath().Append(L"bin"), L"installer.exe");
  ASSERT_FALSE(installer.empty());
  test::ProcessOptions options;
  options.environment = {{L"TMP", temp.GetPath().value()}, {L"TEMP", temp.GetPath().value()}};
  options.timeout = base::TimeDelta::FromSeconds(60);
  const std::wstring uninstall = L"\"" + installer.value() + L"\" --uninstall";

  test::TestProcess run;
  ASSERT_TRUE(run.Start(uninstall, options));
  DWORD thread = 0;
  ASSERT_TRUE(test::PollUntil(
      [&] { return (thread = FindDialogThreadOfProcess(run.pid())) != 0; },
      base::TimeDelta::FromSeconds(60)))
      << run.GetOutput();
  {
    test::MessageBoxAnswerer answerer(thread, IDOK);
    ASSERT_TRUE(test::PollUntil([&] { return answerer.answered(); },
                                base::TimeDelta::FromSeconds(30)));
    EXPECT_EQ(L"Tavro is not installed in this folder, so there is nothing to uninstall.",
              answerer.text());
    EXPECT_EQ(L"Tavro Installer", answerer.title());
    EXPECT_EQ(L"OK", answerer.buttons()[IDOK]);
  }
  const test::ProcessResult shown = run.Wait();
  EXPECT_FALSE(shown.timed_out) << shown.Describe();
  const std::string log = test::ReadInstallerLog(temp.GetPath());
  EXPECT_NE(std::string::npos,
            log.find("Requested to uninstall, but we are not in a valid installation folder"))
      << log;

  const test::ProcessResult silent = test::RunProcess(uninstall + L" --silent", options);
  EXPECT_TRUE(silent.started && !silent.timed_out) << silent.Describe();
  EXPECT_EQ(shown.exit_code, silent.exit_code);
}

TEST(InstallerMainTest, HelpWinsOverTheBackendAndWritesNoLog) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  test::ProcessResult help =
      test::RunInstallerExe(L"--backend --help", {{L"TMP", temp.GetPath().value()},
                                                   {L"TEMP", temp.GetPath().value()}});
  EXPECT_EQ(0u, help.exit_code);
  EXPECT_EQ(0u, help.output.find("Tavro Installer " + ProductInfo::GetVersion()));
  // Standard output is in text mode: lines end with CR LF.
  EXPECT_NE(std::string::npos, help.output.find("  launchbrowser=[0|1]\r\n"));
  EXPECT_FALSE(base::PathExists(temp.GetPath().Append(L"Tavro Installer")));
}

// A copy of a system DLL beside installer.exe (in a downloads folder, say) is never loaded:
// the libraries a process loads on first use come from the system folder only. Wine takes
// its own builtin DLLs before any copy unless its settings for the program say otherwise;
// these make it take the first copy that the search finds, as Windows does for a DLL that
// is not a known DLL. (uxtheme stays out: Wine's own window code loads it by the plain
// search.) The help is a short run that loads some of them, and starts a crash reporter
// from the same folder.
TEST(InstallerMainTest, LibrariesLoadedOnFirstUseComeOnlyFromTheSystemFolder) {
  static constexpr wchar_t kProgram[] = L"tavro_planted_test.exe";
  const std::wstring settings_path =
      std::wstring(L"Software\\Wine\\AppDefaults\\") + kProgram + L"\\DllOverrides";
  base::win::RegistryKey settings;
  ASSERT_EQ(ERROR_SUCCESS,
            settings.Create(HKEY_CURRENT_USER, settings_path.c_str(), KEY_SET_VALUE));
  struct SettingsRemover {
    ~SettingsRemover() {
      base::win::RegistryKey(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults", KEY_ALL_ACCESS)
          .DeleteKey(kProgram);
    }
  } remove_settings;

  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath folder = temp.GetPath().Append(L"Downloads");
  const base::FilePath installer = test::CopyInstallerTo(folder, kProgram);
  ASSERT_FALSE(installer.empty());
  const base::FilePath planted =
      base::FilePath(test::GetTestBinFolder()).Append(L"planted_system_library.dll");
  std::vector<base::FilePath> markers;
  for (const std::wstring& name :
       base::SplitString(base::AsciiToUtf16(TAVRO_DELAY_LOADED_SYSTEM_LIBRARIES), L" ",
                         base::TRIM_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
    if (name == L"uxtheme")
      continue;
    ASSERT_TRUE(base::CopySingleFile(planted, folder.Append(name + L".dll")));
    ASSERT_EQ(ERROR_SUCCESS, settings.WriteValue(name.c_str(), L"native,builtin"));
    markers.push_back(folder.Append(name + L".dll.loaded"));
  }

  test::ProcessOptions options;
  options.environment = {{L"TMP", temp.GetPath().value()}, {L"TEMP", temp.GetPath().value()}};
  // A copy that is loaded fails to start the library that needs it: the run ends at once,
  // or hangs in the system's debugger.
  options.timeout = base::TimeDelta::FromSeconds(30);
  const test::ProcessResult help =
      test::RunProcess(L"\"" + installer.value() + L"\" --help", options);
  EXPECT_TRUE(help.Succeeded()) << help.Describe();
  EXPECT_EQ(0u, help.output.find("Tavro Installer ")) << help.Describe();
  for (const base::FilePath& marker : markers)
    EXPECT_FALSE(base::PathExists(marker)) << "loaded: " << marker.BaseName();
}

// A run logs into its working folder. Another process of the run that starts within the
// same second (its backend, after a front end that failed early) shares the file name: the
// lines already there are kept and the new ones follow.
TEST(InstallerMainTest, RunsLogToTheInstallerFolderWithoutLosingEarlierLines) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath log_folder = temp.GetPath().Append(L"Tavro Installer");
  ASSERT_TRUE(base::CreateDirectory(log_folder));
  const base::Time now = base::Time::Now();
  for (int second = 0; second < 30; ++second) {
    base::Time::Exploded time;
    (now + base::TimeDelta::FromSeconds(second)).Explode(true, &time);
    const std::wstring name =
        base::WideStringPrintf(L"tavro_installer_%04d%02d%02d%02d%02d%02d.log", time.year,
                               time.month, time.day_of_month, time.hour, time.minute, time.second);
    ASSERT_EQ(15, base::WriteFileFromBuffer(log_folder.Append(name), "earlier lines\n", 15));
  }
  test::TestHttpServer server;
  ASSERT_TRUE(server.Start());
  test::ProcessResult run = test::RunInstallerExe(
      L"--silent " + test::FailingFetchSwitches(server),
      {{L"TMP", temp.GetPath().value()}, {L"TEMP", temp.GetPath().value()}});
  EXPECT_EQ(1u, run.exit_code);

  std::string text;
  for (const base::FilePath& log : test::FindInstallerLogs(temp.GetPath())) {
    std::string lines;
    ASSERT_TRUE(base::ReadFileToString(log, &lines));
    EXPECT_EQ(0u, lines.find("earlier lines\n")) << lines;
    text += lines;
  }
  EXPECT_NE(std::string::npos, text.find("Tavro installer starting - version " +
                                         ProductInfo::GetVersion() + " " +
                                         ProductInfo::GetStream()));
  EXPECT_NE(std::string::npos, text.find("] Silent:1\n"));
  EXPECT_NE(std::string::npos, text.find("] Failed reading payload\n"));
  EXPECT_NE(std::string::npos, text.find("] Controller exiting\n")) << text;
  EXPECT_NE(std::string::npos, text.find("] Backend1\n"));
}

// What a dump server saw of the clients that registered with it.
struct RegisteredClients {
  base::Lock lock;
  std::vector<std::wstring> versions;  // The "Version" crash key of each.
};

void OnClientRegistered(void* context, crash_reporter::CrashClientRecord* client) {
  RegisteredClients* clients = static_cast<RegisteredClients*>(context);
  std::wstring version;
  if (client->PopulateCustomInfo()) {
    const crash_reporter::CustomClientInfo keys = client->GetCustomInfo();
    if (keys.count > 0 && wcscmp(keys.entries[0].name, L"Version") == 0)
      version = keys.entries[0].value;
  }
  base::AutoLock hold(clients->lock);
  clients->versions.push_back(version);
}

// A run that names its crash reporter registers with it, crash keys and all, and goes on.
TEST(InstallerMainTest, RegistersWithTheCrashReporterOfTheCommandLine) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  RegisteredClients clients;
  crash_reporter::CrashDumpServer server(
      crash_reporter::MakeCrashPipeName(::GetCurrentProcessId()), nullptr, &OnClientRegistered,
      &clients, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, false, nullptr);
  ASSERT_TRUE(server.Start());
  test::TestHttpServer package_server;
  ASSERT_TRUE(package_server.Start());
  test::ProcessResult run = test::RunInstallerExe(
      L"--silent --crash-reporter-pid=" + base::UintToWideString(::GetCurrentProcessId()) + L" " +
          test::FailingFetchSwitches(package_server),
      {{L"TMP", temp.GetPath().value()}, {L"TEMP", temp.GetPath().value()}});
  EXPECT_EQ(1u, run.exit_code);
  // The front end registered and acknowledged before it went on with its run, and so did
  // the backend it started, which it told of the same reporter.
  base::AutoLock hold(clients.lock);
  ASSERT_EQ(2u, clients.versions.size());
  for (const std::wstring& version : clients.versions)
    EXPECT_EQ(base::Utf8ToUtf16(ProductInfo::GetVersion()), version);
}

// An uninstallation takes its experiments from the installation's "installer_prefs.json",
// not from the command line.
TEST(InstallerMainTest, UninstallTakesTheExperimentsOfTheInstallationFolder) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath folder = temp.GetPath().Append(L"install");
  const base::FilePath installer = test::CopyInstallerTo(folder, L"installer.exe");
  ASSERT_FALSE(installer.empty());
  ASSERT_EQ(4, base::WriteFileFromBuffer(folder.Append(GetBrowserExeName()), "fake", 4));

  // The log of an uninstallation with |experiments| stored and |switches| given.
  auto run_uninstall = [&](const std::string& experiments, const std::wstring& switches) {
    const std::string json = "{\"installer-experiments\": " + experiments + "}";
    base::WriteFileFromBuffer(folder.Append(L"installer_prefs.json"), json.data(),
                              static_cast<int>(json.size()));
    base::ScopedTempDir log_temp;
    if (!log_temp.CreateUniqueTempDir())
      return std::string();
    test::ProcessOptions options;
    options.environment = {{L"TMP", log_temp.GetPath().value()},
                           {L"TEMP", log_temp.GetPath().value()}};
    // The run goes on to its uninstall window once the experiments are known.
    return test::RunUntilLogged(
        L"\"" + installer.value() + L"\" --uninstall " + switches, options,
        [&] { return test::ReadInstallerLog(log_temp.GetPath()); }, "] Installer download folder: ");
  };

  std::string log = run_uninstall("[\"installer-experiment-test@1\"]", L"");
  EXPECT_NE(std::string::npos, log.find("] Uninstall:1\n")) << log;
  EXPECT_NE(std::string::npos, log.find("] Test experiment is enabled\n"));
  log = run_uninstall("[\"installer-experiment-test@2\"]",
                      L"--with-feature:installer-experiment-test");
  EXPECT_NE(std::string::npos, log.find("] Uninstall:1\n")) << log;
  EXPECT_EQ(std::string::npos, log.find("Test experiment is enabled"));
}

// Runs of the real installer, each with its own temporary folder (TMP and TEMP) where the
// run keeps its log.
class InstallerRunTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    ASSERT_TRUE(server_.Start());
  }

  // Runs |program| with |arguments| and returns its log. A silent run's fetch fails at once.
  std::string Run(const base::FilePath& program, const std::wstring& arguments) {
    base::DeletePath(temp_.GetPath().Append(L"Tavro Installer"), true);
    test::ProcessOptions options;
    options.environment = {{L"TMP", temp_.GetPath().value()}, {L"TEMP", temp_.GetPath().value()}};
    const test::ProcessResult run = test::RunProcess(
        L"\"" + program.value() + L"\" " + test::FailingFetchSwitches(server_) + L" " + arguments,
        options);
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timed_out);
    return test::ReadFrontEndLog(temp_.GetPath());
  }
  std::string Run(const std::wstring& arguments) {
    return Run(base::FilePath(test::GetTestBinFolder()).Append(L"installer.exe"), arguments);
  }
  // The download folder switch, so that no probe copy of the installer has to run.
  std::wstring TempFolderSwitch() const {
    return L"\"--temp-folder=" + temp_.GetPath().value() + L"\"";
  }

  static bool HasLine(const std::string& log, const std::string& line) {
    return log.find("] " + line + "\n") != std::string::npos;
  }

  base::ScopedTempDir temp_;
  test::TestHttpServer server_;
};

// An autoupdate started by Y12 passes an empty install folder and the folder as its last
// argument; a silent one then runs immediately, with the window.
TEST_F(InstallerRunTest, Y12AutoupdateRecoversTheFolderAndRunsImmediately) {
  const base::FilePath y12_folder = temp_.GetPath().Append(L"Y12 Tavro");
  // The run goes on to its window, which would wait for the user after the failed fetch.
  test::ProcessOptions options;
  options.environment = {{L"TMP", temp_.GetPath().value()}, {L"TEMP", temp_.GetPath().value()}};
  std::string log = test::RunUntilLogged(
      L"\"" + base::FilePath(test::GetTestBinFolder()).Append(L"installer.exe").value() + L"\" " +
          test::FailingFetchSwitches(server_) + L" --installfolder= --autoupdate --silent --v=1 " +
          TempFolderSwitch() + L" \"" + y12_folder.value() + L"\"",
      options, [this] { return test::ReadFrontEndLog(temp_.GetPath()); },
      "] Installer download folder: ");
  EXPECT_TRUE(HasLine(log, "It looks like we are autoupdating from Y12.")) << log;
  EXPECT_TRUE(HasLine(log, "Recovered install folder from command line: " + y12_folder.ToUtf8()));
  EXPECT_TRUE(HasLine(log, "Configuring for Y12 autoupdate."));
  EXPECT_TRUE(HasLine(log, "Silent:0"));
  EXPECT_TRUE(HasLine(log, "Run Immediately1"));
  EXPECT_TRUE(HasLine(log, "Using UI message loop"));

  // A relative last argument recovers nothing: the run stays silent.
  log = Run(L"--installfolder= --autoupdate --silent --v=1 " + TempFolderSwitch() + L" Tavro");
  EXPECT_TRUE(HasLine(log, "Recovered install folder from command line: ")) << log;
  EXPECT_FALSE(HasLine(log, "Configuring for Y12 autoupdate."));
  EXPECT_TRUE(HasLine(log, "Silent:1"));
  EXPECT_TRUE(HasLine(log, "Run Immediately0"));
  EXPECT_TRUE(HasLine(log, "Using default message loop"));

  // Without "autoupdate" an empty folder is only an empty folder.
  log = Run(L"--installfolder= --silent " + TempFolderSwitch() + L" \"" + y12_folder.value() +
            L"\"");
  EXPECT_TRUE(HasLine(log, "Install folder from command line: ")) << log;
  EXPECT_FALSE(HasLine(log, "It looks like we are autoupdating from Y12."));
  EXPECT_TRUE(HasLine(log, "Silent:1"));
}

// Inside an unpacked package the installer reads no payload: it must be named exactly
// "installer.exe" and stand beside the browser and its "files_list".
TEST_F(InstallerRunTest, InsidePackageOnlyAsInstallerExeBesideTheBrowserAndFilesList) {
  const base::FilePath package = temp_.GetPath().Append(L"package");
  const base::FilePath installer = test::CopyInstallerTo(package, L"installer.exe");
  const base::FilePath renamed = test::CopyInstallerTo(package, L"tavro_setup.exe");
  ASSERT_FALSE(installer.empty() || renamed.empty());
  ASSERT_EQ(4, base::WriteFileFromBuffer(package.Append(GetBrowserExeName()), "fake", 4));
  const base::FilePath files_list = package.Append(L"files_list");
  ASSERT_EQ(9, base::WriteFileFromBuffer(files_list, "tavro.exe", 9));

  // A stand-alone copy into the test's folder, should the package's backend get that far.
  const std::wstring silent = L"--silent --copyonly=1 \"--installfolder=" +
                              temp_.GetPath().Append(L"install").value() + L"\" " +
                              TempFolderSwitch();
  std::string log = Run(installer, silent);
  EXPECT_TRUE(HasLine(log, "Inside package1")) << log;
  // The package's own payload is read later, by an administrator's backend that unpacks it.
  const std::string start =
      log.substr(0, log.find("Unpacking the package into a folder of this process"));
  EXPECT_FALSE(HasLine(start, "Reading Payload"));
  EXPECT_FALSE(HasLine(start, "Failed reading payload"));

  log = Run(renamed, silent);
  EXPECT_TRUE(HasLine(log, "Inside package0")) << log;
  EXPECT_TRUE(HasLine(log, "Reading Payload"));

  ASSERT_TRUE(base::DeletePath(files_list, false));
  log = Run(installer, silent);
  EXPECT_TRUE(HasLine(log, "Inside package0")) << log;
  EXPECT_TRUE(HasLine(log, "Reading Payload"));
}

// A payload the reader calls corrupted leaves the run to the tracking data of the command
// line.
TEST_F(InstallerRunTest, CorruptedPayloadGivesWayToTheCommandLineTrackingData) {
  std::string bytes;
  ASSERT_TRUE(base::ReadFileToString(
      base::FilePath(test::GetTestBinFolder()).Append(L"installer.exe"), &bytes));
  // The security directory entry of the 64-bit optional header, pointed past the end.
  const uint32_t pe = static_cast<uint8_t>(bytes[0x3C]) |
                      static_cast<uint8_t>(bytes[0x3D]) << 8;
  const uint32_t past_end = static_cast<uint32_t>(bytes.size()) + 16;
  for (int i = 0; i < 4; ++i) {
    bytes[pe + 168 + i] = static_cast<char>(past_end >> (8 * i));
    bytes[pe + 172 + i] = static_cast<char>(i == 0 ? 8 : 0);
  }
  const base::FilePath installer = test::CopyInstallerTo(temp_.GetPath().Append(L"bad"),
                                                         L"tavro_setup.exe");
  ASSERT_FALSE(installer.empty());
  ASSERT_EQ(static_cast<int>(bytes.size()),
            base::WriteFileFromBuffer(installer, bytes.data(), static_cast<int>(bytes.size())));

  std::string log =
      Run(installer, L"--silent --server-tracking-blob=dHJhY2tpbmc= " + TempFolderSwitch());
  EXPECT_TRUE(HasLine(log, "Security directory is located past the image file length")) << log;
  EXPECT_TRUE(HasLine(log, "Corrupted payload"));
  EXPECT_TRUE(HasLine(log, "Failed reading payload"));
  EXPECT_TRUE(HasLine(log, "Using tracking data from command line"));

  // Without the switch the run goes on without tracking data.
  log = Run(installer, L"--silent " + TempFolderSwitch());
  EXPECT_TRUE(HasLine(log, "Corrupted payload")) << log;
  EXPECT_FALSE(HasLine(log, "Using tracking data from command line"));
}

// "temp-folder" names where the working folder of the download goes; it is made with its
// parents, and removed again when the run leaves it empty.
TEST_F(InstallerRunTest, TempFolderSwitchPlacesTheDownloadFolder) {
  const base::FilePath given = temp_.GetPath().Append(L"given").Append(L"deeper");
  std::string log = Run(L"--silent \"--temp-folder=" + given.value() + L"\"");
  EXPECT_TRUE(HasLine(log, "Installer download folder: " +
                               given.Append(L"Tavro Installer").ToUtf8()))
      << log;
  EXPECT_TRUE(base::DirectoryExists(given));
  EXPECT_FALSE(base::PathExists(given.Append(L"Tavro Installer")));

  // Under a file no folder can be made: the run ends there.
  const base::FilePath file = temp_.GetPath().Append(L"file");
  ASSERT_EQ(1, base::WriteFileFromBuffer(file, "x", 1));
  log = Run(L"--silent \"--temp-folder=" + file.value() + L"\"");
  EXPECT_TRUE(HasLine(log, "Could not create temporary installer folder")) << log;
  EXPECT_EQ(std::string::npos, log.find("Installer download folder"));
}

}  // namespace
}  // namespace installer
