// Installations with the installer window, end to end: the real installer.exe under Wine
// with its window on the test display, driven by the test as a person would (reading the
// pages, clicking their buttons), with the example package on a local autoupdate server.

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/host/installer_resources.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/registry_snapshot.h"
#include "desktop/windows/installer/test/server_install_e2e_test.h"
#include "desktop/windows/installer/test/snapshot_difference.h"
#include "desktop/windows/installer/test/test_host.h"
#include "desktop/windows/installer/test/window_test_util.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

constexpr base::TimeDelta kDeadline = base::TimeDelta::FromSeconds(120);
constexpr wchar_t kDownloadFailed[] = L"Failed to download Tavro.";

struct FindWindowState {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindInstallerWindowProc(HWND window, LPARAM lparam) {
  FindWindowState* state = reinterpret_cast<FindWindowState*>(lparam);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != state->pid || !::IsWindowVisible(window) || !::GetDlgItem(window, IDC_ACCEPT))
    return TRUE;
  state->found = window;
  return FALSE;
}

// The installer window of the process |pid|; null when it shows none.
HWND FindInstallerWindow(DWORD pid) {
  FindWindowState state = {pid, nullptr};
  ::EnumWindows(&FindInstallerWindowProc, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

std::string GetReportString(const base::DictionaryValue& report, const char* key) {
  std::string value;
  report.GetString(key, &value);
  return value;
}

int GetReportInteger(const base::DictionaryValue& report, const char* key) {
  int value = -1;
  report.GetInteger(key, &value);
  return value;
}

// The pages of "ui.page_sequence" with their navigation actions ("WELCOME:ACCEPT").
std::vector<std::string> GetPageSequence(const base::DictionaryValue& report) {
  std::vector<std::string> pages;
  const base::ListValue* list = nullptr;
  if (!report.GetList("ui.page_sequence", &list))
    return pages;
  for (size_t i = 0; i < list->GetSize(); ++i) {
    const base::DictionaryValue* page = nullptr;
    if (!list->GetDictionary(i, &page))
      continue;
    const std::string action = GetReportString(*page, "navigation_action");
    pages.push_back(GetReportString(*page, "page_type") + (action.empty() ? "" : ":" + action));
  }
  return pages;
}

// Sets the default value of a registry key for a test and puts back what was there.
class ScopedRegistryValue {
 public:
  ScopedRegistryValue(HKEY root, const wchar_t* path, const std::wstring& value) {
    valid_ = key_.Create(root, path, KEY_QUERY_VALUE | KEY_SET_VALUE) == ERROR_SUCCESS;
    had_value_ = valid_ && key_.ReadValue(nullptr, &old_value_) == ERROR_SUCCESS;
    valid_ = valid_ && key_.WriteValue(nullptr, value) == ERROR_SUCCESS;
  }
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;
  ~ScopedRegistryValue() {
    if (had_value_)
      key_.WriteValue(nullptr, old_value_);
    else if (key_.Valid())
      key_.DeleteValue(nullptr);
  }
  bool IsValid() const { return valid_; }

 private:
  base::win::RegistryKey key_;
  bool valid_ = false;
  bool had_value_ = false;
  std::wstring old_value_;
};

class InstallerWindowE2eTest : public ServerInstallE2eTest {
 protected:
  void TearDown() override {
    if (installer_.IsRunning())
      installer_.Kill();
    ServerInstallE2eTest::TearDown();
  }

  // Starts |program| (the test host when empty) with its window for the install folder and
  // waits for the window; false, with a failure, when none comes.
  bool StartWithWindow(const base::FilePath& program = base::FilePath(),
                       const StubHold* hold = nullptr) {
    ProcessOptions options = MakeProcessOptions();
    if (hold)
      options.environment.push_back(hold->GetEnvironment());
    options.timeout = base::TimeDelta::FromSeconds(300);
    const base::FilePath& exe = program.empty() ? host() : program;
    if (!installer_.Start(
            L"\"" + exe.value() + L"\" --installfolder=\"" + install_folder().value() + L"\"",
            options)) {
      return false;
    }
    const bool shown = PollUntil([this] {
      dialog_ = FindInstallerWindow(installer_.pid());
      return dialog_ != nullptr || !installer_.IsRunning();
    });
    EXPECT_TRUE(shown && dialog_) << installer_.GetOutput() << ReadLogs();
    return dialog_ != nullptr;
  }

  // Waits until the window shows the page on which the control |id| is visible.
  bool WaitForPage(int id) {
    const bool shown =
        PollUntil([&] { return IsControlVisible(dialog_, id) || !installer_.IsRunning(); });
    EXPECT_TRUE(shown && IsControlVisible(dialog_, id)) << "page of control " << id << "\n"
                                                        << ReadLogs();
    return IsControlVisible(dialog_, id);
  }

  // Waits until the error page shows |message|, the last thing the page sets.
  bool WaitForError(const std::wstring& message) {
    const bool shown = PollUntil([&] {
      return (IsControlVisible(dialog_, IDC_RETRY) &&
              GetControlText(dialog_, IDC_STATUS_TEXT) == message) ||
             !installer_.IsRunning();
    });
    EXPECT_TRUE(shown && installer_.IsRunning())
        << "no error \"" << message << "\": " << GetControlText(dialog_, IDC_STATUS_TEXT) << "\n"
        << ReadLogs();
    return shown && installer_.IsRunning();
  }

  // Waits for the end of the installer, which must have closed its window.
  ProcessResult WaitForEnd() {
    ProcessResult result = installer_.Wait();
    EXPECT_FALSE(::IsWindow(dialog_));
    return result;
  }

  // Clicks the close button of the window's title bar and answers "Yes" to the question
  // whether to cancel. Returns once the window has handled the click, as a click is handled
  // before anything that comes after it.
  void CloseWindowAndConfirm() {
    MessageBoxAnswerer answerer(::GetWindowThreadProcessId(dialog_, nullptr), IDYES);
    DWORD_PTR result = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL,
                                      static_cast<UINT>(kDeadline.InMilliseconds()), &result))
        << ReadLogs();
    EXPECT_TRUE(answerer.answered());
  }

  // Whether the installer's log holds |text| yet.
  bool LogsContain(const std::string& text) const {
    return ReadLogs().find(text) != std::string::npos;
  }

  TestProcess installer_;
  HWND dialog_ = nullptr;
};

TEST_F(InstallerWindowE2eTest, APersonAcceptsAndWatchesTheInstallation) {
  ASSERT_TRUE(StartWithWindow());
  ASSERT_TRUE(WaitForPage(IDC_ACCEPT));
  EXPECT_TRUE(IsControlVisible(dialog_, IDC_OPTIONS));
  EXPECT_FALSE(IsControlVisible(dialog_, IDC_PROGRESS_BAR));

  ClickButton(dialog_, IDC_ACCEPT);
  // The bar only moves forward, and it moves while the package comes and installs.
  std::vector<int> positions;
  const HWND bar = ::GetDlgItem(dialog_, IDC_PROGRESS_BAR);
  while (installer_.IsRunning()) {
    const int position = static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
    // A bar that went meanwhile answered nothing.
    if (!::IsWindow(bar))
      break;
    if (positions.empty() || position != positions.back())
      positions.push_back(position);
    ::Sleep(10);
  }
  const ProcessResult run = WaitForEnd();
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  ASSERT_GE(positions.size(), 2u);
  for (size_t i = 1; i < positions.size(); ++i)
    EXPECT_LT(positions[i - 1], positions[i]) << "at " << i;
  EXPECT_GT(positions.back(), 1000) << "the bar stopped before the package was unpacked";

  EXPECT_TRUE(base::PathExists(install_folder().Append(L"launcher.exe")));
  EXPECT_EQ(1, server().GetPackageDownloadCount());
  // The window's lock on the download folder went with it.
  EXPECT_FALSE(base::PathExists(download_folder().Append(L"installer.lck")));
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  EXPECT_EQ(1, GetReportInteger(*report, "installation_success"));
  EXPECT_EQ(0, GetReportInteger(*report, "run_immediately"));
  EXPECT_EQ((std::vector<std::string>{"WELCOME:ACCEPT", "PROGRESS"}), GetPageSequence(*report));
  EXPECT_FALSE(report->HasKey("failure_reason"));
  EXPECT_FALSE(report->HasKey("installation_cancelled"));
  Uninstall();
}

TEST_F(InstallerWindowE2eTest, CancelDuringTheInstallationLeavesNothingBehind) {
  // The backend waits for a package that keeps coming.
  server().StallPackageDownloads();
  ASSERT_TRUE(StartWithWindow());
  ASSERT_TRUE(WaitForPage(IDC_ACCEPT));
  ClickButton(dialog_, IDC_ACCEPT);
  ASSERT_TRUE(WaitForPage(IDC_PROGRESS_BAR));
  ASSERT_TRUE(PollUntil([this] { return server().GetPackageDownloadCount() > 0; }));

  // The person closes the window, and confirms.
  CloseWindowAndConfirm();
  const ProcessResult run = WaitForEnd();
  EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
  EXPECT_NE(0u, run.exit_code) << run.Describe() << ReadLogs();

  EXPECT_FALSE(base::PathExists(install_folder().Append(L"launcher.exe")));
  ExpectRegistryUnchanged();
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  EXPECT_EQ(0, GetReportInteger(*report, "installation_success"));
  EXPECT_EQ(1, GetReportInteger(*report, "installation_cancelled"));
  EXPECT_EQ((std::vector<std::string>{"WELCOME:ACCEPT", "PROGRESS:CANCEL"}),
            GetPageSequence(*report));
}

// A cancel while the backend is in the middle of installing (files copied, registry
// written, the pin helper running) rolls all of it back.
TEST_F(InstallerWindowE2eTest, CancelWhileTheBackendInstallsRollsBack) {
  // The pin helper runs from the package under the shell's name.
  StubHold hold(L"explorer.exe");
  ASSERT_TRUE(hold.IsValid());
  ASSERT_TRUE(StartWithWindow(base::FilePath(), &hold));
  ASSERT_TRUE(WaitForPage(IDC_ACCEPT));
  ClickButton(dialog_, IDC_ACCEPT);
  ASSERT_TRUE(WaitForStubInvocations(stub_log_folder(), L"explorer.exe", 1,
                                     base::TimeDelta::FromSeconds(120)))
      << ReadLogs();
  ASSERT_TRUE(base::PathExists(install_folder().Append(L"launcher.exe")));

  CloseWindowAndConfirm();
  hold.Release();
  const ProcessResult run = WaitForEnd();
  EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
  EXPECT_NE(0u, run.exit_code) << run.Describe() << ReadLogs();

  EXPECT_FALSE(base::PathExists(install_folder().Append(L"launcher.exe")));
  EXPECT_FALSE(base::PathExists(install_folder().Append(L"installation_status.xml")));
  ExpectRegistryUnchanged();
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  EXPECT_EQ(0, GetReportInteger(*report, "installation_success"));
  EXPECT_EQ(1, GetReportInteger(*report, "installation_cancelled"));
}

// A server that fails shows the error page; RETRY fetches again and, once the server
// answers, installs. A fetch that failed in the background is restarted by the accept, and
// only then: a later retry installs the package already fetched instead of fetching it
// again under the backend.
TEST_F(InstallerWindowE2eTest, ServerFailureShowsTheErrorPageAndRetryRecovers) {
  server().FailDownloadUrlRequests(1000, 404);
  ASSERT_TRUE(StartWithWindow());
  ASSERT_TRUE(WaitForPage(IDC_ACCEPT));
  // The background fetch gives up while the person reads the welcome page, silently.
  ASSERT_TRUE(PollUntil([this] { return LogsContain("we won't retry until user decides to."); }))
      << ReadLogs();
  EXPECT_TRUE(IsControlVisible(dialog_, IDC_ACCEPT));

  // The accept fetches again, which fails: the error page, without the full installer.
  ClickButton(dialog_, IDC_ACCEPT);
  ASSERT_TRUE(WaitForError(kDownloadFailed));
  EXPECT_FALSE(IsControlVisible(dialog_, IDC_FULL_PACKAGE));

  // The server answers again, but the backend cannot write the install folder yet.
  server().ClearFailures();
  ASSERT_TRUE(base::CreateDirectory(install_folder()));
  const base::FilePath blocker = install_folder().Append(L"launcher.exe");
  base::win::ScopedHandle blocked(::CreateFileW(blocker.value().c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(blocked.IsValid());
  ClickButton(dialog_, IDC_RETRY);
  ASSERT_TRUE(PollUntil([this] { return LogsContain("Handling pending error"); }));
  ASSERT_TRUE(WaitForPage(IDC_RETRY));
  EXPECT_EQ(1, server().GetPackageDownloadCount());

  // Now it can: the package fetched before is installed.
  blocked.Close();
  ASSERT_TRUE(base::DeletePath(blocker, false));
  ClickButton(dialog_, IDC_RETRY);
  const ProcessResult run = WaitForEnd();
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"launcher.exe")));
  EXPECT_EQ(1, server().GetPackageDownloadCount());

  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  EXPECT_EQ(1, GetReportInteger(*report, "installation_success"));
  EXPECT_FALSE(report->HasKey("failure_reason"));
  const std::vector<std::string> pages = GetPageSequence(*report);
  ASSERT_GE(pages.size(), 5u);
  EXPECT_EQ("WELCOME:ACCEPT", pages[0]);
  EXPECT_EQ("ERROR:RETRY", pages[2]);
  EXPECT_EQ("PROGRESS", pages.back());
  Uninstall();
}

// A second installer for the same download folder shows no window of its own: it brings the
// first one forward and ends. Closing the first window, confirmed, ends its run.
TEST_F(InstallerWindowE2eTest, ASecondInstallerDefersToTheFirstWindow) {
  ASSERT_TRUE(StartWithWindow());
  ASSERT_TRUE(WaitForPage(IDC_ACCEPT));
  const ProcessResult second = RunHost(L"--installfolder=\"" + install_folder().value() + L"\"");
  EXPECT_TRUE(second.started && !second.timed_out) << second.Describe();
  EXPECT_NE(0u, second.exit_code);
  EXPECT_TRUE(LogsContain("Another instance of the installer UI is running. Switching to it"))
      << ReadLogs();
  EXPECT_TRUE(::IsWindowVisible(dialog_));
  EXPECT_TRUE(installer_.IsRunning());

  CloseWindowAndConfirm();
  const ProcessResult run = WaitForEnd();
  EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
  EXPECT_FALSE(base::PathExists(install_folder().Append(L"launcher.exe")));
  EXPECT_FALSE(base::PathExists(download_folder().Append(L"installer.lck")));
}

// After a second failure the error page offers the full installer, which opens its address
// with the browser of the system and ends the run.
TEST_F(InstallerWindowE2eTest, TheFullInstallerOfferOpensItsAddress) {
  // The system's handler of web addresses is a stub that records what it was given.
  const base::FilePath browser = work_folder().Append(L"browser");
  ASSERT_TRUE(base::CreateDirectory(browser));
  ASSERT_TRUE(base::CopySingleFile(ExamplePackage::Current().package_folder().Append(L"tavro.exe"),
                                   browser.Append(L"web_browser.exe")));
  const std::wstring command = L"\"" + browser.Append(L"web_browser.exe").value() + L"\" \"%1\"";
  // Wine's class root is the machine's only.
  ScopedRegistryValue handler(HKEY_LOCAL_MACHINE, L"Software\\Classes\\http\\shell\\open\\command",
                              command);
  ASSERT_TRUE(handler.IsValid());
  base::FilePath full_host;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"full_offer"),
                           {{"urls.autoupdate", server().GetBaseUrl()},
                            {"urls.download_full_windows", server().GetBaseUrl() + "full?x=1"}},
                           &full_host));

  server().FailDownloadUrlRequests(1000, 404);
  ASSERT_TRUE(StartWithWindow(full_host));
  ASSERT_TRUE(WaitForPage(IDC_ACCEPT));
  ClickButton(dialog_, IDC_ACCEPT);
  ASSERT_TRUE(WaitForError(kDownloadFailed));
  EXPECT_FALSE(IsControlVisible(dialog_, IDC_FULL_PACKAGE));
  ClickButton(dialog_, IDC_RETRY);
  // The page shows its controls one at a time and sets its text last: the offer is whole
  // once the log tells of it and the text is there, beside both buttons.
  const auto offer_shown = [this] {
    return LogsContain("\" and offer full package") && IsControlVisible(dialog_, IDC_RETRY) &&
           IsControlVisible(dialog_, IDC_FULL_PACKAGE) &&
           GetControlText(dialog_, IDC_STATUS_TEXT) == kDownloadFailed;
  };
  ASSERT_TRUE(PollUntil(offer_shown, kDeadline))
      << "retry " << IsControlVisible(dialog_, IDC_RETRY) << ", full installer "
      << IsControlVisible(dialog_, IDC_FULL_PACKAGE) << "\n"
      << ReadLogs();

  ClickButton(dialog_, IDC_FULL_PACKAGE);
  const ProcessResult run = WaitForEnd();
  EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
  ASSERT_TRUE(WaitForStubInvocations(stub_log_folder(), L"web_browser.exe", 1, kDeadline))
      << ReadLogs();
  const std::vector<StubInvocation> opened = ReadStubInvocations(L"web_browser.exe");
  ASSERT_EQ(1u, opened.size());
  EXPECT_EQ(0u, opened[0].command_line.find(L"\"" + browser.Append(L"web_browser.exe").value()))
      << opened[0].command_line;
  EXPECT_NE(std::wstring::npos,
            opened[0].command_line.find(base::Utf8ToUtf16(server().GetBaseUrl() + "full?x=1")))
      << opened[0].command_line;

  EXPECT_FALSE(base::PathExists(install_folder()));
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  EXPECT_EQ(0, GetReportInteger(*report, "installation_success"));
  EXPECT_EQ(2, GetReportInteger(*report, "installation_cancelled"));
  EXPECT_EQ("Fetcher error", GetReportString(*report, "failure_reason"));
  const std::vector<std::string> pages = GetPageSequence(*report);
  ASSERT_FALSE(pages.empty());
  EXPECT_EQ("ERROR:FULL_PACKAGE", pages.back());
}

// A dialog template of a window class that nobody registered: no window can be made from it.
std::string MakeUnusableDialogTemplate() {
  DLGTEMPLATE header = {};
  header.style = WS_POPUP | WS_CAPTION;
  std::string data(reinterpret_cast<const char*>(&header), sizeof(header));
  data.append(2, '\0');  // No menu.
  const std::wstring class_name = L"TavroNoSuchClass";
  data.append(reinterpret_cast<const char*>(class_name.c_str()),
              (class_name.size() + 1) * sizeof(wchar_t));
  data.append(2, '\0');  // No title.
  return data;
}

// An installer whose window cannot be made (here: its template is unusable) ends the run at
// once, failed, and says why, instead of waiting for a person who sees nothing.
TEST_F(InstallerWindowE2eTest, AWindowThatCannotBeMadeEndsTheRunCleanly) {
  base::FilePath broken;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"broken"),
                           {{"urls.autoupdate", server().GetBaseUrl()}}, &broken));
  ASSERT_TRUE(ReplaceResource(broken, RT_DIALOG, IDD_INSTALLER_MAIN, MakeUnusableDialogTemplate()));

  ProcessOptions options = MakeProcessOptions();
  const ProcessResult run = RunProcess(
      L"\"" + broken.value() + L"\" --installfolder=\"" + install_folder().value() + L"\"",
      options);
  EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
  EXPECT_NE(0u, run.exit_code);
  EXPECT_TRUE(LogsContain("Could not initialize installer window")) << ReadLogs();
  EXPECT_FALSE(base::PathExists(install_folder().Append(L"launcher.exe")));
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  EXPECT_EQ(0, GetReportInteger(*report, "installation_success"));
  EXPECT_EQ("Could not initialize installer window", GetReportString(*report, "failure_reason"));
}

}  // namespace
}  // namespace test
}  // namespace installer
