#include "desktop/windows/installer/ui/installer_window.h"

#include <windowsx.h>
#include <commctrl.h>
#include <richedit.h>
#include <uxtheme.h>

#include <algorithm>
#include <utility>

#include "base/logging.h"
#include "base/native_library.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/windows_version.h"
#include "base/win/wrapped_window_proc.h"
#include "desktop/windows/installer/host/installer_resources.h"
#include "desktop/windows/installer/service/user_names.h"
#include "desktop/windows/installer/service/user_rights.h"
#include "desktop/windows/installer/folder_path_check.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/ui/folder_browser.h"
#include "desktop/windows/installer/ui/image_resource.h"
#include "desktop/windows/installer/ui/message_box.h"
#include "desktop/windows/installer/ui/win32_dialog_dispatcher.h"
#include "desktop/windows/installer/ui/window_controls.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/rc_l10n_handler/language_selection.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"

namespace installer {

namespace {

// The common controls the window and its dialogs use (ICC_WIN95_CLASSES and more).
constexpr DWORD kCommonControlClasses = 0xC2FF;

constexpr COLORREF kHeadingColor = RGB(255, 27, 44);
constexpr COLORREF kLinkColor = RGB(104, 104, 104);
constexpr COLORREF kRedTextColor = RGB(255, 0, 0);

// Extra width of the FULL_PACKAGE button beyond its text, in pixels at kImageDpi.
constexpr int kFullPackagePadding = 30;
// The error badge sits this far right of and below the logo's bottom-right corner, in
// pixels at kImageDpi.
constexpr int kBadgeOffset = 10;
// A progress step further than this is taken at once.
constexpr int kMaxSmoothSteps = 10;
constexpr int kTooltipWidth = 300;

constexpr UINT_PTR kLogoSubclassId = 1;
constexpr UINT_PTR kCaretSubclassId = 2;

// The tip of the install-mode list: each mode's name and, indented, what it does.
// A tooltip draws a tab as a box: each title stands on a line of its own instead.
std::wstring GetInstallModeHelp() {
  return base::ReplaceStringPlaceholders(
      L"$1\n$2\n\n$3\n$4\n\n$5\n$6",
      {GetString(IDS_MODE_HELP_ALL_USERS_TITLE), GetString(IDS_MODE_HELP_ALL_USERS),
       GetString(IDS_MODE_HELP_CURRENT_USER_TITLE), GetString(IDS_MODE_HELP_CURRENT_USER),
       GetString(IDS_MODE_HELP_STANDALONE_TITLE), GetString(IDS_MODE_HELP_STANDALONE)});
}

base::win::ScopedFont CreateDialogFont(HDC dc,
                                       int points,
                                       int weight,
                                       DWORD quality,
                                       DWORD pitch,
                                       const wchar_t* face) {
  const int height = -::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72);
  base::win::ScopedFont font(::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                           DEFAULT_CHARSET, OUT_OUTLINE_PRECIS,
                                           CLIP_DEFAULT_PRECIS, quality, pitch, face));
  if (!font.IsValid())
    PLOG(ERROR) << "CreateFont failed for " << face;
  return font;
}

// The rectangle of |control| in the client coordinates of |parent|.
RECT GetRectIn(HWND control, HWND parent) {
  RECT rect = {};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::wstring GetWindowTextString(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  if (length <= 0)
    return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(window, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

std::wstring GetComboItemText(HWND combo, LRESULT index) {
  const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR)
    return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied =
      ::SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
  text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
  return text;
}

bool IsAtLeastVista() {
  return base::win::GetWindowsVersion() >= base::win::VERSION_VISTA;
}

void SetShield(HWND button, bool shield) {
  ::SendMessageW(button, BCM_SETSHIELD, 0, shield ? TRUE : FALSE);
}

}  // namespace

// static
std::unique_ptr<InstallerWindow> InstallerWindow::Create(Settings* settings,
                                                         Stats* stats,
                                                         bool progress_only) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), kCommonControlClasses};
  if (!::InitCommonControlsEx(&controls))
    PLOG(ERROR) << "InitCommonControlsEx failed.";
  // Rich edit 5 registers its class for the process; the library stays loaded for as long
  // as the process may make windows of that class.
  static const HMODULE rich_edit = base::LoadSystemLibrary(L"Msftedit.dll");
  if (!rich_edit)
    PLOG(ERROR) << "Loading library Msftedit.dll failed.";

  std::unique_ptr<InstallerWindow> window(new InstallerWindow(settings, stats, progress_only));
  if (!window->Init()) {
    LOG(ERROR) << "Window creation failed.";
    return nullptr;
  }
  return window;
}

InstallerWindow::InstallerWindow(Settings* settings, Stats* stats, bool progress_only)
    : settings_(settings), progress_only_(progress_only), stats_(stats) {
  for (const std::wstring& code : GetAvailableLanguages()) {
    // A language without strings cannot be chosen: the list would name it in English.
    if (HasStringsForLanguage(code))
      languages_.push_back(code);
    else
      VLOG(1) << "No strings for the available language " << code;
  }
  if (!progress_only_)
    settings_->AddObserver(this);
}

InstallerWindow::~InstallerWindow() {
  tooltip_.Close();
  if (!progress_only_)
    settings_->RemoveObserver(this);
  // The dialogs' last messages must not reach this half-destroyed object.
  if (options_dialog_.Get())
    ::SetWindowLongPtrW(options_dialog_.Get(), DWLP_USER, 0);
  if (main_dialog_.Get()) {
    ::SetWindowLongPtrW(main_dialog_.Get(), DWLP_USER, 0);
    if (HWND logo = ::GetDlgItem(main_dialog_.Get(), IDC_LOGO))
      ::RemoveWindowSubclass(logo, &LogoSubclassProc, kLogoSubclassId);
    for (int id : {IDC_HEADING, IDC_TERMS_SENTENCE}) {
      if (HWND control = ::GetDlgItem(main_dialog_.Get(), id))
        ::RemoveWindowSubclass(control, &CaretHidingSubclassProc, kCaretSubclassId);
    }
    Win32DialogDispatcher::GetInstance()->Deactivate(main_dialog_.Get());
  }
  // The options dialog goes with its parent.
  options_dialog_.Take();
  main_dialog_.Close();
}

bool InstallerWindow::Init() {
  const HINSTANCE module = ::GetModuleHandleW(nullptr);
  if (!::CreateDialogParamW(module, MAKEINTRESOURCEW(IDD_INSTALLER_MAIN), nullptr,
                            &base::win::WrappedWindowProc<&DialogProc>,
                            reinterpret_cast<LPARAM>(this))) {
    PLOG(ERROR) << "Cannot create the installer dialog";
    return false;
  }
  if (!::CreateDialogParamW(module, MAKEINTRESOURCEW(IDD_INSTALLER_OPTIONS), main_dialog_.Get(),
                            &base::win::WrappedWindowProc<&DialogProc>,
                            reinterpret_cast<LPARAM>(this))) {
    PLOG(ERROR) << "Cannot create the options dialog";
    return false;
  }
  if (!progress_only_)
    ShowPage(IsUninstall() ? INSTALLER_PAGE_UNINSTALL : INSTALLER_PAGE_WELCOME);
  ::ShowWindow(main_dialog_.Get(), SW_SHOW);
  ::SetForegroundWindow(main_dialog_.Get());
  OnLanguageChanged();
  // Otherwise the folder's status, when it comes, refreshes the controls.
  if (!settings_->IsFetchingStatus())
    RefreshControls();
  return true;
}

int InstallerWindow::ScaleForDpi(int pixels) const {
  return ::MulDiv(pixels, dpi_, kImageDpi);
}

bool InstallerWindow::IsUninstall() const {
  return settings_->GetFlag(UNINSTALL_FLAG);
}

HWND InstallerWindow::GetControl(int id) const {
  HWND control = ::GetDlgItem(main_dialog_.Get(), id);
  if (!control && options_dialog_.Get())
    control = ::GetDlgItem(options_dialog_.Get(), id);
  return control;
}

void InstallerWindow::ShowPage(InstallerPage page) {
  if (page == current_page_)
    return;
  page_record_ = stats_->AppendToList("ui.page_sequence");
  page_record_->SetString("page_type", GetInstallerPageName(page));

  const HWND dialog = main_dialog_.Get();
  const bool uninstall = IsUninstall();
  for (size_t i = 0; i < kPageControlCount; ++i) {
    const PageControl& entry = kPageControls[i];
    ::ShowWindow(::GetDlgItem(dialog, entry.id),
                 (entry.pages & PageBit(page)) ? SW_SHOW : SW_HIDE);
  }
  // One failure title of the two belongs to the mode.
  ::ShowWindow(::GetDlgItem(dialog, uninstall ? IDC_PROGRESS_TITLE : IDC_UNINSTALL_FAILED_TITLE),
               SW_HIDE);
  if (uninstall)
    ::ShowWindow(::GetDlgItem(dialog, IDC_INSTALL_FAILED_TITLE), SW_HIDE);
  if (options_dialog_.Get())
    ::ShowWindow(options_dialog_.Get(), page == INSTALLER_PAGE_OPTIONS ? SW_SHOW : SW_HIDE);
  // A hidden control cannot take the focus: it moves once the page shows.
  if (const int focus = GetPageFocusControl(page))
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, focus)),
                   TRUE);

  show_error_badge_ = page == INSTALLER_PAGE_ERROR;
  current_page_ = page;
  if (!uninstall)
    ShowPathProblem();
  ::InvalidateRect(dialog, nullptr, TRUE);
}

void InstallerWindow::ShowProgress(uint16_t minimum, uint32_t maximum, bool marquee) {
  ShowPage(INSTALLER_PAGE_PROGRESS);
  const HWND bar = ::GetDlgItem(main_dialog_.Get(), IDC_PROGRESS_BAR);
  const LONG_PTR style = ::GetWindowLongPtrW(bar, GWL_STYLE);
  if (marquee) {
    ::SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
    ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, 0);
    return;
  }
  if (style & PBS_MARQUEE) {
    ::SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
    ::SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
  }
  ::SendMessageW(bar, PBM_SETRANGE32, minimum, static_cast<LPARAM>(maximum));
  ::SendMessageW(bar, PBM_SETSTEP, 1, 0);
  ::SendMessageW(bar, PBM_SETPOS, 0, 0);
}

void InstallerWindow::SetProgress(int32_t position) {
  const HWND bar = ::GetDlgItem(main_dialog_.Get(), IDC_PROGRESS_BAR);
  const int32_t current = static_cast<int32_t>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
  // A step past the end would start the bar over from its beginning.
  const int32_t maximum = static_cast<int32_t>(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
  position = std::min(position, maximum);
  if (position > current + kMaxSmoothSteps) {
    ::SendMessageW(bar, PBM_SETPOS, position, 0);
    return;
  }
  for (int32_t step = current; step < position; ++step)
    ::SendMessageW(bar, PBM_STEPIT, 0, 0);
}

void InstallerWindow::SetStatusText(int32_t stage) {
  std::wstring text;
  if (stage == 0 || stage == 1) {
    text = GetString(IDS_STATUS_DOWNLOADING);
  } else if (stage == 2) {
    text = GetString(IDS_STATUS_EXTRACTING);
  } else if (IsUninstall()) {
    text = GetString(IDS_STATUS_UNINSTALLING);
  } else if (!settings_->GetFlag(COPY_ONLY) && !settings_->GetFlag(ALL_USERS_FLAG)) {
    std::wstring user = GetCurrentUserDisplayName();
    if (user.empty())
      user = GetCurrentUserName();
    text = GetString(IDS_STATUS_INSTALLING_FOR_USER, user);
  } else {
    text = GetString(IDS_STATUS_INSTALLING);
  }
  if (text.empty())
    return;
  ::SetDlgItemTextW(main_dialog_.Get(), IDC_STATUS_TEXT, text.c_str());
  InvalidateControl(IDC_STATUS_TEXT);
}

void InstallerWindow::ShowError(const std::wstring& message,
                                bool offer_full_package,
                                const std::string& failure_reason) {
  ShowPage(INSTALLER_PAGE_ERROR);
  const HWND dialog = main_dialog_.Get();
  ::ShowWindow(::GetDlgItem(dialog, IDC_FULL_PACKAGE), offer_full_package ? SW_SHOW : SW_HIDE);
  LOG(INFO) << "Displaying error: \"" << message << "\" and "
            << (offer_full_package ? "" : "don't ") << "offer full package";
  // There is no earlier page to go back to.
  if (progress_only_ || IsUninstall())
    ::ShowWindow(::GetDlgItem(dialog, IDC_BACK), SW_HIDE);
  // A run started at once offers Cancel in Back's place, as the error texts ask the user to.
  if (progress_only_ && !IsUninstall()) {
    const HWND cancel = ::GetDlgItem(dialog, IDC_UNINSTALL_CANCEL);
    const RECT back = GetRectIn(::GetDlgItem(dialog, IDC_BACK), dialog);
    const RECT own = GetRectIn(cancel, dialog);
    ::SetWindowPos(cancel, nullptr, back.left, own.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(cancel, SW_SHOW);
  }
  ::SetDlgItemTextW(dialog, IDC_STATUS_TEXT, message.c_str());
  InvalidateControl(IDC_STATUS_TEXT);
  page_record_->SetString("failure_reason", failure_reason);
}

void InstallerWindow::ShowErrorBox(const std::wstring& message) {
  ShowLocalizedMessageBox(main_dialog_.Get(), message, GetString(IDS_INSTALLER_TITLE),
                          MB_OK | MB_ICONERROR);
  if (page_record_)
    page_record_->SetString("error_displayed", message);
  NotifyCancel();
}

void InstallerWindow::OnSettingsChanged() {
  RefreshControls();
}

void InstallerWindow::OnPathChanged() {
  RefreshControls();
}

void InstallerWindow::OnLanguageChanged() {
  const bool uninstall = IsUninstall();
  const ControlText* texts = uninstall ? kUninstallTexts : kInstallTexts;
  const size_t count = uninstall ? kUninstallTextCount : kInstallTextCount;
  for (size_t i = 0; i < count; ++i) {
    const std::wstring text = GetString(texts[i].string_id);
    if (!text.empty())
      ::SetWindowTextW(GetControl(texts[i].id), text.c_str());
  }

  const HWND heading = ::GetDlgItem(main_dialog_.Get(), IDC_HEADING);
  const std::wstring product = GetString(IDS_HEADING_PRODUCT);
  const std::wstring heading_text = GetString(IDS_HEADING, product);
  ::SetWindowTextW(heading, heading_text.c_str());
  SetRichTextColor(heading, 0, -1, kHeadingColor);
  const size_t product_start = heading_text.find(product);
  if (!product.empty() && product_start != std::wstring::npos) {
    SetRichTextColor(heading, static_cast<LONG>(product_start),
                     static_cast<LONG>(product_start + product.size()), RGB(0, 0, 0));
  }

  ::SetWindowTextW(main_dialog_.Get(), GetString(IDS_INSTALLER_TITLE).c_str());
  ::InvalidateRect(main_dialog_.Get(), nullptr, TRUE);
  if (uninstall)
    return;

  FillLanguageList();
  FillInstallModeList();
  ResizeFullPackageButton();
  ShowPathProblem();
}

void InstallerWindow::ShowPathProblem() {
  // The reason the log gives, in the user's words and language. The welcome page says it
  // too: a folder given on the command line can grey out its accept button before the
  // options page was ever shown.
  const Status& status = settings_->GetStatus();
  const std::wstring reason = GetString(GetPathProblemMessageId(status.problem()));
  ::SetDlgItemTextW(options_dialog_.Get(), IDC_INVALID_PATH, reason.c_str());
  InvalidateControl(IDC_INVALID_PATH);
  const HWND red_text = ::GetDlgItem(main_dialog_.Get(), IDC_RED_TEXT);
  ::SetWindowTextW(red_text, reason.c_str());
  ::ShowWindow(red_text, current_page_ == INSTALLER_PAGE_WELCOME && !status.valid_install_path()
                             ? SW_SHOW
                             : SW_HIDE);
  InvalidateControl(IDC_RED_TEXT);
}

void InstallerWindow::FillLanguageList() {
  const HWND combo = ::GetDlgItem(options_dialog_.Get(), IDC_LANGUAGE);
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  LRESULT selection = 0;
  for (size_t i = 0; i < languages_.size(); ++i) {
    const std::wstring name = GetStringForLanguage(languages_[i], IDS_LANGUAGE_NAME);
    const LRESULT index =
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    if (index == CB_ERR || index == CB_ERRSPACE) {
      LOG(ERROR) << "Adding item #" << i << "to the language dropdown failed";
      continue;
    }
    ::SendMessageW(combo, CB_SETITEMDATA, index, static_cast<LPARAM>(i));
    if (languages_[i] == settings_->language())
      selection = index;
  }
  ::SendMessageW(combo, CB_SETCURSEL, selection, 0);
}

void InstallerWindow::FillInstallModeList() {
  const HWND combo = ::GetDlgItem(options_dialog_.Get(), IDC_INSTALL_MODE);
  LRESULT selection = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  std::wstring current_user = GetString(IDS_INSTALL_MODE_CURRENT_USER);
  const std::wstring user_name = GetCurrentUserName();
  if (!user_name.empty())
    current_user += L" (" + user_name + L")";
  for (const std::wstring& text :
       {GetString(IDS_INSTALL_MODE_ALL_USERS), current_user,
        GetString(IDS_INSTALL_MODE_STANDALONE)}) {
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  ::SendMessageW(combo, CB_SETCURSEL, selection == CB_ERR ? 0 : selection, 0);

  if (tooltip_.Get()) {
    const std::wstring help = GetInstallModeHelp();
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = options_dialog_.Get();
    tool.uId = reinterpret_cast<UINT_PTR>(combo);
    tool.lpszText = const_cast<wchar_t*>(help.c_str());
    ::SendMessageW(tooltip_.Get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void InstallerWindow::ResizeFullPackageButton() {
  const HWND dialog = main_dialog_.Get();
  const HWND button = ::GetDlgItem(dialog, IDC_FULL_PACKAGE);
  const std::wstring text = GetString(IDS_GET_FULL_INSTALLER);
  base::win::ScopedGetDC dc(button);
  int text_width = 0;
  {
    base::win::ScopedSelectObject font(dc.Get(), regular_font_.Get());
    RECT bounds = {};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &bounds,
                DT_CALCRECT | DT_SINGLELINE);
    text_width = bounds.right - bounds.left;
  }
  const RECT retry = GetRectIn(::GetDlgItem(dialog, IDC_RETRY), dialog);
  const RECT current = GetRectIn(button, dialog);
  const int width =
      std::max<int>(text_width + ScaleForDpi(kFullPackagePadding), retry.right - retry.left);
  ::SetWindowPos(button, nullptr, current.right - width, current.top, width,
                 current.bottom - current.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void InstallerWindow::RefreshControls() {
  const Status& status = settings_->GetStatus();
  const bool valid_path = status.valid_install_path();
  const bool shield =
      valid_path &&
      RequiresElevation(settings_->GetFlag(ALL_USERS_FLAG), status.details().has_write_access);
  const HWND dialog = main_dialog_.Get();
  const HWND options = options_dialog_.Get();

  if (IsUninstall()) {
    if (IsAtLeastVista())
      SetShield(::GetDlgItem(dialog, IDC_UNINSTALL), shield);
    const HWND delete_profile = ::GetDlgItem(dialog, IDC_DELETE_PROFILE);
    // Only the uninstall page shows the box.
    const bool box_allowed = settings_->profile_deletion_allowed();
    if (!box_allowed || current_page_ == INSTALLER_PAGE_UNINSTALL)
      ::ShowWindow(delete_profile, box_allowed ? SW_SHOW : SW_HIDE);
    ::SendMessageW(delete_profile, BM_SETCHECK,
                   settings_->GetFlag(DELETE_PROFILE) ? BST_CHECKED : BST_UNCHECKED, 0);
    return;
  }

  const HWND mode = ::GetDlgItem(options, IDC_INSTALL_MODE);
  ::EnableWindow(mode, settings_->operation() == OPERATION_INSTALLING);
  const int mode_index = settings_->GetFlag(COPY_ONLY)        ? INSTALL_MODE_STANDALONE
                         : settings_->GetFlag(ALL_USERS_FLAG) ? INSTALL_MODE_ALL_USERS
                                                              : INSTALL_MODE_CURRENT_USER;
  ::SendMessageW(mode, CB_SETCURSEL, mode_index, 0);

  const bool upgrade = status.existing_installation() || status.existing_installation_traces();
  const std::wstring accept = GetString(upgrade ? IDS_ACCEPT_AND_UPGRADE : IDS_ACCEPT_AND_INSTALL);
  ::SetDlgItemTextW(dialog, IDC_ACCEPT, accept.c_str());
  terms_links_ = SetRichTextWithLinks(::GetDlgItem(dialog, IDC_TERMS_SENTENCE),
                                      GetString(IDS_TERMS_SENTENCE, accept), kLinkColor);
  if (IsAtLeastVista()) {
    SetShield(::GetDlgItem(dialog, IDC_ACCEPT), shield);
    SetShield(::GetDlgItem(dialog, IDC_RETRY), shield);
  }

  const HWND default_browser = ::GetDlgItem(options, IDC_DEFAULT_BROWSER);
  bool can_make_default = !settings_->GetFlag(COPY_ONLY);
  if (settings_->GetFlag(REPLACE_MORRIT_INSTALLATION) && status.morrit_installation() &&
      status.details().is_http_handler) {
    can_make_default = false;
  }
  ::EnableWindow(default_browser, can_make_default);
  ::CheckDlgButton(options, IDC_DEFAULT_BROWSER,
                   settings_->GetFlag(DEFAULT_BROWSER) ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(options, IDC_IMPORT_DATA,
                   settings_->GetFlag(IMPORT_BROWSER_DATA) ? BST_CHECKED : BST_UNCHECKED);
  ::CheckDlgButton(options, IDC_SHARE_USAGE_DATA,
                   settings_->GetFlag(ENABLE_TAVRO_STATS) || settings_->GetFlag(ENABLE_INSTALLER_STATS)
                       ? BST_CHECKED
                       : BST_UNCHECKED);

  RefreshInstallPath(::GetDlgItem(options, IDC_INSTALL_PATH));

  ::EnableWindow(::GetDlgItem(dialog, IDC_ACCEPT), valid_path);
  ::EnableWindow(::GetDlgItem(dialog, IDC_BACK), valid_path);
  ::ShowWindow(::GetDlgItem(options, IDC_INVALID_PATH), valid_path ? SW_HIDE : SW_SHOW);
  ShowPathProblem();
}

void InstallerWindow::RefreshInstallPath(HWND combo) {
  // Refilling the box empties its edit field, and selecting an entry selects its whole text
  // (the next key would replace it): what the user is typing stays as typed, with the caret
  // where it was, also when it names a suggested folder.
  const std::wstring typed = GetWindowTextString(combo);
  const LRESULT typed_selection = ::SendMessageW(combo, CB_GETEDITSEL, 0, 0);
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const base::FilePath& folder : settings_->GetSuggestedInstallFolders()) {
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(folder.value().c_str()));
  }
  const base::FilePath& chosen = settings_->GetChosenInstallFolder();
  ShowInstallFolder(combo, chosen);
  if (typed.empty() ||
      !base::FilePath::CompareEqualIgnoreCase(
          base::FilePath(typed).NormalizePathSeparators().value(), chosen.value())) {
    return;
  }
  if (GetWindowTextString(combo) != typed)
    ::SetWindowTextW(combo, typed.c_str());
  ::SendMessageW(combo, CB_SETEDITSEL, 0, typed_selection);
}

void InstallerWindow::ShowInstallFolder(HWND combo, const base::FilePath& folder) {
  const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT index = 0; index < count; ++index) {
    if (base::FilePath::CompareEqualIgnoreCase(GetComboItemText(combo, index), folder.value())) {
      ::SendMessageW(combo, CB_SETCURSEL, index, 0);
      return;
    }
  }
  const LRESULT exact = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(folder.value().c_str()));
  if (exact != CB_ERR) {
    ::SendMessageW(combo, CB_SETCURSEL, exact, 0);
    return;
  }
  if (GetWindowTextString(combo) != folder.value())
    ::SetWindowTextW(combo, folder.value().c_str());
}

// Messages -----------------------------------------------------------------------------

// static
LRESULT CALLBACK InstallerWindow::DialogProc(HWND dialog,
                                             UINT message,
                                             WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    InstallerWindow* window = reinterpret_cast<InstallerWindow*>(lparam);
    ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    // The main dialog is made first, the options dialog inside it.
    if (!window->main_dialog_.Get()) {
      window->main_dialog_.Set(dialog);
      window->OnInitMainDialog();
    } else {
      window->options_dialog_.Set(dialog);
      window->OnInitOptionsDialog();
    }
    return TRUE;
  }
  InstallerWindow* window =
      reinterpret_cast<InstallerWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (!window)
    return FALSE;
  return dialog == window->main_dialog_.Get() ? window->OnMainMessage(message, wparam, lparam)
                                              : window->OnOptionsMessage(message, wparam, lparam);
}

INT_PTR InstallerWindow::OnMainMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const HWND dialog = main_dialog_.Get();
  switch (message) {
    case WM_COMMAND:
      if (lparam) {
        OnMainCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
        return TRUE;
      }
      return FALSE;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->code == EN_LINK) {
        const ENLINK* link = reinterpret_cast<const ENLINK*>(lparam);
        if (link->msg == WM_LBUTTONUP)
          OnLinkClicked(*link);
        return TRUE;
      }
      return FALSE;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
    case WM_CTLCOLORSTATIC:
      return OnMainControlColor(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_ERASEBKGND: {
      // The options page sits on the dialog's plain white.
      if (current_page_ == INSTALLER_PAGE_OPTIONS)
        return FALSE;
      RebuildBackground(false);
      const HDC dc = reinterpret_cast<HDC>(wparam);
      RECT client = {};
      ::GetClientRect(dialog, &client);
      base::win::ScopedCreateDC source(::CreateCompatibleDC(dc));
      base::win::ScopedSelectObject bitmap(source.Get(), background_.Get());
      ::BitBlt(dc, 0, 0, client.right, client.bottom, source.Get(), 0, 0, SRCCOPY);
      ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
      return TRUE;
    }
    case WM_WINDOWPOSCHANGED: {
      const WINDOWPOS* position = reinterpret_cast<const WINDOWPOS*>(lparam);
      RebuildBackground(!((position->flags & SWP_NOMOVE) && (position->flags & SWP_NOSIZE)));
      return FALSE;
    }
    case WM_THEMECHANGED:
      RebuildBackground(true);
      return FALSE;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE)
        Win32DialogDispatcher::GetInstance()->Deactivate(dialog);
      else
        Win32DialogDispatcher::GetInstance()->SetActive(dialog);
      return FALSE;
    case WM_CLOSE:
      ConfirmQuit();
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR InstallerWindow::OnOptionsMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (lparam) {
        OnOptionsCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
        return TRUE;
      }
      return FALSE;
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
    case WM_CTLCOLORSTATIC: {
      const HDC dc = reinterpret_cast<HDC>(wparam);
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
      if (id == IDC_DEFAULT_BROWSER || id == IDC_IMPORT_DATA || id == IDC_SHARE_USAGE_DATA)
        return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
      ::SetTextColor(dc, id == IDC_INVALID_PATH ? kRedTextColor : RGB(0, 0, 0));
      ::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
    }
    default:
      return FALSE;
  }
}

INT_PTR InstallerWindow::OnMainControlColor(HDC dc, HWND control) {
  const int id = ::GetDlgCtrlID(control);
  if (id == IDC_TERMS_TEXT)
    return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_WINDOW));
  ::SetTextColor(dc, id == IDC_RED_TEXT ? kRedTextColor : RGB(0, 0, 0));
  const auto brush = brushes_.find(control);
  if (brush != brushes_.end())
    return reinterpret_cast<INT_PTR>(brush->second.brush.Get());
  ::SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
}

void InstallerWindow::OnMainCommand(int id, int notification, HWND control) {
  switch (id) {
    case IDC_UNINSTALL:
    case IDC_ACCEPT:
    case IDC_RETRY:
      if (notification != BN_CLICKED)
        return;
      RecordNavigation(id == IDC_UNINSTALL ? "UNINSTALL" : id == IDC_ACCEPT ? "ACCEPT" : "RETRY");
      NotifyAccept();
      return;
    case IDC_OPTIONS:
      if (notification != BN_CLICKED)
        return;
      RecordNavigation("OPTIONS");
      ShowPage(INSTALLER_PAGE_OPTIONS);
      return;
    case IDC_BACK:
      if (notification != BN_CLICKED)
        return;
      RecordNavigation("BACK");
      ShowPage(INSTALLER_PAGE_WELCOME);
      return;
    case IDC_FULL_PACKAGE:
      if (notification != BN_CLICKED)
        return;
      RecordNavigation("FULL_PACKAGE");
      NotifyGetFullPackage();
      return;
    case IDC_UNINSTALL_CANCEL:
      if (notification != BN_CLICKED)
        return;
      // After a failure there is nothing left to stop: no question.
      if (current_page_ == INSTALLER_PAGE_ERROR) {
        RecordNavigation("CANCEL");
        NotifyCancel();
        return;
      }
      ConfirmQuit();
      return;
    case IDC_TERMS_TEXT:
      // The terms are read, never shown selected.
      if (notification == EN_SETFOCUS)
        ::SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), 0);
      return;
    case IDC_MAIN_INSTALL_PATH:
      OnInstallPathCommand(notification, control, "changed_install_path_from_main_screen",
                           "edited_install_path_from_main_screen");
      return;
    case IDC_MAIN_BROWSE:
      if (notification == BN_CLICKED)
        BrowseForFolder();
      return;
    case IDC_DELETE_PROFILE:
      OnCheckBoxCommand(id, notification);
      return;
    default:
      return;
  }
}

void InstallerWindow::OnOptionsCommand(int id, int notification, HWND control) {
  switch (id) {
    case IDC_LANGUAGE: {
      if (notification != CBN_SELCHANGE)
        return;
      CountInPageRecord("changed_language");
      const LRESULT index = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
      const LRESULT language =
          index == CB_ERR ? CB_ERR : ::SendMessageW(control, CB_GETITEMDATA, index, 0);
      if (settings_->accepts_changes() && language >= 0 &&
          static_cast<size_t>(language) < languages_.size()) {
        // Copied: the list is refilled while the language changes.
        const std::wstring code = languages_[static_cast<size_t>(language)];
        settings_->SetLanguage(code);
      }
      RefreshControls();
      return;
    }
    case IDC_INSTALL_MODE: {
      if (notification != CBN_SELCHANGE)
        return;
      CountInPageRecord("changed_install_mode");
      const LRESULT index = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
      bool applied = false;
      if (settings_->accepts_changes() && index >= INSTALL_MODE_ALL_USERS &&
          index <= INSTALL_MODE_STANDALONE) {
        applied = settings_->SetMode(static_cast<InstallMode>(index));
      }
      // A refused mode shows the one in force again.
      if (!applied)
        RefreshControls();
      return;
    }
    case IDC_INSTALL_PATH:
      OnInstallPathCommand(notification, control, "changed_install_path", "edited_install_path");
      return;
    case IDC_CHANGE_PATH:
      if (notification == BN_CLICKED)
        BrowseForFolder();
      return;
    case IDC_DEFAULT_BROWSER:
    case IDC_IMPORT_DATA:
    case IDC_SHARE_USAGE_DATA:
      OnCheckBoxCommand(id, notification);
      return;
    default:
      return;
  }
}

void InstallerWindow::OnInstallPathCommand(int notification,
                                           HWND combo,
                                           const char* changed_key,
                                           const char* edited_key) {
  if (notification != CBN_SELCHANGE && notification != CBN_EDITCHANGE)
    return;
  CountInPageRecord(notification == CBN_SELCHANGE ? changed_key : edited_key);
  ApplyInstallPath(combo);
}

void InstallerWindow::OnCheckBoxCommand(int id, int notification) {
  if (notification != BN_CLICKED)
    return;
  ApplyCheckBox(id);
  InvalidateControl(id);
}

void InstallerWindow::OnLinkClicked(const ENLINK& link) {
  const std::wstring target =
      GetClickedLinkTarget(link.nmhdr.hwndFrom, link.chrg, terms_links_);
  RecordNavigation("TOS");
  if (target == L"tos")
    ShowPage(INSTALLER_PAGE_TOS);
}

// Set-up -------------------------------------------------------------------------------

void InstallerWindow::OnInitMainDialog() {
  const HWND dialog = main_dialog_.Get();
  {
    base::win::ScopedGetDC dc(dialog);
    dpi_ = ::GetDeviceCaps(dc.Get(), LOGPIXELSY);
  }
  // The logo and the badge keep their size on the screen; the background is stretched over
  // the whole window anyway.
  logo_ = LoadImageResource(IDR_LOGO_IMAGE, L"PNG", dpi_);
  error_badge_ = LoadImageResource(IDR_ERROR_BADGE_IMAGE, L"PNG", dpi_);
  background_image_ = LoadImageResource(IDR_BACKGROUND_IMAGE, L"JPG");
  CreateFonts();
  SetIcons();

  ::SetWindowSubclass(::GetDlgItem(dialog, IDC_LOGO), &LogoSubclassProc, kLogoSubclassId, 0);
  ::SendDlgItemMessageW(dialog, IDC_UNINSTALL_QUESTION, WM_SETFONT,
                        reinterpret_cast<WPARAM>(bold_font_.Get()), FALSE);
  const HWND terms_sentence = ::GetDlgItem(dialog, IDC_TERMS_SENTENCE);
  const LRESULT mask = ::SendMessageW(terms_sentence, EM_GETEVENTMASK, 0, 0);
  ::SendMessageW(terms_sentence, EM_SETEVENTMASK, 0, mask | ENM_LINK);
  ::SetWindowSubclass(terms_sentence, &CaretHidingSubclassProc, kCaretSubclassId, 0);
  for (int id : {IDC_PROGRESS_TITLE, IDC_INSTALL_FAILED_TITLE, IDC_UNINSTALL_FAILED_TITLE}) {
    ::SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(title_font_.Get()),
                          FALSE);
  }
  const HWND heading = ::GetDlgItem(dialog, IDC_HEADING);
  ::SetWindowSubclass(heading, &CaretHidingSubclassProc, kCaretSubclassId, 0);
  ::SendMessageW(heading, WM_SETFONT, reinterpret_cast<WPARAM>(heading_font_.Get()), FALSE);

  if (progress_only_)
    ShowPage(INSTALLER_PAGE_PROGRESS);
  else if (!IsUninstall())
    LoadTermsOfService();
}

void InstallerWindow::CreateFonts() {
  base::win::ScopedGetDC dc(main_dialog_.Get());
  regular_font_ = CreateDialogFont(dc.Get(), 8, 378, DEFAULT_QUALITY, DEFAULT_PITCH,
                                   L"MS Shell Dlg");
  bold_font_ = CreateDialogFont(dc.Get(), 8, FW_BOLD, ANTIALIASED_QUALITY, VARIABLE_PITCH,
                                L"MS Shell Dlg");
  title_font_ = CreateDialogFont(dc.Get(), 14, FW_MEDIUM, ANTIALIASED_QUALITY, VARIABLE_PITCH,
                                 L"MS Shell Dlg 2");
  heading_font_ = CreateDialogFont(dc.Get(), 22, FW_HEAVY, ANTIALIASED_QUALITY, VARIABLE_PITCH,
                                   L"Segoe UI");
}

void InstallerWindow::SetIcons() {
  const HINSTANCE module = ::GetModuleHandleW(nullptr);
  const struct {
    WPARAM kind;
    int width_metric;
    int height_metric;
    base::win::ScopedIcon* icon;
  } kIcons[] = {{ICON_SMALL, SM_CXSMICON, SM_CYSMICON, &small_icon_},
                {ICON_BIG, SM_CXICON, SM_CYICON, &big_icon_}};
  for (const auto& entry : kIcons) {
    base::win::ScopedIcon icon(static_cast<HICON>(::LoadImageW(
        module, MAKEINTRESOURCEW(IDI_INSTALLER), IMAGE_ICON,
        ::GetSystemMetrics(entry.width_metric), ::GetSystemMetrics(entry.height_metric), 0)));
    if (!icon.Get()) {
      PLOG(ERROR) << "Cannot load the installer icon";
      continue;
    }
    ::SendMessageW(main_dialog_.Get(), WM_SETICON, entry.kind,
                   reinterpret_cast<LPARAM>(icon.Get()));
    // The icon it replaced, when there was one, was ours too.
    *entry.icon = std::move(icon);
  }
}

void InstallerWindow::LoadTermsOfService() {
  const HMODULE module = ::GetModuleHandleW(nullptr);
  const HRSRC resource =
      ::FindResourceW(module, MAKEINTRESOURCEW(IDR_TERMS_OF_SERVICE), L"TXT");
  if (!resource)
    return;
  const HGLOBAL loaded = ::LoadResource(module, resource);
  const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (!bytes)
    return;
  std::string_view text(bytes, ::SizeofResource(module, resource));
  // The text ends at its terminator, or with the resource.
  text = text.substr(0, text.find('\0'));
  std::string lines;
  for (char c : text) {
    if (c == '\n')
      lines += '\r';
    lines += c;
  }
  ::SetDlgItemTextW(main_dialog_.Get(), IDC_TERMS_TEXT, base::Utf8ToUtf16(lines).c_str());
}

void InstallerWindow::OnInitOptionsDialog() {
  if (progress_only_)
    return;
  const HWND options = options_dialog_.Get();
  if (base::win::GetWindowsVersion() >= base::win::VERSION_WIN8) {
    // Windows 8 lets only the user choose the default browser. The boxes below move up into
    // its place.
    const HWND default_browser = ::GetDlgItem(options, IDC_DEFAULT_BROWSER);
    ::ShowWindow(default_browser, SW_HIDE);
    const RECT hidden = GetRectIn(default_browser, options);
    const RECT first = GetRectIn(::GetDlgItem(options, IDC_IMPORT_DATA), options);
    const int shift = first.top - hidden.top;
    for (int id : {IDC_IMPORT_DATA, IDC_SHARE_USAGE_DATA}) {
      const HWND box = ::GetDlgItem(options, id);
      const RECT rect = GetRectIn(box, options);
      ::SetWindowPos(box, nullptr, rect.left, rect.top - shift, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  ::SendDlgItemMessageW(options, IDC_INVALID_PATH, WM_SETFONT,
                        reinterpret_cast<WPARAM>(bold_font_.Get()), FALSE);

  // The Change button as high as the path box beside it.
  const RECT path = GetRectIn(::GetDlgItem(options, IDC_INSTALL_PATH), options);
  const HWND change = ::GetDlgItem(options, IDC_CHANGE_PATH);
  const RECT button = GetRectIn(change, options);
  ::SetWindowPos(change, nullptr, button.left, button.top, button.right - button.left,
                 path.bottom - path.top, SWP_NOZORDER | SWP_NOACTIVATE);

  CreateModeTooltip();
}

void InstallerWindow::CreateModeTooltip() {
  const HWND options = options_dialog_.Get();
  tooltip_.Set(::CreateWindowExW(
      WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
      WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_USEVISUALSTYLE, CW_USEDEFAULT, CW_USEDEFAULT,
      CW_USEDEFAULT, CW_USEDEFAULT, options, nullptr, ::GetModuleHandleW(nullptr), nullptr));
  if (!tooltip_.Get()) {
    PLOG(ERROR) << "Cannot create the install mode tooltip";
    return;
  }
  const std::wstring help = GetInstallModeHelp();
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = options;
  tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(options, IDC_INSTALL_MODE));
  tool.lpszText = const_cast<wchar_t*>(help.c_str());
  if (!::SendMessageW(tooltip_.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)))
    LOG(ERROR) << "Cannot add the install mode tip";
  ::SendMessageW(tooltip_.Get(), TTM_SETMAXTIPWIDTH, 0, kTooltipWidth);
}

// The user's actions -------------------------------------------------------------------

void InstallerWindow::RecordNavigation(const char* action) {
  page_record_->SetString("navigation_action", action);
  page_record_->SetTimestamp("navigation_time");
}

void InstallerWindow::CountInPageRecord(const char* key) {
  if (page_record_)
    page_record_->Increment(key);
}

void InstallerWindow::ConfirmQuit() {
  const int question =
      IsUninstall() ? IDS_CONFIRM_CANCEL_UNINSTALL : IDS_CONFIRM_CANCEL_INSTALL;
  if (ShowLocalizedMessageBox(main_dialog_.Get(), GetString(question),
                              GetString(IDS_INSTALLER_TITLE),
                              MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  RecordNavigation("CANCEL");
  NotifyCancel();
}

void InstallerWindow::BrowseForFolder() {
  const HWND combo = ::GetDlgItem(options_dialog_.Get(), IDC_INSTALL_PATH);
  std::wstring folder;
  if (!installer::BrowseForFolder(main_dialog_.Get(), GetString(IDS_BROWSE_FOR_FOLDER),
                                  GetWindowTextString(combo), &folder)) {
    return;
  }
  ShowInstallFolder(combo, base::FilePath(folder));
  ApplyInstallPath(combo);
}

void InstallerWindow::ApplyCheckBox(int id) {
  if (!settings_->accepts_changes()) {
    RefreshControls();
    return;
  }
  const bool checked = ::SendMessageW(GetControl(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  bool applied = false;
  switch (id) {
    case IDC_DEFAULT_BROWSER:
      CountInPageRecord("changed_make_default_browser");
      applied = settings_->SetDefaultBrowser(checked);
      break;
    case IDC_IMPORT_DATA:
      CountInPageRecord("changed_import_data");
      applied = settings_->SetImportBrowserData(checked);
      break;
    case IDC_SHARE_USAGE_DATA:
      CountInPageRecord("changed_enable_stats");
      applied = settings_->SetEnableStats(checked);
      applied = settings_->SetEnableInstallerStats(checked) && applied;
      break;
    case IDC_DELETE_PROFILE:
      CountInPageRecord("changed_delete_profile");
      applied = settings_->SetDeleteProfile(checked);
      break;
    default:
      return;
  }
  // A refused change shows the choice in force again.
  if (!applied)
    RefreshControls();
}

void InstallerWindow::ApplyInstallPath(HWND combo) {
  if (!settings_->accepts_changes()) {
    RefreshControls();
    return;
  }
  const LRESULT selection = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  // On a selection change the edit field still holds the old text.
  const std::wstring text =
      selection != CB_ERR ? GetComboItemText(combo, selection) : GetWindowTextString(combo);
  settings_->SetInstallFolderFromString(text);
}

void InstallerWindow::NotifyAccept() {
  observers_.ForEach([](InstallerWindowObserver* observer) { observer->OnAccept(); });
}

void InstallerWindow::NotifyCancel() {
  observers_.ForEach([](InstallerWindowObserver* observer) { observer->OnCancel(); });
}

void InstallerWindow::NotifyGetFullPackage() {
  observers_.ForEach([](InstallerWindowObserver* observer) { observer->OnGetFullPackage(); });
}

// Painting -----------------------------------------------------------------------------

void InstallerWindow::InvalidateControl(int id) {
  const HWND dialog = main_dialog_.Get();
  const HWND control = GetControl(id);
  if (!control)
    return;
  RECT rect = GetRectIn(control, dialog);
  ::InvalidateRect(dialog, &rect, TRUE);
}

void InstallerWindow::RebuildBackground(bool force) {
  if (background_.IsValid() && !force)
    return;
  const HWND dialog = main_dialog_.Get();
  RECT client = {};
  ::GetClientRect(dialog, &client);
  if (client.right <= 0 || client.bottom <= 0)
    return;
  base::win::ScopedGetDC screen(dialog);
  base::win::ScopedBitmap background(
      ::CreateCompatibleBitmap(screen.Get(), client.right, client.bottom));
  if (!background.IsValid()) {
    PLOG(ERROR) << "Cannot make the window's background";
    return;
  }
  base::win::ScopedCreateDC target(::CreateCompatibleDC(screen.Get()));
  {
    base::win::ScopedSelectObject select(target.Get(), background.Get());
    ::FillRect(target.Get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
    if (background_image_.IsValid()) {
      const SIZE size = GetBitmapSize(background_image_.Get());
      base::win::ScopedCreateDC source(::CreateCompatibleDC(screen.Get()));
      base::win::ScopedSelectObject image(source.Get(), background_image_.Get());
      ::SetStretchBltMode(target.Get(), HALFTONE);
      AlphaBlendImage(target.Get(), 0, 0, client.right, client.bottom, source.Get(), 0, 0,
                      size.cx, size.cy);
    }
  }
  background_ = std::move(background);

  if (!::IsThemeActive())
    return;
  brushes_.clear();
  brushes_.reserve(8);
  HWND control = ::GetDlgItem(dialog, IDC_DELETE_PROFILE);
  if (!control && options_dialog_.Get())
    control = ::GetDlgItem(options_dialog_.Get(), IDC_DELETE_PROFILE);
  if (!control)
    return;
  const RECT rect = GetRectIn(control, dialog);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  BackgroundBrush brush;
  brush.bitmap.Set(::CreateCompatibleBitmap(screen.Get(), width, height));
  if (!brush.bitmap.IsValid())
    return;
  {
    base::win::ScopedCreateDC source(::CreateCompatibleDC(screen.Get()));
    base::win::ScopedSelectObject source_bitmap(source.Get(), background_.Get());
    base::win::ScopedSelectObject target_bitmap(target.Get(), brush.bitmap.Get());
    ::BitBlt(target.Get(), 0, 0, width, height, source.Get(), rect.left, rect.top, SRCCOPY);
  }
  brush.brush.Set(::CreatePatternBrush(brush.bitmap.Get()));
  if (brush.brush.IsValid())
    brushes_[control] = std::move(brush);
}

void InstallerWindow::PaintLogo(HWND control) {
  PAINTSTRUCT paint = {};
  const HDC dc = ::BeginPaint(control, &paint);
  if (!dc)
    return;
  RECT client = {};
  ::GetClientRect(control, &client);
  // What lies behind the logo: the dialog's background.
  if (background_.IsValid()) {
    const RECT rect = GetRectIn(control, main_dialog_.Get());
    base::win::ScopedCreateDC source(::CreateCompatibleDC(dc));
    base::win::ScopedSelectObject bitmap(source.Get(), background_.Get());
    ::BitBlt(dc, 0, 0, client.right, client.bottom, source.Get(), rect.left, rect.top, SRCCOPY);
  }
  if (logo_.IsValid()) {
    const SIZE logo = GetBitmapSize(logo_.Get());
    const int x = (client.right - logo.cx) / 2;
    const int y = (client.bottom - logo.cy) / 2;
    base::win::ScopedCreateDC source(::CreateCompatibleDC(dc));
    {
      base::win::ScopedSelectObject bitmap(source.Get(), logo_.Get());
      AlphaBlendImage(dc, x, y, logo.cx, logo.cy, source.Get(), 0, 0, logo.cx, logo.cy);
    }
    if (show_error_badge_ && error_badge_.IsValid()) {
      const SIZE badge = GetBitmapSize(error_badge_.Get());
      base::win::ScopedSelectObject bitmap(source.Get(), error_badge_.Get());
      const int offset = ScaleForDpi(kBadgeOffset);
      AlphaBlendImage(dc, x + logo.cx + offset - badge.cx, y + logo.cy + offset - badge.cy,
                      badge.cx, badge.cy, source.Get(), 0, 0, badge.cx, badge.cy);
    }
  }
  ::EndPaint(control, &paint);
}

// static
LRESULT CALLBACK InstallerWindow::LogoSubclassProc(HWND control,
                                                   UINT message,
                                                   WPARAM wparam,
                                                   LPARAM lparam,
                                                   UINT_PTR id,
                                                   DWORD_PTR window) {
  return base::win::CallWrappedWindowProc(&LogoProc, control, message, wparam, lparam);
}

// static
LRESULT CALLBACK InstallerWindow::LogoProc(HWND control,
                                           UINT message,
                                           WPARAM wparam,
                                           LPARAM lparam) {
  // The window is the main dialog's, as long as the dialog has one.
  InstallerWindow* window =
      reinterpret_cast<InstallerWindow*>(::GetWindowLongPtrW(::GetParent(control), DWLP_USER));
  if (message == WM_PAINT && window) {
    window->PaintLogo(control);
    return 0;
  }
  return ::DefSubclassProc(control, message, wparam, lparam);
}

// static
LRESULT CALLBACK InstallerWindow::CaretHidingSubclassProc(HWND control,
                                                          UINT message,
                                                          WPARAM wparam,
                                                          LPARAM lparam,
                                                          UINT_PTR id,
                                                          DWORD_PTR window) {
  return base::win::CallWrappedWindowProc(&CaretHidingProc, control, message, wparam, lparam);
}

// static
LRESULT CALLBACK InstallerWindow::CaretHidingProc(HWND control,
                                                  UINT message,
                                                  WPARAM wparam,
                                                  LPARAM lparam) {
  // Read-only texts show no caret.
  if (message == WM_SETFOCUS) {
    ::HideCaret(control);
    return 0;
  }
  InstallerWindow* window =
      reinterpret_cast<InstallerWindow*>(::GetWindowLongPtrW(::GetParent(control), DWLP_USER));
  // Links that the control could not take as links are found here (see rich_text.h).
  if (window && ::GetDlgCtrlID(control) == IDC_TERMS_SENTENCE &&
      (message == WM_SETCURSOR || message == WM_LBUTTONUP)) {
    POINT point = {};
    if (message == WM_SETCURSOR) {
      ::GetCursorPos(&point);
      ::ScreenToClient(control, &point);
    } else {
      point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    }
    const RichTextLink* link = FindPlainLinkAt(control, point, window->terms_links_);
    if (link && message == WM_SETCURSOR) {
      ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    }
    if (link) {
      const LRESULT result = ::DefSubclassProc(control, message, wparam, lparam);
      // As the control tells of a click on a link it drew itself.
      ENLINK notification = {};
      notification.nmhdr.hwndFrom = control;
      notification.nmhdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(control));
      notification.nmhdr.code = EN_LINK;
      notification.msg = message;
      notification.wParam = wparam;
      notification.lParam = lparam;
      notification.chrg = link->range;
      ::SendMessageW(::GetParent(control), WM_NOTIFY, notification.nmhdr.idFrom,
                     reinterpret_cast<LPARAM>(&notification));
      return result;
    }
  }
  return ::DefSubclassProc(control, message, wparam, lparam);
}

}  // namespace installer
