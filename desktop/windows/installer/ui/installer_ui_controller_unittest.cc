#include "desktop/windows/installer/ui/installer_ui_controller.h"

#include <functional>
#include <memory>
#include <string>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/test/run_until.h"
#include "base/threading/current_thread_task_runner.h"
#include "base/values.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "desktop/windows/installer/ui/installer_window.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/rc_l10n_handler/language_test_fixture.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A controller with its real window on Settings for a folder below a temp folder, without a
// package fetcher (as inside a package), in a test copy of the registry.
class InstallerUIControllerTest : public LanguageTest {
 protected:
  void SetUp() override {
    LanguageTest::SetUp();
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(registry_.IsValid());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    command_line_ = std::make_unique<base::CommandLine>(base::CommandLine::FromString(
        L"installer.exe --enable-installer-stats=0 --installfolder=\"" + install_folder().value() +
        L"\""));
    settings_ = std::make_unique<Settings>(false, false, false, install_folder(), false,
                                           INSTALLER_ARCH_X64, command_line_.get());
    ASSERT_TRUE(base::test::RunUntil([this] { return !settings_->IsFetchingStatus(); }));
  }

  base::FilePath install_folder() const { return temp_dir_.GetPath().Append(L"Tavro"); }
  base::FilePath download_folder() const { return temp_dir_.GetPath(); }

  // Runs |during_run| once the window is up, then the UI until it ends.
  uint8_t RunUIWith(std::function<void()> during_run) {
    // Posted behind the controller's own start, which RunUI posts.
    base::CurrentThreadTaskRunner::Get()->PostTask(FROM_HERE, base::BindLambda([during_run] {
                                                     base::CurrentThreadTaskRunner::Get()->PostTask(
                                                         FROM_HERE, base::BindLambda(during_run));
                                                   }));
    return controller_.RunUI(settings_.get(), nullptr, download_folder(), false);
  }

  int StatsInteger(const char* key) const {
    std::unique_ptr<base::Value> root = base::JsonReader::Read(controller_.stats()->ToJson());
    const base::DictionaryValue* dictionary = nullptr;
    int value = -1;
    if (root && root->GetAsDictionary(&dictionary))
      dictionary->GetInteger(key, &value);
    return value;
  }

  base::MessageLoop loop_{base::MessageLoop::TYPE_UI};
  base::win::ScopedComInitializer com_;
  test::ScopedRegistryOverride registry_;
  base::ScopedTempDir temp_dir_;
  std::unique_ptr<base::CommandLine> command_line_;
  std::unique_ptr<Settings> settings_;
  InstallerUIController controller_;
};

// A cancelled run ends at once; what arrives after its end (a late error report, a posted
// accept or error display, a fetcher's request for a dialog) neither starts the backend nor
// touches the window that is gone, and the request hears that it was cancelled.
TEST_F(InstallerUIControllerTest, NothingRunsAfterTheUIEnded) {
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
}

}  // namespace
}  // namespace installer
