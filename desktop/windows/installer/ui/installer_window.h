#ifndef DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/files/file_path.h"
#include "base/observer_list.h"
#include "base/win/scoped_gdi_object.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/ui/installer_page.h"
#include "desktop/windows/installer/ui/installer_window_observer.h"
#include "desktop/windows/installer/ui/rich_text.h"

namespace installer {

class Stats;

// The installer's window: a modeless dialog made from the host executable's template 101,
// with the options page as a child dialog (template 138). It shows one page at a time
// (welcome, uninstall question, terms of service, options, progress, error), lets the user
// change the Settings until the installation starts, shows progress and errors when the
// controller asks, and records the pages and the user's actions in the statistics
// ("ui.page_sequence"). It tells its observers what the user decided; it never talks to the
// package fetcher or the backend.
//
// Lives on the thread that made it, whose message loop runs a UI pump. An observer may
// destroy the window from its notifications. Unless |progress_only|, the window observes the
// Settings and refreshes itself when they change.
class InstallerWindow : public SettingsObserver {
 public:
  // Null, after an error log, when the dialogs cannot be made (a missing template, no
  // display). |settings| and |stats| are not owned and must outlive the window.
  static std::unique_ptr<InstallerWindow> Create(Settings* settings,
                                                 Stats* stats,
                                                 bool progress_only);
  // Destroys the dialogs and gives back every GDI object.
  ~InstallerWindow() override;

  InstallerWindow(const InstallerWindow&) = delete;
  InstallerWindow& operator=(const InstallerWindow&) = delete;

  void AddObserver(InstallerWindowObserver* observer) { observers_.AddObserver(observer); }
  void RemoveObserver(InstallerWindowObserver* observer) { observers_.RemoveObserver(observer); }

  // Shows |page| (nothing happens when it is shown already) and starts its record in the
  // statistics.
  void ShowPage(InstallerPage page);
  // The progress page with a bar from |minimum| to |maximum| at |minimum|, or a marquee.
  void ShowProgress(uint16_t minimum, uint32_t maximum, bool marquee);
  // Moves the bar forward to |position|: smoothly when it is near, at once when it is far;
  // never backward.
  void SetProgress(int32_t position);
  // The stage text of the progress page for a controller phase (0 to 5).
  void SetStatusText(int32_t stage);
  // The error page with |message|; FULL_PACKAGE only when offered. |failure_reason| goes
  // into the page's record.
  void ShowError(const std::wstring& message,
                 bool offer_full_package,
                 const std::string& failure_reason);
  // A message box with |message|; once the user closed it, OnCancel to every observer.
  void ShowErrorBox(const std::wstring& message);

  HWND dialog() const { return main_dialog_.Get(); }
  HWND options_dialog() const { return options_dialog_.Get(); }
  HWND tooltip() const { return tooltip_.Get(); }
  InstallerPage current_page() const { return current_page_; }

  // SettingsObserver:
  void OnSettingsChanged() override;
  void OnLanguageChanged() override;
  void OnPathChanged() override;

 private:
  // The pattern brush of a control that shows the background through.
  struct BackgroundBrush {
    base::win::ScopedBitmap bitmap;
    base::win::ScopedBrush brush;
  };

  InstallerWindow(Settings* settings, Stats* stats, bool progress_only);

  bool Init();
  bool IsUninstall() const;
  // |pixels| at kImageDpi, in pixels of the screen.
  int ScaleForDpi(int pixels) const;
  // The control |id| of the main dialog, else of the options dialog.
  HWND GetControl(int id) const;

  // The procedure of both dialogs; they run it through the guard of
  // base/win/wrapped_window_proc.h (a dialog procedure has a window procedure's type).
  static LRESULT CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  // The subclasses of the logo and of the read-only texts; each runs its window procedure
  // through the guard of base/win/wrapped_window_proc.h.
  static LRESULT CALLBACK LogoSubclassProc(HWND control,
                                           UINT message,
                                           WPARAM wparam,
                                           LPARAM lparam,
                                           UINT_PTR id,
                                           DWORD_PTR window);
  static LRESULT CALLBACK LogoProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK CaretHidingSubclassProc(HWND control,
                                                  UINT message,
                                                  WPARAM wparam,
                                                  LPARAM lparam,
                                                  UINT_PTR id,
                                                  DWORD_PTR window);
  static LRESULT CALLBACK CaretHidingProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam);

  INT_PTR OnMainMessage(UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR OnOptionsMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnInitMainDialog();
  void OnInitOptionsDialog();
  void OnMainCommand(int id, int notification, HWND control);
  void OnOptionsCommand(int id, int notification, HWND control);
  // A path box's selection or edit: counted under |changed_key| or |edited_key|, applied.
  void OnInstallPathCommand(int notification,
                            HWND combo,
                            const char* changed_key,
                            const char* edited_key);
  void OnCheckBoxCommand(int id, int notification);
  void OnLinkClicked(const ENLINK& link);
  INT_PTR OnMainControlColor(HDC dc, HWND control);

  void CreateFonts();
  void SetIcons();
  void LoadTermsOfService();
  void CreateModeTooltip();
  // Tells on the options page why the install folder cannot be used.
  void ShowPathProblem();
  void FillLanguageList();
  void FillInstallModeList();
  void ResizeFullPackageButton();
  void RefreshControls();
  void RefreshInstallPath(HWND combo);
  // Selects |folder| in |combo| or writes it into its edit field.
  void ShowInstallFolder(HWND combo, const base::FilePath& folder);

  // The user's actions.
  void RecordNavigation(const char* action);
  void ConfirmQuit();
  void BrowseForFolder();
  void ApplyCheckBox(int id);
  void ApplyInstallPath(HWND combo);
  void CountInPageRecord(const char* key);
  // Notifies every observer; the window may be gone afterwards.
  void NotifyAccept();
  void NotifyCancel();
  void NotifyGetFullPackage();

  void InvalidateControl(int id);
  void RebuildBackground(bool force);
  void PaintLogo(HWND control);

  Settings* const settings_;
  const bool progress_only_;
  // The screen's dots per inch, read when the dialog is made.
  int dpi_ = 96;

  base::win::ScopedWindow main_dialog_;
  base::win::ScopedFont regular_font_;
  base::win::ScopedFont bold_font_;
  base::win::ScopedFont title_font_;
  base::win::ScopedFont heading_font_;
  base::win::ScopedIcon small_icon_;
  base::win::ScopedIcon big_icon_;

  // The available language codes, in resource order, and those the language list offers
  // (indexes into the former).
  std::vector<std::wstring> languages_;
  base::ObserverList<InstallerWindowObserver> observers_;

  base::win::ScopedBitmap logo_;
  base::win::ScopedBitmap error_badge_;
  base::win::ScopedBitmap background_image_;
  bool show_error_badge_ = false;
  // The background image stretched over the client area.
  base::win::ScopedBitmap background_;

  // A child of the main dialog: destroyed with it.
  base::win::ScopedWindow options_dialog_;
  InstallerPage current_page_ = INSTALLER_PAGE_COUNT;
  base::win::ScopedWindow tooltip_;
  std::unordered_map<HWND, BackgroundBrush> brushes_;
  // Links of the terms sentence that the rich edit control took without fields.
  std::vector<RichTextLink> terms_links_;

  Stats* const stats_;
  std::unique_ptr<Stats> page_record_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_INSTALLER_WINDOW_H_
