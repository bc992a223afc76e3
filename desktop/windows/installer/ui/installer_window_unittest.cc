#include "desktop/windows/installer/ui/installer_window.h"

#include <commctrl.h>
#include <richedit.h>

#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/exit_callback_registry.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/path_registry.h"
#include "base/test/run_until.h"
#include "base/test/scoped_path_override.h"
#include "base/values.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_gdi_object.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/host/installer_resources.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "desktop/windows/installer/ui/rich_text.h"
#include "desktop/windows/installer/test/window_test_util.h"
#include "desktop/windows/installer/ui/win32_dialog_dispatcher.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "desktop/windows/rc_l10n_handler/language_test_fixture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::ChooseComboItem;
using test::ClickButton;
using test::GetComboCount;
using test::GetComboItem;
using test::GetComboSelection;
using test::GetControlText;
using test::IsControlEnabled;
using test::IsControlVisible;
using test::TypeIntoCombo;

// Every control of the main dialog, and those each page shows.
const int kMainControls[] = {
    IDC_LOGO,          IDC_OPTIONS,        IDC_UNINSTALL_CANCEL,     IDC_ACCEPT,
    IDC_FULL_PACKAGE,  IDC_RETRY,          IDC_UNINSTALL,            IDC_HEADING,
    IDC_TERMS_SENTENCE, IDC_PROGRESS_TITLE, IDC_INSTALL_FAILED_TITLE, IDC_STATUS_TEXT,
    IDC_TERMS_TEXT,    IDC_BACK,           IDC_MAIN_INSTALL_PATH,    IDC_MAIN_BROWSE,
    IDC_PROGRESS_BAR,  IDC_RED_TEXT,       IDC_UNINSTALL_QUESTION,   IDC_DELETE_PROFILE,
    IDC_UNINSTALL_FAILED_TITLE};

std::set<int> VisibleMainControls(HWND dialog) {
  std::set<int> visible;
  for (int id : kMainControls) {
    if (IsControlVisible(dialog, id))
      visible.insert(id);
  }
  return visible;
}

// What the user does, as the window's observer hears it.
struct RecordingObserver : InstallerWindowObserver {
  void OnAccept() override { calls.push_back("accept"); }
  void OnCancel() override { calls.push_back("cancel"); }
  void OnGetFullPackage() override { calls.push_back("full package"); }
  std::vector<std::string> calls;
};

// A window on Settings for an install folder below a temp folder, with the registry and the
// program-files folders of the process replaced by test copies.
class InstallerWindowTest : public LanguageTest {
 protected:
  void SetUp() override {
    LanguageTest::SetUp();
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(registry_.IsValid());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    install_folder_ = temp_dir_.GetPath().Append(L"Tavro");
  }
  void TearDown() override {
    window_.reset();
    LanguageTest::TearDown();
  }

  // Settings for |switches| (and the install folder), their first folder read done.
  Settings* MakeSettings(const std::wstring& switches, bool uninstall = false) {
    command_lines_.push_back(base::CommandLine::FromString(
        L"installer.exe --installfolder=\"" + install_folder_.value() + L"\" " + switches));
    settings_ = std::make_unique<Settings>(uninstall, false, false, install_folder_, false,
                                           INSTALLER_ARCH_X64, &command_lines_.back());
    EXPECT_TRUE(WaitForStatus());
    return settings_.get();
  }
  // Fails the test when the window cannot be made (ASSERT_TRUE(MakeWindow())).
  InstallerWindow* MakeWindow(bool progress_only = false) {
    window_ = InstallerWindow::Create(settings_.get(), &stats_, progress_only);
    if (window_)
      window_->AddObserver(&observer_);
    return window_.get();
  }
  bool WaitForStatus() {
    return base::test::RunUntil([this] { return !settings_->IsFetchingStatus(); });
  }
  HWND dialog() const { return window_->dialog(); }
  void ExpectEveryPageLaidOutCleanly();
  HWND options() const { return window_->options_dialog(); }

  // The records of "ui.page_sequence".
  std::unique_ptr<base::Value> PageSequence() const {
    std::unique_ptr<base::Value> root = base::JsonReader::Read(stats_.ToJson());
    const base::DictionaryValue* dictionary = nullptr;
    const base::Value* sequence = nullptr;
    if (!root || !root->GetAsDictionary(&dictionary) ||
        !dictionary->Get("ui.page_sequence", &sequence)) {
      return nullptr;
    }
    return sequence->CreateDeepCopy();
  }
  std::string PageRecordString(size_t index, const char* key) const {
    std::unique_ptr<base::Value> sequence = PageSequence();
    const base::ListValue* list = nullptr;
    const base::DictionaryValue* record = nullptr;
    std::string text;
    if (sequence && sequence->GetAsList(&list) && list->GetDictionary(index, &record))
      record->GetString(key, &text);
    return text;
  }
  int PageRecordInteger(size_t index, const char* key) const {
    std::unique_ptr<base::Value> sequence = PageSequence();
    const base::ListValue* list = nullptr;
    const base::DictionaryValue* record = nullptr;
    int value = -1;
    if (sequence && sequence->GetAsList(&list) && list->GetDictionary(index, &record))
      record->GetInteger(key, &value);
    return value;
  }
  size_t PageCount() const {
    std::unique_ptr<base::Value> sequence = PageSequence();
    const base::ListValue* list = nullptr;
    return sequence && sequence->GetAsList(&list) ? list->GetSize() : 0;
  }

  base::ExitCallbackRegistry exit_callbacks_;
  base::MessageLoop loop_{base::MessageLoop::TYPE_UI};
  base::win::ScopedComInitializer com_;
  test::ScopedRegistryOverride registry_;
  base::ScopedPathOverride program_files_x86_{base::DIR_PROGRAM_FILESX86};
  base::ScopedPathOverride program_files_x64_{base::DIR_PROGRAM_FILES_X64};
  base::ScopedTempDir temp_dir_;
  base::FilePath install_folder_;
  std::list<base::CommandLine> command_lines_;
  std::unique_ptr<Settings> settings_;
  Stats stats_{nullptr};
  RecordingObserver observer_;
  std::unique_ptr<InstallerWindow> window_;
};

TEST_F(InstallerWindowTest, EachPageShowsItsControlsWithTheirTexts) {
  MakeSettings(L"--language=en-US");
  ASSERT_TRUE(MakeWindow());
  ASSERT_EQ(INSTALLER_PAGE_WELCOME, window_->current_page());
  EXPECT_TRUE(::IsWindowVisible(dialog()));
  wchar_t title[64] = {};
  ::GetWindowTextW(dialog(), title, ARRAYSIZE(title));
  EXPECT_STREQ(L"Tavro Installer", title);

  EXPECT_EQ((std::set<int>{IDC_LOGO, IDC_OPTIONS, IDC_ACCEPT, IDC_HEADING, IDC_TERMS_SENTENCE}),
            VisibleMainControls(dialog()));
  EXPECT_FALSE(::IsWindowVisible(options()));
  EXPECT_EQ(L"&Options", GetControlText(dialog(), IDC_OPTIONS));
  EXPECT_EQ(L"Accept and Install", GetControlText(dialog(), IDC_ACCEPT));
  EXPECT_TRUE(IsControlEnabled(dialog(), IDC_ACCEPT));
  EXPECT_EQ(L"TAVRO. DO MORE.", GetControlText(dialog(), IDC_HEADING));
  const std::wstring sentence = GetControlText(dialog(), IDC_TERMS_SENTENCE);
  EXPECT_NE(std::wstring::npos,
            sentence.find(L"By clicking \"Accept and Install\", you accept the "))
      << sentence;
  EXPECT_NE(std::wstring::npos, sentence.find(L"Terms of Service")) << sentence;
  EXPECT_EQ(std::wstring::npos, sentence.find(L"<a")) << sentence;

  ClickButton(dialog(), IDC_OPTIONS);
  ASSERT_EQ(INSTALLER_PAGE_OPTIONS, window_->current_page());
  EXPECT_EQ((std::set<int>{IDC_ACCEPT, IDC_BACK}), VisibleMainControls(dialog()));
  EXPECT_TRUE(::IsWindowVisible(options()));
  EXPECT_EQ(L"&Back", GetControlText(dialog(), IDC_BACK));
  EXPECT_EQ(L"&Language", GetControlText(options(), IDC_LANGUAGE_LABEL));
  EXPECT_EQ(L"&Install for", GetControlText(options(), IDC_INSTALL_MODE_LABEL));
  EXPECT_EQ(L"Install &path", GetControlText(options(), IDC_INSTALL_PATH_LABEL));
  EXPECT_EQ(L"&Change", GetControlText(options(), IDC_CHANGE_PATH));
  EXPECT_EQ(L"Import bookmarks and settings from the default browser",
            GetControlText(options(), IDC_IMPORT_DATA));
  EXPECT_EQ(L"Send anonymous usage statistics to help improve Tavro",
            GetControlText(options(), IDC_SHARE_USAGE_DATA));
  // Windows 8 and later let only the user choose the default browser.
  EXPECT_EQ(base::win::GetWindowsVersion() < base::win::VERSION_WIN8,
            IsControlVisible(options(), IDC_DEFAULT_BROWSER));
  EXPECT_FALSE(IsControlVisible(options(), IDC_INVALID_PATH));
  ASSERT_EQ(2, GetComboCount(options(), IDC_LANGUAGE));
  EXPECT_EQ(L"English", GetComboItem(options(), IDC_LANGUAGE, 0));
  EXPECT_EQ(L"Deutsch", GetComboItem(options(), IDC_LANGUAGE, 1));
  EXPECT_EQ(0, GetComboSelection(options(), IDC_LANGUAGE));
  ASSERT_EQ(3, GetComboCount(options(), IDC_INSTALL_MODE));
  EXPECT_EQ(L"All users", GetComboItem(options(), IDC_INSTALL_MODE, 0));
  EXPECT_EQ(0u, GetComboItem(options(), IDC_INSTALL_MODE, 1).find(L"Current user"));
  EXPECT_EQ(L"Standalone installation", GetComboItem(options(), IDC_INSTALL_MODE, 2));
  EXPECT_EQ(install_folder_.value(), GetControlText(options(), IDC_INSTALL_PATH));

  ClickButton(dialog(), IDC_BACK);
  ASSERT_EQ(INSTALLER_PAGE_WELCOME, window_->current_page());
  window_->ShowPage(INSTALLER_PAGE_TOS);
  EXPECT_EQ((std::set<int>{IDC_ACCEPT, IDC_BACK, IDC_TERMS_TEXT}), VisibleMainControls(dialog()));
  EXPECT_EQ(0u, GetControlText(dialog(), IDC_TERMS_TEXT).find(L"TAVRO END-USER LICENSE"));

  window_->ShowProgress(0, 1303, false);
  window_->SetStatusText(1);
  EXPECT_EQ((std::set<int>{IDC_LOGO, IDC_PROGRESS_TITLE, IDC_STATUS_TEXT, IDC_PROGRESS_BAR}),
            VisibleMainControls(dialog()));
  EXPECT_EQ(L"Thank you for choosing Tavro", GetControlText(dialog(), IDC_PROGRESS_TITLE));
  EXPECT_EQ(L"Downloading…", GetControlText(dialog(), IDC_STATUS_TEXT));
  window_->SetStatusText(2);
  EXPECT_EQ(L"Extracting…", GetControlText(dialog(), IDC_STATUS_TEXT));
  window_->SetStatusText(5);
  EXPECT_EQ(L"Installing…", GetControlText(dialog(), IDC_STATUS_TEXT));

  window_->ShowError(L"Failed to download Tavro.", true, "Fetcher error");
  EXPECT_EQ((std::set<int>{IDC_LOGO, IDC_FULL_PACKAGE, IDC_RETRY, IDC_INSTALL_FAILED_TITLE,
                           IDC_STATUS_TEXT, IDC_BACK}),
            VisibleMainControls(dialog()));
  EXPECT_EQ(L"Tavro failed to install", GetControlText(dialog(), IDC_INSTALL_FAILED_TITLE));
  EXPECT_EQ(L"Failed to download Tavro.", GetControlText(dialog(), IDC_STATUS_TEXT));
  EXPECT_EQ(L"&Try Again", GetControlText(dialog(), IDC_RETRY));
  EXPECT_EQ(L"Get &full installer", GetControlText(dialog(), IDC_FULL_PACKAGE));
  window_->ShowError(L"Failed to download Tavro.", false, "Fetcher error");
  EXPECT_FALSE(IsControlVisible(dialog(), IDC_FULL_PACKAGE));
  EXPECT_EQ("Fetcher error", PageRecordString(PageCount() - 1, "failure_reason"));

  // Each page shown is one record of the sequence, named after the page.
  const std::vector<std::string> expected = {"WELCOME", "OPTIONS", "WELCOME",
                                             "TOS",     "PROGRESS", "ERROR"};
  ASSERT_EQ(expected.size(), PageCount());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(expected[i], PageRecordString(i, "page_type")) << i;
  EXPECT_EQ("OPTIONS", PageRecordString(0, "navigation_action"));
  EXPECT_EQ("BACK", PageRecordString(1, "navigation_action"));
}

std::wstring GetModeTip(HWND tooltip, HWND options) {
  wchar_t text[1024] = {};
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = options;
  tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(options, IDC_INSTALL_MODE));
  tool.lpszText = text;
  ::SendMessageW(tooltip, TTM_GETTEXTW, ARRAYSIZE(text), reinterpret_cast<LPARAM>(&tool));
  return text;
}

COLORREF GetCharColor(HWND rich_edit, LONG position) {
  CHARRANGE range = {position, position + 1};
  ::SendMessageW(rich_edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  CHARFORMAT2W format = {};
  format.cbSize = sizeof(format);
  ::SendMessageW(rich_edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format.crTextColor;
}

TEST_F(InstallerWindowTest, ChangingTheLanguageRelabelsEverythingAndKeepsTheInstallMode) {
  MakeSettings(L"--language=en-US");
  ASSERT_TRUE(MakeWindow());
  const HWND heading = ::GetDlgItem(dialog(), IDC_HEADING);
  EXPECT_EQ(RGB(0, 0, 0), GetCharColor(heading, 0));       // "TAVRO."
  EXPECT_EQ(RGB(255, 27, 44), GetCharColor(heading, 7));  // "DO MORE."
  ClickButton(dialog(), IDC_OPTIONS);
  ChooseComboItem(options(), IDC_INSTALL_MODE, INSTALL_MODE_STANDALONE);
  ASSERT_TRUE(WaitForStatus());
  ASSERT_TRUE(settings_->GetFlag(COPY_ONLY));
  const std::wstring english_tip = GetModeTip(window_->tooltip(), options());
  EXPECT_EQ(0u, english_tip.find(L"All users\nTavro is installed for every user")) << english_tip;
  // A tooltip draws a tab as a box.
  EXPECT_EQ(std::wstring::npos, english_tip.find(L'\t')) << english_tip;

  ChooseComboItem(options(), IDC_LANGUAGE, 1);
  EXPECT_EQ(L"de", settings_->language());
  wchar_t title[64] = {};
  ::GetWindowTextW(dialog(), title, ARRAYSIZE(title));
  EXPECT_STREQ(L"Tavro-Installationsprogramm", title);
  EXPECT_EQ(L"&Zurück", GetControlText(dialog(), IDC_BACK));
  EXPECT_EQ(L"Akzeptieren und installieren", GetControlText(dialog(), IDC_ACCEPT));
  EXPECT_EQ(L"TAVRO. MEHR ERREICHEN.", GetControlText(dialog(), IDC_HEADING));
  EXPECT_NE(std::wstring::npos,
            GetControlText(dialog(), IDC_TERMS_SENTENCE).find(L"Nutzungsbedingungen"));
  EXPECT_EQ(L"&Sprache", GetControlText(options(), IDC_LANGUAGE_LABEL));
  EXPECT_EQ(L"Ä&ndern", GetControlText(options(), IDC_CHANGE_PATH));
  EXPECT_EQ(L"&Erneut versuchen", GetControlText(dialog(), IDC_RETRY));
  EXPECT_EQ(L"Danke, dass Sie Tavro gewählt haben", GetControlText(dialog(), IDC_PROGRESS_TITLE));
  EXPECT_EQ(L"Alle Benutzer", GetComboItem(options(), IDC_INSTALL_MODE, 0));
  EXPECT_EQ(INSTALL_MODE_STANDALONE, GetComboSelection(options(), IDC_INSTALL_MODE));
  EXPECT_EQ(1, GetComboSelection(options(), IDC_LANGUAGE));
  const std::wstring german_tip = GetModeTip(window_->tooltip(), options());
  EXPECT_EQ(0u, german_tip.find(L"Alle Benutzer\nTavro wird")) << german_tip;

  ChooseComboItem(options(), IDC_LANGUAGE, 0);
  EXPECT_EQ(L"Accept and Install", GetControlText(dialog(), IDC_ACCEPT));
  EXPECT_EQ(english_tip, GetModeTip(window_->tooltip(), options()));
  EXPECT_EQ(INSTALL_MODE_STANDALONE, GetComboSelection(options(), IDC_INSTALL_MODE));
  EXPECT_EQ(2, PageRecordInteger(1, "changed_language"));
  EXPECT_EQ(1, PageRecordInteger(1, "changed_install_mode"));
}

TEST_F(InstallerWindowTest, OptionsPageChangesTheSettings) {
  MakeSettings(L"");
  ASSERT_TRUE(MakeWindow());
  ClickButton(dialog(), IDC_OPTIONS);
  ASSERT_TRUE(settings_->GetFlag(IMPORT_BROWSER_DATA));
  ClickButton(options(), IDC_IMPORT_DATA);
  EXPECT_FALSE(settings_->GetFlag(IMPORT_BROWSER_DATA));
  EXPECT_EQ(BST_UNCHECKED, ::IsDlgButtonChecked(options(), IDC_IMPORT_DATA));
  ClickButton(options(), IDC_SHARE_USAGE_DATA);
  EXPECT_FALSE(settings_->GetFlag(ENABLE_TAVRO_STATS));
  EXPECT_FALSE(settings_->GetFlag(ENABLE_INSTALLER_STATS));

  ChooseComboItem(options(), IDC_INSTALL_MODE, INSTALL_MODE_CURRENT_USER);
  EXPECT_FALSE(settings_->GetFlag(ALL_USERS_FLAG));
  EXPECT_FALSE(settings_->GetFlag(COPY_ONLY));

  // A typed folder is read and applied; the text typed stays.
  const base::FilePath other = temp_dir_.GetPath().Append(L"Other");
  TypeIntoCombo(options(), IDC_INSTALL_PATH, other.value());
  ASSERT_TRUE(WaitForStatus());
  EXPECT_EQ(other, settings_->GetInstallFolder());
  EXPECT_EQ(other.value(), GetControlText(options(), IDC_INSTALL_PATH));
  EXPECT_TRUE(IsControlEnabled(dialog(), IDC_ACCEPT));
  EXPECT_FALSE(IsControlVisible(options(), IDC_INVALID_PATH));

  // A folder that cannot hold an installation: its reason shows, and there is no way on.
  // A long folder is too long however long it is: one cause, one reason.
  const struct {
    std::wstring folder;
    const wchar_t* reason;
  } kRefused[] = {
      {L"relative\\folder", L"Enter a full path, such as C:\\Tavro"},
      {temp_dir_.GetPath().Append(std::wstring(300, L'x')).value(),
       L"The install path is too long"},
      {temp_dir_.GetPath().Append(std::wstring(200, L'x')).value(),
       L"The install path is too long"},
      {temp_dir_.GetPath().value() + L"\\..\\Other", L"The install path must not hold \"..\""},
      {temp_dir_.GetPath().value() + L"\\NUL", L"The install path holds a name Windows refuses"},
  };
  for (const auto& refused : kRefused) {
    TypeIntoCombo(options(), IDC_INSTALL_PATH, refused.folder);
    ASSERT_TRUE(WaitForStatus());
    EXPECT_TRUE(IsControlVisible(options(), IDC_INVALID_PATH));
    EXPECT_EQ(refused.reason, GetControlText(options(), IDC_INVALID_PATH)) << refused.folder;
    EXPECT_FALSE(IsControlEnabled(dialog(), IDC_ACCEPT));
    EXPECT_FALSE(IsControlEnabled(dialog(), IDC_BACK));
  }
  TypeIntoCombo(options(), IDC_INSTALL_PATH, install_folder_.value());
  ASSERT_TRUE(WaitForStatus());
  EXPECT_TRUE(IsControlEnabled(dialog(), IDC_ACCEPT));

  // Once the installation has started, a click changes nothing and the box shows the truth.
  settings_->set_accepts_changes(false);
  ClickButton(options(), IDC_IMPORT_DATA);
  EXPECT_FALSE(settings_->GetFlag(IMPORT_BROWSER_DATA));
  EXPECT_EQ(BST_UNCHECKED, ::IsDlgButtonChecked(options(), IDC_IMPORT_DATA));
  ChooseComboItem(options(), IDC_INSTALL_MODE, INSTALL_MODE_STANDALONE);
  EXPECT_FALSE(settings_->GetFlag(COPY_ONLY));
  EXPECT_EQ(INSTALL_MODE_CURRENT_USER, GetComboSelection(options(), IDC_INSTALL_MODE));

  EXPECT_EQ(1, PageRecordInteger(1, "changed_import_data"));
  EXPECT_EQ(1, PageRecordInteger(1, "changed_enable_stats"));
  EXPECT_EQ(2, PageRecordInteger(1, "changed_install_mode"));
  EXPECT_EQ(7, PageRecordInteger(1, "edited_install_path"));
}

// A folder from the command line that cannot hold an installation greys out the welcome
// page's accept button, and the page says why, in the window's language; the reason goes
// with the page and with the folder.
TEST_F(InstallerWindowTest, WelcomePageSaysWhyTheFolderIsRefused) {
  install_folder_ = base::FilePath(L"Tavro");
  MakeSettings(L"--language=de");
  ASSERT_TRUE(MakeWindow());
  ASSERT_EQ(INSTALLER_PAGE_WELCOME, window_->current_page());
  EXPECT_FALSE(IsControlEnabled(dialog(), IDC_ACCEPT));
  EXPECT_TRUE(IsControlVisible(dialog(), IDC_RED_TEXT));
  EXPECT_EQ(L"Vollst\u00e4ndigen Pfad angeben, z. B. C:\\Tavro",
            GetControlText(dialog(), IDC_RED_TEXT));

  ChooseComboItem(options(), IDC_LANGUAGE, 0);  // English
  EXPECT_EQ(L"Enter a full path, such as C:\\Tavro", GetControlText(dialog(), IDC_RED_TEXT));

  ClickButton(dialog(), IDC_OPTIONS);
  EXPECT_FALSE(IsControlVisible(dialog(), IDC_RED_TEXT));
  EXPECT_EQ(L"Enter a full path, such as C:\\Tavro", GetControlText(options(), IDC_INVALID_PATH));
  TypeIntoCombo(options(), IDC_INSTALL_PATH, temp_dir_.GetPath().Append(L"Tavro").value());
  ASSERT_TRUE(WaitForStatus());
  ClickButton(dialog(), IDC_BACK);
  ASSERT_EQ(INSTALLER_PAGE_WELCOME, window_->current_page());
  EXPECT_TRUE(IsControlEnabled(dialog(), IDC_ACCEPT));
  EXPECT_FALSE(IsControlVisible(dialog(), IDC_RED_TEXT));
}

// Typing the path of a suggested folder must not select that entry: its whole text would
// be selected, and the next key would replace the path.
TEST_F(InstallerWindowTest, TypingOverASuggestedFolderKeepsWhatIsTyped) {
  MakeSettings(L"");
  ASSERT_TRUE(MakeWindow());
  ClickButton(dialog(), IDC_OPTIONS);
  const HWND combo = ::GetDlgItem(options(), IDC_INSTALL_PATH);
  const std::wstring suggested = GetComboItem(options(), IDC_INSTALL_PATH, 0);
  ASSERT_EQ(settings_->GetDefaultInstallFolder(DEFAULT_FOLDER_STANDARD).value(), suggested);

  // The person has typed the suggested path and put the caret after "C:".
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  ::SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(suggested.c_str()));
  ::SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(3, 3));
  ::SendMessageW(options(), WM_COMMAND, MAKEWPARAM(IDC_INSTALL_PATH, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  ASSERT_TRUE(WaitForStatus());
  EXPECT_EQ(base::FilePath(suggested), settings_->GetInstallFolder());
  EXPECT_EQ(suggested, GetControlText(options(), IDC_INSTALL_PATH));
  const LRESULT selection = ::SendMessageW(combo, CB_GETEDITSEL, 0, 0);
  EXPECT_EQ(3, LOWORD(selection));
  EXPECT_EQ(3, HIWORD(selection));

  // The next key goes in at the caret.
  const HWND edit = ::FindWindowExW(combo, nullptr, L"Edit", nullptr);
  ASSERT_TRUE(edit);
  ::SendMessageW(edit, WM_CHAR, L'x', 0);
  const std::wstring typed = suggested.substr(0, 3) + L"x" + suggested.substr(3);
  EXPECT_EQ(typed, GetControlText(options(), IDC_INSTALL_PATH));
  ASSERT_TRUE(WaitForStatus());
  EXPECT_EQ(base::FilePath(typed), settings_->GetInstallFolder());
  EXPECT_EQ(typed, GetControlText(options(), IDC_INSTALL_PATH));
}

TEST_F(InstallerWindowTest, UninstallationAsksAndNeverFillsTheInstallLists) {
  MakeSettings(L"", /*uninstall=*/true);
  ASSERT_TRUE(MakeWindow());
  ASSERT_EQ(INSTALLER_PAGE_UNINSTALL, window_->current_page());
  EXPECT_EQ((std::set<int>{IDC_LOGO, IDC_UNINSTALL_CANCEL, IDC_UNINSTALL, IDC_UNINSTALL_QUESTION,
                           IDC_DELETE_PROFILE}),
            VisibleMainControls(dialog()));
  EXPECT_EQ(L"&Uninstall", GetControlText(dialog(), IDC_UNINSTALL));
  EXPECT_EQ(L"Cancel", GetControlText(dialog(), IDC_UNINSTALL_CANCEL));
  EXPECT_EQ(L"Do you want to uninstall Tavro from this computer?",
            GetControlText(dialog(), IDC_UNINSTALL_QUESTION));
  EXPECT_EQ(0, GetComboCount(options(), IDC_LANGUAGE));
  EXPECT_EQ(0, GetComboCount(options(), IDC_INSTALL_MODE));

  ClickButton(dialog(), IDC_DELETE_PROFILE);
  EXPECT_TRUE(settings_->GetFlag(DELETE_PROFILE));
  EXPECT_EQ(1, PageRecordInteger(0, "changed_delete_profile"));
  ClickButton(dialog(), IDC_UNINSTALL);
  EXPECT_EQ((std::vector<std::string>{"accept"}), observer_.calls);
  EXPECT_EQ("UNINSTALL", PageRecordString(0, "navigation_action"));

  window_->ShowProgress(0, 1303, false);
  window_->SetStatusText(5);
  EXPECT_EQ(L"Uninstalling…", GetControlText(dialog(), IDC_STATUS_TEXT));
  EXPECT_FALSE(IsControlVisible(dialog(), IDC_PROGRESS_TITLE));
  // There is nothing to go back to.
  window_->ShowError(L"An error occurred while attempting to uninstall Tavro!", false, "x");
  EXPECT_EQ((std::set<int>{IDC_LOGO, IDC_RETRY, IDC_STATUS_TEXT, IDC_UNINSTALL_FAILED_TITLE}),
            VisibleMainControls(dialog()));
  EXPECT_EQ(L"Tavro failed to uninstall", GetControlText(dialog(), IDC_UNINSTALL_FAILED_TITLE));
}

// Counts how the progress bar is moved.
LRESULT CALLBACK CountBarMoves(HWND bar,
                               UINT message,
                               WPARAM wparam,
                               LPARAM lparam,
                               UINT_PTR,
                               DWORD_PTR counts) {
  if (message == PBM_STEPIT)
    ++reinterpret_cast<int*>(counts)[0];
  else if (message == PBM_SETPOS)
    ++reinterpret_cast<int*>(counts)[1];
  return ::DefSubclassProc(bar, message, wparam, lparam);
}

// A run started at once has no page to go back to: its error page offers Cancel, which
// ends the run without a question, beside "Try Again" and the full installer.
TEST_F(InstallerWindowTest, ErrorOfARunStartedAtOnceOffersCancel) {
  MakeSettings(L"");
  ASSERT_TRUE(MakeWindow(/*progress_only=*/true));
  window_->ShowError(L"Another instance of the Tavro installer is already working on this "
                     L"folder.", true, "Fetcher error");
  EXPECT_EQ((std::set<int>{IDC_LOGO, IDC_FULL_PACKAGE, IDC_RETRY, IDC_INSTALL_FAILED_TITLE,
                           IDC_STATUS_TEXT, IDC_UNINSTALL_CANCEL}),
            VisibleMainControls(dialog()));
  EXPECT_EQ(L"Cancel", GetControlText(dialog(), IDC_UNINSTALL_CANCEL));
  RECT cancel = {}, full_package = {}, intersection = {};
  ::GetWindowRect(::GetDlgItem(dialog(), IDC_UNINSTALL_CANCEL), &cancel);
  ::GetWindowRect(::GetDlgItem(dialog(), IDC_FULL_PACKAGE), &full_package);
  EXPECT_FALSE(::IntersectRect(&intersection, &cancel, &full_package));
  ClickButton(dialog(), IDC_UNINSTALL_CANCEL);
  EXPECT_EQ((std::vector<std::string>{"cancel"}), observer_.calls);
}

TEST_F(InstallerWindowTest, ProgressMovesForwardInStepsWhenNearAndAtOnceWhenFar) {
  MakeSettings(L"");
  ASSERT_TRUE(MakeWindow(/*progress_only=*/true));
  ASSERT_EQ(INSTALLER_PAGE_PROGRESS, window_->current_page());
  window_->ShowProgress(0, 1303, false);
  const HWND bar = ::GetDlgItem(dialog(), IDC_PROGRESS_BAR);
  PBRANGE range = {};
  ::SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(0, range.iLow);
  EXPECT_EQ(1303, range.iHigh);

  int counts[2] = {0, 0};  // Steps, jumps.
  ASSERT_TRUE(::SetWindowSubclass(bar, &CountBarMoves, 1, reinterpret_cast<DWORD_PTR>(counts)));
  window_->SetProgress(5);
  EXPECT_EQ(5, ::SendMessageW(bar, PBM_GETPOS, 0, 0));
  EXPECT_EQ(5, counts[0]);
  EXPECT_EQ(0, counts[1]);
  window_->SetProgress(16);
  EXPECT_EQ(16, ::SendMessageW(bar, PBM_GETPOS, 0, 0));
  EXPECT_EQ(1, counts[1]);
  window_->SetProgress(3);
  window_->SetProgress(16);
  EXPECT_EQ(16, ::SendMessageW(bar, PBM_GETPOS, 0, 0));
  EXPECT_EQ(5, counts[0]);
  EXPECT_EQ(1, counts[1]);
  // Positions past the end stop there; stepping past it would start the bar over.
  window_->SetProgress(1298);
  window_->SetProgress(1306);
  EXPECT_EQ(1303, ::SendMessageW(bar, PBM_GETPOS, 0, 0));
  ::RemoveWindowSubclass(bar, &CountBarMoves, 1);

  window_->ShowProgress(0, 0, true);
  EXPECT_TRUE(::GetWindowLongPtrW(bar, GWL_STYLE) & PBS_MARQUEE);
  // Started with the progress: there is no page to go back to.
  window_->ShowError(L"Failed", true, "x");
  EXPECT_FALSE(IsControlVisible(dialog(), IDC_BACK));
  EXPECT_TRUE(IsControlVisible(dialog(), IDC_FULL_PACKAGE));
}

// The colours of the pixels drawn from the character |start| of |rich_edit| to |end| (on
// one line), down to the bottom of the control.
std::set<COLORREF> GetDrawnColours(HWND rich_edit, LONG start, LONG end) {
  ::RedrawWindow(rich_edit, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  POINTL from = {};
  POINTL to = {};
  ::SendMessageW(rich_edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&from), start);
  ::SendMessageW(rich_edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&to), end);
  RECT client = {};
  ::GetClientRect(rich_edit, &client);
  std::set<COLORREF> colours;
  base::win::ScopedGetDC dc(rich_edit);
  for (LONG y = from.y; y < client.bottom; ++y) {
    for (LONG x = from.x; x < to.x; ++x)
      colours.insert(::GetPixel(dc.Get(), x, y));
  }
  return colours;
}

TEST_F(InstallerWindowTest, ClickingTheTermsLinkShowsTheTerms) {
  MakeSettings(L"--language=en-US");
  ASSERT_TRUE(MakeWindow());
  const HWND sentence = ::GetDlgItem(dialog(), IDC_TERMS_SENTENCE);
  const std::wstring text = GetControlText(dialog(), IDC_TERMS_SENTENCE);
  const size_t label = text.find(L"Terms of Service");
  ASSERT_NE(std::wstring::npos, label) << text;
  // The label is drawn in the link colour, not in one of the control's own (a blue).
  const std::set<COLORREF> colours = GetDrawnColours(
      sentence, static_cast<LONG>(label), static_cast<LONG>(label + wcslen(L"Terms of Service")));
  EXPECT_EQ(1u, colours.count(RGB(104, 104, 104)));
  for (COLORREF colour : colours) {
    EXPECT_LE(GetBValue(colour), GetRValue(colour) + 40)
        << std::hex << "a blue pixel: 0x" << colour;
  }
  auto click_at = [sentence](size_t position) {
    POINTL point = {};
    ::SendMessageW(sentence, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point),
                   static_cast<LPARAM>(position));
    const LPARAM where = MAKELPARAM(point.x + 2, point.y + 4);
    ::SendMessageW(sentence, WM_LBUTTONDOWN, MK_LBUTTON, where);
    ::SendMessageW(sentence, WM_LBUTTONUP, 0, where);
  };
  // Beside the link nothing happens.
  click_at(3);
  EXPECT_EQ(INSTALLER_PAGE_WELCOME, window_->current_page());
  click_at(label + 4);
  EXPECT_EQ(INSTALLER_PAGE_TOS, window_->current_page());
  EXPECT_EQ("TOS", PageRecordString(0, "navigation_action"));
  EXPECT_EQ(RGB(104, 104, 104), GetCharColor(sentence, static_cast<LONG>(label + 1)));
}

TEST(RichTextTest, RewritesCompleteLinksOnly) {
  EXPECT_EQ(L"you accept the $1tos$2Terms of Service$3",
            RewriteLinks(L"you accept the <a href=\"tos\">Terms of Service</a>"));
  EXPECT_EQ(L"a $1x$2one$3 b $1y$2two$3.",
            RewriteLinks(L"a <a href=\"x\">one</a> b <a href=\"y\">two</a>."));
  EXPECT_EQ(L"plain", RewriteLinks(L"plain"));
  EXPECT_EQ(L"cut <a href=\"x\">label", RewriteLinks(L"cut <a href=\"x\">label"));
  EXPECT_EQ(L"<a name=\"x\">y</a> and $1z$2w$3",
            RewriteLinks(L"<a name=\"x\">y</a> and <a href=\"z\">w</a>"));
}

TEST_F(InstallerWindowTest, TextWithoutLinksIsSetAsItIs) {
  MakeSettings(L"");
  ASSERT_TRUE(MakeWindow());
  const HWND control = ::GetDlgItem(dialog(), IDC_TERMS_SENTENCE);
  EXPECT_TRUE(SetRichTextWithLinks(control, L"No link here", RGB(1, 2, 3)).empty());
  EXPECT_EQ(L"No link here", GetControlText(dialog(), IDC_TERMS_SENTENCE));
  EXPECT_EQ(std::string::npos, StreamOutRtf(control).find("field"));
  EXPECT_NE(RGB(1, 2, 3), GetCharColor(control, 1));
}

TEST_F(InstallerWindowTest, ClosingAsksFirstInTheWindowsLanguage) {
  MakeSettings(L"--language=de");
  ASSERT_TRUE(MakeWindow());
  {
    test::MessageBoxAnswerer answerer(::GetCurrentThreadId(), IDNO);
    ::SendMessageW(dialog(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(answerer.answered());
    EXPECT_EQ(L"Möchten Sie die Installation von Tavro wirklich abbrechen?", answerer.text());
    EXPECT_EQ(L"Tavro-Installationsprogramm", answerer.title());
    EXPECT_EQ((std::map<int, std::wstring>{{IDYES, L"&Ja"}, {IDNO, L"&Nein"}}),
              answerer.buttons());
  }
  EXPECT_TRUE(observer_.calls.empty());
  {
    test::MessageBoxAnswerer answerer(::GetCurrentThreadId(), IDYES);
    ::SendMessageW(dialog(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(answerer.answered());
  }
  EXPECT_EQ((std::vector<std::string>{"cancel"}), observer_.calls);
  EXPECT_EQ("CANCEL", PageRecordString(0, "navigation_action"));

  {
    test::MessageBoxAnswerer answerer(::GetCurrentThreadId(), IDOK);
    window_->ShowErrorBox(L"Kein SSE2");
    ASSERT_TRUE(answerer.answered());
    EXPECT_EQ(L"Kein SSE2", answerer.text());
    EXPECT_EQ((std::map<int, std::wstring>{{IDOK, L"OK"}}), answerer.buttons());
  }
  EXPECT_EQ((std::vector<std::string>{"cancel", "cancel"}), observer_.calls);
  EXPECT_EQ("Kein SSE2", PageRecordString(0, "error_displayed"));
}

TEST_F(InstallerWindowTest, DispatcherGivesTheActiveDialogItsKeyboard) {
  MakeSettings(L"");
  ASSERT_TRUE(MakeWindow());
  Win32DialogDispatcher* dispatcher = Win32DialogDispatcher::GetInstance();
  dispatcher->SetActive(dialog());
  const HWND accept = ::GetDlgItem(dialog(), IDC_ACCEPT);
  ::SetFocus(accept);
  MSG tab = {accept, WM_KEYDOWN, VK_TAB, 0};
  EXPECT_EQ(0, dispatcher->FilterMessage(tab));
  EXPECT_NE(accept, ::GetFocus());

  // Another dialog's deactivation leaves this one active.
  dispatcher->Deactivate(options());
  EXPECT_EQ(dialog(), dispatcher->active());
  dispatcher->Deactivate(dialog());
  EXPECT_EQ(nullptr, dispatcher->active());
  EXPECT_EQ(2, dispatcher->FilterMessage(tab));
}

// Layout --------------------------------------------------------------------------------

RECT ScreenRect(HWND window) {
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  return rect;
}

// Whether the text of |control| fits into it, in its own font.
bool TextFits(HWND control, std::string* problem) {
  wchar_t class_name[32] = {};
  ::GetClassNameW(control, class_name, ARRAYSIZE(class_name));
  const std::wstring text = test::GetControlText(::GetParent(control), ::GetDlgCtrlID(control));
  if (text.empty())
    return true;
  RECT client = {};
  ::GetClientRect(control, &client);
  const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
  base::win::ScopedGetDC dc(control);
  const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
  base::win::ScopedSelectObject selected(dc.Get(), font);
  const bool button = _wcsicmp(class_name, L"Button") == 0;
  const bool check_box = button && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
  // Room that the control keeps for itself: a button's frame, a check box's box.
  const int reserved = check_box ? 20 : button ? 8 : 0;
  RECT bounds = {0, 0, client.right - reserved, 0};
  UINT format = DT_CALCRECT;
  if (!button || check_box)
    format |= DT_WORDBREAK;
  if (!button && (style & SS_NOPREFIX))
    format |= DT_NOPREFIX;
  ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &bounds, format);
  if (bounds.right <= client.right - reserved && bounds.bottom <= client.bottom)
    return true;
  *problem = "text " + base::Utf16ToUtf8(text) + " needs " + std::to_string(bounds.right) + "x" +
             std::to_string(bounds.bottom) + ", has " + std::to_string(client.right - reserved) +
             "x" + std::to_string(client.bottom);
  return false;
}

// Whether the text of a rich edit control that does not scroll ends inside it.
bool RichTextFits(HWND control, std::string* problem) {
  GETTEXTLENGTHEX request = {GTL_NUMCHARS, 1200};
  const LONG length = static_cast<LONG>(
      ::SendMessageW(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&request), 0));
  if (length <= 0 || (::GetWindowLongPtrW(control, GWL_STYLE) & WS_VSCROLL))
    return true;
  POINTL last = {};
  ::SendMessageW(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&last), length - 1);
  CHARRANGE range = {length - 1, length};
  ::SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  CHARFORMAT2W format = {};
  format.cbSize = sizeof(format);
  ::SendMessageW(control, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  CHARRANGE none = {0, 0};
  ::SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
  base::win::ScopedGetDC dc(control);
  // The character height is in twips.
  const int height = ::MulDiv(format.yHeight, ::GetDeviceCaps(dc.Get(), LOGPIXELSY), 1440);
  RECT client = {};
  ::GetClientRect(control, &client);
  if (last.x < client.right && last.y + height <= client.bottom)
    return true;
  *problem = "text " + base::Utf16ToUtf8(test::GetControlText(::GetParent(control),
                                                               ::GetDlgCtrlID(control))) +
             " ends at " + std::to_string(last.x) + "," + std::to_string(last.y + height) +
             ", has " + std::to_string(client.right) + "x" + std::to_string(client.bottom);
  return false;
}

// Every visible control of |parent| (and of its visible child dialogs): none overlaps
// another, each text fits.
void ExpectCleanLayout(HWND parent, const std::string& where) {
  std::vector<HWND> controls;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (::IsWindowVisible(child))
      controls.push_back(child);
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    wchar_t class_name[32] = {};
    ::GetClassNameW(controls[i], class_name, ARRAYSIZE(class_name));
    if (wcscmp(class_name, L"#32770") == 0)
      ExpectCleanLayout(controls[i], where + " options");
    std::string problem;
    if (_wcsicmp(class_name, L"Static") == 0 || _wcsicmp(class_name, L"Button") == 0) {
      EXPECT_TRUE(TextFits(controls[i], &problem)) << where << ": " << problem;
    } else if (_wcsnicmp(class_name, L"RichEdit", 8) == 0) {
      EXPECT_TRUE(RichTextFits(controls[i], &problem)) << where << ": " << problem;
    }
    for (size_t j = i + 1; j < controls.size(); ++j) {
      RECT a = ScreenRect(controls[i]);
      RECT b = ScreenRect(controls[j]);
      RECT overlap = {};
      EXPECT_FALSE(::IntersectRect(&overlap, &a, &b))
          << where << ": controls " << ::GetDlgCtrlID(controls[i]) << " and "
          << ::GetDlgCtrlID(controls[j]) << " overlap";
    }
  }
}

// Every page in both languages, with the texts of an installation and of an upgrade.
void InstallerWindowTest::ExpectEveryPageLaidOutCleanly() {
  for (const wchar_t* language : {L"en-US", L"de"}) {
    const std::string name = base::Utf16ToUtf8(language);
    MakeSettings(std::wstring(L"--language=") + language);
    ASSERT_TRUE(MakeWindow());
    ExpectCleanLayout(dialog(), name + " welcome");
    window_->ShowPage(INSTALLER_PAGE_OPTIONS);
    ExpectCleanLayout(dialog(), name + " options");
    // Each reason a refused folder may be given fits where it shows.
    const HWND invalid_path = ::GetDlgItem(options(), IDC_INVALID_PATH);
    for (int id = IDS_INVALID_PATH_EMPTY; id <= IDS_INVALID_PATH_FILE; ++id) {
      ::SetWindowTextW(invalid_path, GetString(id).c_str());
      std::string problem;
      EXPECT_TRUE(TextFits(invalid_path, &problem)) << name << " " << id << ": " << problem;
    }
    window_->ShowPage(INSTALLER_PAGE_TOS);
    ExpectCleanLayout(dialog(), name + " terms");
    window_->ShowProgress(0, 1303, false);
    window_->SetStatusText(5);
    ExpectCleanLayout(dialog(), name + " progress");
    window_->ShowError(GetString(IDS_ERROR_ANOTHER_INSTALLER), true, "x");
    ExpectCleanLayout(dialog(), name + " error");
    window_.reset();

    // A folder with a launcher is upgraded: the longer texts.
    ASSERT_TRUE(base::CreateDirectory(install_folder_));
    ASSERT_EQ(1, base::WriteFileFromBuffer(install_folder_.Append(L"launcher.exe"), "x", 1));
    MakeSettings(std::wstring(L"--language=") + language);
    ASSERT_TRUE(MakeWindow());
    ASSERT_EQ(GetString(IDS_ACCEPT_AND_UPGRADE), GetControlText(dialog(), IDC_ACCEPT));
    ExpectCleanLayout(dialog(), name + " upgrade welcome");
    window_->ShowPage(INSTALLER_PAGE_OPTIONS);
    ExpectCleanLayout(dialog(), name + " upgrade options");
    window_.reset();
    ASSERT_TRUE(base::DeletePath(install_folder_, true));

    MakeSettings(L"", /*uninstall=*/true);
    settings_->SetLanguage(language);
    ASSERT_TRUE(MakeWindow());
    ExpectCleanLayout(dialog(), name + " uninstall");
    window_->ShowError(GetString(IDS_ERROR_BROWSER_IN_USE), false, "x");
    ExpectCleanLayout(dialog(), name + " uninstall error");
    window_.reset();
  }
}

TEST_F(InstallerWindowTest, EveryPageIsLaidOutCleanlyInEveryLanguage) {
  ExpectEveryPageLaidOutCleanly();
}

constexpr wchar_t kExpectedDpiVariable[] = L"TAVRO_TEST_EXPECTED_DPI";

// Run by EveryPageIsLaidOutCleanlyAt144Dpi in a process of its own.
TEST_F(InstallerWindowTest, DISABLED_EveryPageIsLaidOutCleanlyAtTheScreensDpi) {
  wchar_t expected[16] = {};
  ASSERT_NE(0u, ::GetEnvironmentVariableW(kExpectedDpiVariable, expected, 16));
  base::win::ScopedGetDC screen(nullptr);
  ASSERT_EQ(_wtoi(expected), ::GetDeviceCaps(screen.Get(), LOGPIXELSY));
  ExpectEveryPageLaidOutCleanly();
}

// Sets the screen resolution that the programs started from now on see, and puts the old
// one back.
class ScopedSystemDpi {
 public:
  explicit ScopedSystemDpi(DWORD dpi) {
    for (size_t i = 0; i < std::size(keys_); ++i) {
      base::win::RegistryKey& key = keys_[i];
      if (key.Create(kPlaces[i].root, kPlaces[i].path, KEY_QUERY_VALUE | KEY_SET_VALUE) !=
          ERROR_SUCCESS) {
        continue;
      }
      had_value_[i] = key.ReadValueDword(L"LogPixels", &old_value_[i]) == ERROR_SUCCESS;
      valid_ = key.WriteValue(L"LogPixels", dpi) == ERROR_SUCCESS && valid_;
    }
  }
  ScopedSystemDpi(const ScopedSystemDpi&) = delete;
  ScopedSystemDpi& operator=(const ScopedSystemDpi&) = delete;
  ~ScopedSystemDpi() {
    for (size_t i = 0; i < std::size(keys_); ++i) {
      if (had_value_[i])
        keys_[i].WriteValue(L"LogPixels", old_value_[i]);
      else if (keys_[i].Valid())
        keys_[i].DeleteValue(L"LogPixels");
    }
  }
  bool IsValid() const { return valid_; }

 private:
  struct Place {
    HKEY root;
    const wchar_t* path;
  };
  // Where Windows, and Wine, keep it.
  const Place kPlaces[2] = {{HKEY_CURRENT_USER, L"Control Panel\\Desktop"},
                            {HKEY_CURRENT_CONFIG, L"Software\\Fonts"}};
  base::win::RegistryKey keys_[2];
  bool had_value_[2] = {};
  DWORD old_value_[2] = {};
  bool valid_ = true;
};

// At 144 DPI the fonts and the dialog units grow by half, and so do the images and the
// spacing the window draws itself: nothing overlaps, every text fits. The resolution is
// read when a process starts: the pages are checked in a process of their own.
TEST(InstallerWindowDpiTest, EveryPageIsLaidOutCleanlyAt144Dpi) {
  wchar_t program[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, program, MAX_PATH));
  test::ProcessOptions options;
  options.environment = {{kExpectedDpiVariable, L"144"}};
  test::ProcessResult run;
  {
    ScopedSystemDpi dpi(144);
    ASSERT_TRUE(dpi.IsValid());
    run = test::RunProcess(std::wstring(L"\"") + program +
                               L"\" --gtest_also_run_disabled_tests "
                               L"--gtest_filter=InstallerWindowTest."
                               L"DISABLED_EveryPageIsLaidOutCleanlyAtTheScreensDpi",
                           options);
  }
  EXPECT_TRUE(run.Succeeded()) << run.Describe();
  EXPECT_NE(std::string::npos, run.output.find("[  PASSED  ] 1 test.")) << run.output;
}

}  // namespace
}  // namespace installer
