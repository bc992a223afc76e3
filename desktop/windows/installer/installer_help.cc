#include "desktop/windows/installer/installer_help.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "base/features/command_line_feature_reader.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/rc_l10n_handler/language_selection.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"

namespace installer {

namespace {

constexpr size_t kFirstHintedRow = 3;      // "installfolder"
constexpr size_t kFirstBooleanRow = 4;     // "allusers"
constexpr size_t kLastBooleanRow = 15;     // "launchbrowser"

// The value hints from "installfolder" on are written by FillSwitchHelpHints.
SwitchHelp g_switch_help[kSwitchHelpCount] = {
    {"silent", nullptr,
     "Run the installer fully unattended. No dialog will be displayed in this mode. If it "
     "isn't running with sufficient privileges, the installer will fail instead of prompting "
     "the user.",
     nullptr},
    {"runimmediately", nullptr,
     "Run the installer mostly unattended. The installation will start immediately and the "
     "progress dialog will be displayed. The installer will prompt the user for elevation if "
     "needed.",
     nullptr},
    {"language", "LANGUAGE",
     "Install %s in the specified language.This language will also be used during "
     "installation.",
     "The Operating system UI language."},
    {"installfolder", nullptr, "Install %s in the specified folder.", nullptr},
    {"allusers", nullptr, "If true, install %s for all users on the system.",
     "True when running from an administrative acount."},
    {"copyonly", nullptr,
     "If true, the installer will only copy the files to the installation folder and will "
     "otherwise not perform any modification on the system.",
     "False."},
    {"singleprofile", nullptr,
     "If true, the installer will set up %s to use a singleprofile located in the "
     "installation folder.",
     "False."},
    {"setdefaultbrowser", nullptr,
     "If true, make %s the default browser for this user or computer.", "True for %s Stable."},
    {"desktopshortcut", nullptr, "If true, create a shortcut for %s on the desktop.", "True."},
    {"startmenushortcut", nullptr, "If true, create a shortcut for %s on the start menu.",
     "True."},
    {"quicklaunchshortcut", nullptr,
     "If true, create a shortcut for %s on the quick launch menu.",
     "False on Window 7 and later. True otherwise"},
    {"pintotaskbar", nullptr, "If true, pin %s to the taskbar.",
     "True on Window 7 and later. False otherwise."},
    {"import-browser-data", nullptr,
     "If true, %s is set up to import user data from the previously default browser when "
     "creating new user profiles.",
     "True."},
    {"enable-stats", nullptr, "If true, %s will by default gather and report statistics.",
     "True."},
    {"enable-installer-stats", nullptr,
     "If true, installer will by default gather and report statistics.", "True."},
    {"launchbrowser", nullptr, "If true, %s is launched once the installation is completed.",
     "True."},
};

const std::string& CachedProductName() {
  static const std::string product_name = ProductInfo::GetProductName();
  return product_name;
}

// Where the help goes: a stream the process already has, or a console of its own.
bool HasStandardOutput() {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  return output && output != INVALID_HANDLE_VALUE &&
         ::GetFileType(output) != FILE_TYPE_UNKNOWN;
}

}  // namespace

const SwitchHelp* GetSwitchHelpTable() {
  return g_switch_help;
}

void FillSwitchHelpHints() {
  g_switch_help[kFirstHintedRow].value_hint = "FOLDER";
  for (size_t row = kFirstBooleanRow; row <= kLastBooleanRow; ++row)
    g_switch_help[row].value_hint = "[0|1]";
}

std::string FormatWithProductName(const char* format, bool lower_case) {
  const std::string& name = CachedProductName();
  return base::StringPrintf(format, lower_case ? base::ToLowerAscii(name).c_str() : name.c_str());
}

std::wstring GetInstallerFolderName() {
  return base::AsciiToUtf16(FormatWithProductName("%s Installer", false));
}

std::string GetHelpText() {
  std::string text = base::StringPrintf(
      "%s Installer %s %s\n\n", CachedProductName().c_str(), ProductInfo::GetVersion().c_str(),
      ProductInfo::GetStream().c_str());
  text += "The following command line parameters affect the behavior of the installer:\n";
  for (const SwitchHelp& row : g_switch_help) {
    base::StringAppendF(&text, "  %s", row.name);
    if (row.value_hint)
      base::StringAppendF(&text, "=%s", row.value_hint);
    base::StringAppendF(&text, "\n    %s\n", FormatWithProductName(row.description, false).c_str());
    if (row.default_text) {
      base::StringAppendF(&text, "    Default value: %s\n",
                          FormatWithProductName(row.default_text, false).c_str());
    }
  }
  base::StringAppendF(&text, "\nLanguages available for the %s option:\n", "language");
  // Only those the installer can show: a language without strings would be English.
  std::vector<std::wstring> served;
  for (const std::wstring& code : GetAvailableLanguages()) {
    if (HasStringsForLanguage(code))
      served.push_back(code);
  }
  const std::wstring languages = base::JoinString(served, L", ");
  base::StringAppendF(&text, "%s\n", base::Utf16ToUtf8(languages).c_str());
  text += "\nFeatures available through command-line switches:\n";
  for (const FeatureRow& feature : GetInstallerFeatures()) {
    base::StringAppendF(&text, "\t--%s [Enabled by default: %s]\n",
                        base::MakeFeatureSwitchName(feature.name).c_str(),
                        IsFeatureEnabledByDefault(feature) ? "true" : "false");
  }
  return text;
}

void SayOnStandardError(const std::string& line) {
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  if (!error || error == INVALID_HANDLE_VALUE || ::GetFileType(error) == FILE_TYPE_UNKNOWN)
    return;
  const std::string text = line + "\n";
  DWORD written = 0;
  ::WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void PrintHelp() {
  const bool own_console = !HasStandardOutput();
  if (own_console) {
    ::AllocConsole();
    FILE* console = nullptr;
    if (_wfreopen_s(&console, L"CONOUT$", L"w", stdout) != 0)
      return;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  const std::string text = GetHelpText();
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
  // Keeps a console that only this process uses open until the user has read it.
  if (own_console)
    _wsystem(L"PAUSE");
}

}  // namespace installer
