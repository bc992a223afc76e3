// Shows the installer window on one page, for screenshots (tools/window_screenshots.sh):
//
//   installer_window_gallery.exe --page=options --language=de --ready=C:\shot\ready
//
// Pages: welcome, uninstall, tos, options, progress, error, uninstall-error. Once the page
// is painted the program writes the file named by "ready"; it ends when that file is
// deleted, or after 60 seconds. "language" picks the language, as for the installer.

#include <windows.h>

#include <memory>
#include <string>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/exit_callback_registry.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/time/time.h"
#include "base/timer/timer.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/ui/installer_window.h"
#include "desktop/windows/installer/ui/win32_dialog_dispatcher.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"

namespace {

constexpr base::TimeDelta kPollPeriod = base::TimeDelta::FromMilliseconds(200);
constexpr int kMaxPolls = 300;

}  // namespace

int wmain() {
  base::CommandLine::InitForCurrentProcess();
  const base::CommandLine& command_line = *base::CommandLine::ForCurrentProcess();
  const std::wstring page = command_line.GetSwitchValueNative("page");
  const base::FilePath ready = command_line.GetSwitchValuePath("ready");
  const bool uninstall = page == L"uninstall" || page == L"uninstall-error";

  base::ExitCallbackRegistry exit_callbacks;
  base::win::ScopedComInitializer com;
  base::MessageLoop loop(base::MessageLoop::TYPE_UI);
  installer::Settings settings(uninstall, false, false, command_line.GetSwitchValuePath("installfolder"),
                               false, installer::INSTALLER_ARCH_X64);
  // An uninstallation takes its language from the installation; the gallery's comes from the
  // command line.
  if (uninstall && command_line.HasSwitch("language"))
    settings.SetLanguage(command_line.GetSwitchValueNative("language"));
  installer::Stats stats(nullptr);
  const bool progress_only = page == L"progress" || page == L"error";
  std::unique_ptr<installer::InstallerWindow> window =
      installer::InstallerWindow::Create(&settings, &stats, progress_only);
  if (!window)
    return 1;

  int polls = 0;
  bool shown = false;
  base::RunLoop run_loop(installer::Win32DialogDispatcher::GetInstance());
  base::Timer timer;
  timer.Start(FROM_HERE, kPollPeriod, base::BindLambda([&] {
                if (++polls > kMaxPolls) {
                  run_loop.Quit();
                  return;
                }
                if (shown) {
                  if (!base::PathExists(ready))
                    run_loop.Quit();
                  return;
                }
                if (settings.IsFetchingStatus())
                  return;
                if (page == L"tos") {
                  window->ShowPage(installer::INSTALLER_PAGE_TOS);
                } else if (page == L"options") {
                  window->ShowPage(installer::INSTALLER_PAGE_OPTIONS);
                } else if (page == L"progress") {
                  window->ShowProgress(0, 1303, false);
                  window->SetProgress(700);
                  window->SetStatusText(2);
                } else if (page == L"error") {
                  window->ShowError(installer::GetString(IDS_ERROR_ANOTHER_INSTALLER), true,
                                    "gallery");
                } else if (page == L"uninstall-error") {
                  window->ShowError(installer::GetString(IDS_ERROR_UNINSTALL_FAILED), false,
                                    "gallery");
                }
                ::UpdateWindow(window->dialog());
                shown = true;
                base::WriteFileFromBuffer(ready, "ready", 5);
              }));
  run_loop.Run();
  return 0;
}
