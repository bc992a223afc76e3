#include "desktop/windows/installer/ui/window_controls.h"

#include "desktop/windows/installer/host/installer_resources.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

constexpr unsigned kWelcome = PageBit(INSTALLER_PAGE_WELCOME);
constexpr unsigned kUninstall = PageBit(INSTALLER_PAGE_UNINSTALL);
constexpr unsigned kTos = PageBit(INSTALLER_PAGE_TOS);
constexpr unsigned kOptions = PageBit(INSTALLER_PAGE_OPTIONS);
constexpr unsigned kProgress = PageBit(INSTALLER_PAGE_PROGRESS);
constexpr unsigned kError = PageBit(INSTALLER_PAGE_ERROR);

}  // namespace

const PageControl kPageControls[] = {
    {IDC_LOGO, kWelcome | kUninstall | kProgress | kError},
    {IDC_OPTIONS, kWelcome},
    {IDC_UNINSTALL_CANCEL, kUninstall},
    {IDC_ACCEPT, kWelcome | kTos | kOptions},
    {IDC_FULL_PACKAGE, kError},
    {IDC_RETRY, kError},
    {IDC_UNINSTALL, kUninstall},
    {IDC_HEADING, kWelcome},
    {IDC_TERMS_SENTENCE, kWelcome},
    {IDC_PROGRESS_TITLE, kProgress},
    {IDC_INSTALL_FAILED_TITLE, kError},
    {IDC_STATUS_TEXT, kProgress | kError},
    {IDC_TERMS_TEXT, kTos},
    {IDC_BACK, kTos | kOptions | kError},
    // The main screen's own path box and browse button show on no page; the red static shows
    // on the welcome page only while the install folder is refused (ShowPathProblem).
    {IDC_MAIN_INSTALL_PATH, 0},
    {IDC_MAIN_BROWSE, 0},
    {IDC_PROGRESS_BAR, kProgress},
    {IDC_RED_TEXT, 0},
    {IDC_UNINSTALL_QUESTION, kUninstall},
    {IDC_DELETE_PROFILE, kUninstall},
    {IDC_UNINSTALL_FAILED_TITLE, kError},
};
const size_t kPageControlCount = sizeof(kPageControls) / sizeof(kPageControls[0]);

const ControlText kInstallTexts[] = {
    {IDC_OPTIONS, IDS_OPTIONS_BUTTON},
    {IDC_BACK, IDS_BACK},
    {IDC_LANGUAGE_LABEL, IDS_LANGUAGE_LABEL},
    {IDC_INSTALL_MODE_LABEL, IDS_INSTALL_FOR_LABEL},
    {IDC_INSTALL_PATH_LABEL, IDS_INSTALL_PATH_LABEL},
    {IDC_CHANGE_PATH, IDS_CHANGE_BUTTON},
    {IDC_INVALID_PATH, IDS_INVALID_INSTALL_PATH},
    {IDC_DEFAULT_BROWSER, IDS_MAKE_DEFAULT_BROWSER},
    {IDC_IMPORT_DATA, IDS_IMPORT_BROWSER_DATA},
    {IDC_SHARE_USAGE_DATA, IDS_SHARE_USAGE_DATA},
    {IDC_PROGRESS_TITLE, IDS_PROGRESS_TITLE},
    {IDC_INSTALL_FAILED_TITLE, IDS_INSTALL_FAILED_TITLE},
    {IDC_RETRY, IDS_TRY_AGAIN},
    {IDC_FULL_PACKAGE, IDS_GET_FULL_INSTALLER},
    {IDC_UNINSTALL_CANCEL, IDS_CANCEL},
};
const size_t kInstallTextCount = sizeof(kInstallTexts) / sizeof(kInstallTexts[0]);

const ControlText kUninstallTexts[] = {
    {IDC_BACK, IDS_BACK},
    {IDC_INSTALL_FAILED_TITLE, IDS_UNINSTALL_FAILED_TITLE},
    {IDC_UNINSTALL_FAILED_TITLE, IDS_UNINSTALL_FAILED_TITLE},
    {IDC_RETRY, IDS_TRY_AGAIN},
    {IDC_UNINSTALL_CANCEL, IDS_CANCEL},
    {IDC_UNINSTALL, IDS_UNINSTALL_BUTTON},
    {IDC_UNINSTALL_QUESTION, IDS_UNINSTALL_QUESTION},
    {IDC_DELETE_PROFILE, IDS_DELETE_USER_DATA},
};
const size_t kUninstallTextCount = sizeof(kUninstallTexts) / sizeof(kUninstallTexts[0]);

int GetPageFocusControl(InstallerPage page) {
  switch (page) {
    case INSTALLER_PAGE_WELCOME:
    case INSTALLER_PAGE_TOS:
    case INSTALLER_PAGE_OPTIONS:
      return IDC_ACCEPT;
    case INSTALLER_PAGE_UNINSTALL:
      return IDC_UNINSTALL;
    case INSTALLER_PAGE_ERROR:
      return IDC_RETRY;
    default:
      return 0;
  }
}

}  // namespace installer
