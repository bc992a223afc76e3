#include "desktop/windows/installer/ui/installer_ui_controller.h"

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/exit_callback_registry.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/path_registry.h"
#include "base/test/run_until.h"
#include "base/test/scoped_path_override.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/values.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/default_install_folders.h"
#include "desktop/windows/installer/host/installer_resources.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "desktop/windows/installer/test/window_test_util.h"
#include "desktop/windows/installer/ui/installer_window.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/rc_l10n_handler/language_test_fixture.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A controller with its real window, without a package fetcher (as inside a package), in a
// test copy of the registry with test program-files folders. Its package is a folder whose
// "installer.exe" is the example package's stub: a backend that records its command line and
// ends at once, without a report.
class InstallerUIControllerTest : public LanguageTest {
 protected:
  void SetUp() override {
    LanguageTest::SetUp();
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(registry_.IsValid());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    ASSERT_TRUE(test::ExamplePackage::Current().IsBuilt());
    ASSERT_TRUE(base::CreateDirectory(package_folder()));
    ASSERT_TRUE(base::CopySingleFile(
        test::ExamplePackage::Current().package_folder().Append(L"tavro.exe"), backend()));
    // A failed backend's exit code, which the stub ends with.
    ASSERT_TRUE(test::WriteTestFile(package_folder().Append(L"installer.exe.exit_code"), "1"));
    package_override_ = std::make_unique<base::ScopedPathOverride>(
        base::DIR_EXE, package_folder(), true, false);
    // Should the runner ever start the running program instead, it starts the stub.
    own_file_override_ =
        std::make_unique<base::ScopedPathOverride>(base::FILE_EXE, backend(), true, false);
    ASSERT_TRUE(package_override_->IsValid() && own_file_override_->IsValid());
  }

  void MakeSettings(const std::wstring& switches, bool uninstall = false) {
    command_line_ = std::make_unique<base::CommandLine>(base::CommandLine::FromString(
        L"installer.exe --enable-installer-stats=0 " + switches));
    settings_ = std::make_unique<Settings>(uninstall, false, false, base::FilePath(), false,
                                           INSTALLER_ARCH_X64, command_line_.get());
    ASSERT_TRUE(base::test::RunUntil([this] { return !settings_->IsFetchingStatus(); }));
  }
  void MakeSettingsFor(const base::FilePath& folder) {
    MakeSettings(L"--installfolder=\"" + folder.value() + L"\"");
  }

  base::FilePath install_folder() const { return temp_dir_.GetPath().Append(L"Tavro"); }
  base::FilePath download_folder() const { return temp_dir_.GetPath(); }
  base::FilePath package_folder() const { return temp_dir_.GetPath().Append(L"package"); }
  base::FilePath backend() const { return package_folder().Append(L"installer.exe"); }
  std::vector<test::StubInvocation> BackendRuns() const {
    return test::ReadStubInvocations(package_folder(), L"installer.exe");
  }

  // Runs |during_run| once the window is up, then the UI until it ends.
  uint8_t RunUIWith(std::function<void()> during_run) {
    // Posted behind the controller's own start, which RunUI posts.
    base::CurrentThreadTaskRunner::Get()->PostTask(FROM_HERE, base::BindLambda([during_run] {
                                                     base::CurrentThreadTaskRunner::Get()->PostTask(
                                                         FROM_HERE, base::BindLambda(during_run));
                                                   }));
    return controller_.RunUI(settings_.get(), nullptr, download_folder(), false);
  }

  // Runs the loop (nested, when called from a task) until the window shows the error page
  // with |message_id|.
  bool WaitForErrorPage(int message_id) {
    return base::test::RunUntil([&] {
      return controller_.window() &&
             controller_.window()->current_page() == INSTALLER_PAGE_ERROR &&
             test::GetControlText(controller_.window()->dialog(), IDC_STATUS_TEXT) ==
                 GetString(message_id);
    });
  }
  HWND dialog() const { return controller_.window() ? controller_.window()->dialog() : nullptr; }
  int BarPosition() const {
    return static_cast<int>(
        ::SendDlgItemMessageW(dialog(), IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
  }

  int StatsInteger(const char* key) const {
    std::unique_ptr<base::Value> root = base::JsonReader::Read(controller_.stats()->ToJson());
    const base::DictionaryValue* dictionary = nullptr;
    int value = -1;
    if (root && root->GetAsDictionary(&dictionary))
      dictionary->GetInteger(key, &value);
    return value;
  }
  std::string StatsString(const char* key) const {
    std::unique_ptr<base::Value> root = base::JsonReader::Read(controller_.stats()->ToJson());
    const base::DictionaryValue* dictionary = nullptr;
    std::string value;
    if (root && root->GetAsDictionary(&dictionary))
      dictionary->GetString(key, &value);
    return value;
  }

  base::ExitCallbackRegistry exit_callbacks_;
  base::MessageLoop loop_{base::MessageLoop::TYPE_UI};
  base::win::ScopedComInitializer com_;
  test::ScopedRegistryOverride registry_;
  base::ScopedPathOverride program_files_x86_{base::DIR_PROGRAM_FILESX86};
  base::ScopedPathOverride program_files_x64_{base::DIR_PROGRAM_FILES_X64};
  base::ScopedTempDir temp_dir_;
  std::unique_ptr<base::ScopedPathOverride> package_override_;
  std::unique_ptr<base::ScopedPathOverride> own_file_override_;
  std::unique_ptr<base::CommandLine> command_line_;
  std::unique_ptr<Settings> settings_;
  InstallerUIController controller_;
};

// A cancelled run ends at once; what arrives after its end (a late error report, a posted
// accept or error display, a fetcher's request for a dialog) neither starts the backend nor
// touches the window that is gone, and the request hears that it was cancelled.
TEST_F(InstallerUIControllerTest, NothingRunsAfterTheUIEnded) {
  MakeSettingsFor(install_folder());
  bool window_was_shown = false;
  bool dialog_ran = false;
  int reply = 0;
  const uint8_t result = RunUIWith([&] {
    window_was_shown = controller_.window() && ::IsWindowVisible(controller_.window()->dialog());
    controller_.OnCancel();
    controller_.OnError(IDS_ERROR_INSTALL_FAILED, std::wstring(), "Late report");
    controller_.OnAccept();
    controller_.ShowPendingError();
    controller_.RunUICallbackAndPostReply(base::BindLambda([&](HWND) {
                                            dialog_ran = true;
                                            return int32_t{0};
                                          }),
                                          base::CurrentThreadTaskRunner::Get(),
                                          base::BindLambda([&](int32_t value) { reply = value; }));
  });

  EXPECT_EQ(0, result);
  EXPECT_TRUE(window_was_shown);
  EXPECT_TRUE(controller_.ui_terminated());
  EXPECT_FALSE(controller_.window());
  // The backend would have taken the settings from the user.
  EXPECT_TRUE(settings_->accepts_changes());
  EXPECT_TRUE(base::test::RunUntil([&] { return reply != 0; }));
  EXPECT_EQ(ERROR_CANCELLED, reply);
  EXPECT_FALSE(dialog_ran);
  EXPECT_EQ(1, StatsInteger("installation_cancelled"));
  EXPECT_EQ(0, StatsInteger("installation_success"));
  EXPECT_TRUE(BackendRuns().empty());
}

// A backend that ends without reporting success or an error failed all the same: the error
// page says so (37055), and "Try Again" starts it again. When uninstalling the text is the
// uninstallation's (37056).
TEST_F(InstallerUIControllerTest, ABackendEndingWithoutAReportShowsTheGenericError) {
  MakeSettingsFor(install_folder());
  bool shown = false;
  RunUIWith([&] {
    controller_.OnAccept();
    shown = WaitForErrorPage(IDS_ERROR_INSTALL_FAILED);
    EXPECT_EQ("Unreported installer error.", StatsString("failure_reason"));
    test::ClickButton(dialog(), IDC_RETRY);
    ASSERT_TRUE(controller_.window());
    EXPECT_EQ(INSTALLER_PAGE_PROGRESS, controller_.window()->current_page());
    EXPECT_TRUE(WaitForErrorPage(IDS_ERROR_INSTALL_FAILED));
    controller_.OnCancel();
  });
  EXPECT_TRUE(shown);
  EXPECT_EQ(2u, BackendRuns().size());

  base::CommandLine uninstall_command_line =
      base::CommandLine::FromString(L"installer.exe --uninstall --enable-installer-stats=0");
  Settings uninstall_settings(true, false, false, base::FilePath(), false, INSTALLER_ARCH_X64,
                              &uninstall_command_line);
  InstallerUIController uninstaller;
  base::CurrentThreadTaskRunner::Get()->PostTask(FROM_HERE, base::BindLambda([&] {
    base::CurrentThreadTaskRunner::Get()->PostTask(FROM_HERE, base::BindLambda([&] {
      uninstaller.OnInstallerTerminated(false);
      shown = base::test::RunUntil([&] {
        return uninstaller.window() &&
               test::GetControlText(uninstaller.window()->dialog(), IDC_STATUS_TEXT) ==
                   GetString(IDS_ERROR_UNINSTALL_FAILED);
      });
      uninstaller.OnCancel();
    }));
  }));
  uninstaller.RunUI(&uninstall_settings, nullptr, download_folder(), false);
  EXPECT_TRUE(shown);
}

// After "Try Again" the bar starts where the phase of the run starts and moves forward with
// every step of the new backend, up to its end; the steps of the failed run count no more.
TEST_F(InstallerUIControllerTest, RetryAfterAFailureMovesTheBarOnlyForwardFromItsStart) {
  MakeSettingsFor(install_folder());
  std::vector<int> positions;
  PBRANGE range = {-1, -1};
  RunUIWith([&] {
    // The first backend announces ten steps and reports all of them before it fails.
    controller_.OnAccept();
    controller_.OnTotalSteps(10);
    for (int step = 0; step < 10; ++step)
      controller_.OnStep();
    ASSERT_TRUE(WaitForErrorPage(IDS_ERROR_INSTALL_FAILED));

    test::ClickButton(dialog(), IDC_RETRY);
    ::SendDlgItemMessageW(dialog(), IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE,
                          reinterpret_cast<LPARAM>(&range));
    positions.push_back(BarPosition());
    controller_.OnTotalSteps(10);
    for (int step = 0; step < 10; ++step) {
      controller_.OnStep();
      positions.push_back(BarPosition());
    }
    controller_.OnCancel();
  });
  // The backend's phase starts after 1 + 1000 + 200 + 1 + 1 of 1303.
  EXPECT_EQ(1203, range.iLow);
  EXPECT_EQ(1303, range.iHigh);
  ASSERT_EQ(11u, positions.size());
  EXPECT_EQ(1203, positions.front());
  // Every step moves the bar, until it is full.
  for (size_t i = 1; i < positions.size(); ++i) {
    EXPECT_TRUE(positions[i - 1] < positions[i] || positions[i] == 1303)
        << "step " << i << ": " << positions[i - 1] << " to " << positions[i];
  }
  EXPECT_EQ(1303, positions.back());
}

// A fetcher's dialog runs its own message loop inside the accept; when the backend fails
// meanwhile, the error page it brought stays, and "Try Again" works.
TEST_F(InstallerUIControllerTest, ABackendFailingUnderAFetcherDialogEndsOnTheErrorPage) {
  MakeSettingsFor(install_folder());
  bool error_shown_under_dialog = false;
  InstallerPage page_after_accept = INSTALLER_PAGE_COUNT;
  RunUIWith([&] {
    controller_.RunUICallbackAndPostReply(
        base::BindLambda([&](HWND) {
          error_shown_under_dialog = WaitForErrorPage(IDS_ERROR_INSTALL_FAILED);
          return int32_t{0};
        }),
        base::CurrentThreadTaskRunner::Get(), base::BindLambda([](int32_t) {}));
    controller_.OnAccept();
    ASSERT_TRUE(controller_.window());
    page_after_accept = controller_.window()->current_page();
    test::ClickButton(dialog(), IDC_RETRY);
    EXPECT_TRUE(WaitForErrorPage(IDS_ERROR_INSTALL_FAILED));
    controller_.OnCancel();
  });
  EXPECT_TRUE(error_shown_under_dialog);
  EXPECT_EQ(INSTALLER_PAGE_ERROR, page_after_accept);
  EXPECT_EQ(2u, BackendRuns().size());
}

// An all-users installation whose elevation was refused is retried at once for the current
// user, in the current user's own folder when the program-files one would need elevation,
// without an error page.
TEST_F(InstallerUIControllerTest, ARefusedElevationRetriesForTheCurrentUserInTheUsersFolder) {
  MakeSettings(L"");
  ASSERT_TRUE(settings_->GetFlag(ALL_USERS_FLAG));
  const base::FilePath all_users_folder = settings_->GetInstallFolder();
  // A user who is no administrator and may not write into the program-files folder.
  controller_.set_requires_elevation_for_testing([](bool, bool) { return true; });
  RunUIWith([&] {
    controller_.OnAccept();
    // The backend's report, as it ends.
    controller_.OnError(IDS_ERROR_ELEVATION_FAILED, std::wstring(), "Elevation refused");
    EXPECT_TRUE(base::test::RunUntil([&] { return BackendRuns().size() == 2; }));
    ASSERT_TRUE(controller_.window());
    EXPECT_NE(INSTALLER_PAGE_ERROR, controller_.window()->current_page());
    controller_.OnCancel();
  });
  const std::vector<test::StubInvocation> runs = BackendRuns();
  ASSERT_EQ(2u, runs.size());
  EXPECT_EQ(L"1", runs[0].GetCommandLine().GetSwitchValueNative("allusers"));
  EXPECT_EQ(all_users_folder, runs[0].GetCommandLine().GetSwitchValuePath("installfolder"));
  EXPECT_EQ(L"0", runs[1].GetCommandLine().GetSwitchValueNative("allusers"));
  const base::FilePath user_folder = runs[1].GetCommandLine().GetSwitchValuePath("installfolder");
  EXPECT_EQ(settings_->GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD), user_folder);
  base::FilePath user_programs;
  ASSERT_TRUE(GetUserProgramsFolder(&user_programs));
  EXPECT_EQ(user_programs.Append(GetDefaultInstallFolderName()), user_folder);
}

}  // namespace
}  // namespace installer
