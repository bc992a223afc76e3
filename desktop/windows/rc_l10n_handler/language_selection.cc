#include "desktop/windows/rc_l10n_handler/language_selection.h"

#include <windows.h>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"

namespace installer {

namespace {

constexpr int kAvailableLanguagesResourceId = 134;

base::LazyInstance<LanguageSlot> g_language_slot;

// kernel32 is always loaded; its functions that older systems lack are looked up here.
FARPROC GetKernel32Function(const char* name) {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  return kernel32 ? ::GetProcAddress(kernel32, name) : nullptr;
}

std::wstring NormalizeLanguageCode(std::wstring_view code) {
  std::wstring result;
  base::ReplaceChars(base::ToLowerAscii(base::TrimWhitespaceASCII(code, base::TRIM_ALL)), L"_",
                     L"-", &result);
  return result;
}

// The language without script and region: "pt" of "pt-br".
std::wstring_view BaseLanguage(std::wstring_view normalized_code) {
  return normalized_code.substr(0, normalized_code.find(L'-'));
}

bool IsTraditionalChinese(std::wstring_view normalized_code) {
  bool traditional = false;
  for (std::wstring_view subtag : base::SplitTextView(
           normalized_code, L'-', base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
    if (subtag == L"hans")
      return false;  // The script decides over the region.
    if (subtag == L"hant")
      return true;
    if (subtag == L"tw" || subtag == L"hk" || subtag == L"mo")
      traditional = true;
  }
  return traditional;
}

// The system's preferred user-interface languages, most preferred first, then its default
// user-interface language.
std::vector<std::wstring> GetSystemLanguages() {
  std::vector<std::wstring> languages;
  using GetPreferredLanguagesFunction = BOOL(WINAPI*)(DWORD, PULONG, PZZWSTR, PULONG);
  const auto get_preferred = reinterpret_cast<GetPreferredLanguagesFunction>(
      GetKernel32Function("GetUserPreferredUILanguages"));
  ULONG count = 0;
  ULONG size = 0;
  if (get_preferred && get_preferred(MUI_LANGUAGE_NAME, &count, nullptr, &size) && size) {
    std::wstring list(size, L'\0');
    if (get_preferred(MUI_LANGUAGE_NAME, &count, list.data(), &size)) {
      list.resize(size < list.size() ? size : list.size());
      for (std::wstring_view name : base::SplitTextView(
               list, L'\0', base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
        languages.emplace_back(name);
      }
    }
  }
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (::LCIDToLocaleName(MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT), name,
                         LOCALE_NAME_MAX_LENGTH, 0) > 0) {
    languages.emplace_back(name);
  }
  return languages;
}

// Makes the language the one the system uses for this process's own user interface
// (message boxes, common dialogs).
void ApplyUserInterfaceLanguage(std::wstring_view language_code) {
  const LANGID language = LanguageCodeToLangId(language_code);
  if (!language)
    return;
  using SetThreadLanguageFunction = LANGID(WINAPI*)(LANGID);
  const auto set_thread_language = reinterpret_cast<SetThreadLanguageFunction>(
      GetKernel32Function("SetThreadUILanguage"));
  if (set_thread_language && set_thread_language(language) != language)
    LOG(WARNING) << "Could not set the thread's interface language to " << language_code;

  using SetProcessLanguagesFunction = BOOL(WINAPI*)(DWORD, PCZZWSTR, PULONG);
  const auto set_process_languages = reinterpret_cast<SetProcessLanguagesFunction>(
      GetKernel32Function("SetProcessPreferredUILanguages"));
  wchar_t name[LOCALE_NAME_MAX_LENGTH + 1] = {};  // A list of one: two terminators.
  if (set_process_languages &&
      ::LCIDToLocaleName(MAKELCID(language, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) >
          0) {
    ULONG applied = 0;
    if (!set_process_languages(MUI_LANGUAGE_NAME, name, &applied))
      PLOG(WARNING) << "Could not set the process's interface language to " << name;
  }
}

}  // namespace

LanguageSlot::LanguageSlot() = default;
LanguageSlot::~LanguageSlot() = default;

std::wstring LanguageSlot::Get() const {
  base::AutoLock lock(lock_);
  return language_code_;
}

void LanguageSlot::Set(std::wstring_view language_code) {
  base::AutoLock lock(lock_);
  language_code_.assign(language_code);
}

LanguageSlot& GetCurrentLanguageSlot() {
  return g_language_slot.Get();
}

std::vector<std::wstring> GetAvailableLanguages() {
  return ParseLanguageList(LoadHostTextResource(kAvailableLanguagesResourceId));
}

std::vector<std::wstring> ParseLanguageList(std::string_view list) {
  list = list.substr(0, list.find('\0'));
  std::vector<std::wstring> languages;
  for (const std::string& code :
       base::SplitString(list, ",", base::TRIM_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
    if (base::IsStringAscii(code))
      languages.push_back(base::AsciiToUtf16(code));
  }
  return languages;
}

std::wstring MatchAvailableLanguage(std::wstring_view language_code,
                                    const std::vector<std::wstring>& available) {
  const std::wstring wanted = NormalizeLanguageCode(language_code);
  if (wanted.empty())
    return std::wstring();
  const auto find = [&available](std::wstring_view code) -> const std::wstring* {
    for (const std::wstring& entry : available) {
      if (NormalizeLanguageCode(entry) == code)
        return &entry;
    }
    return nullptr;
  };
  if (const std::wstring* exact = find(wanted))
    return *exact;

  std::wstring_view base = BaseLanguage(wanted);
  if (base == L"zh") {
    const std::wstring* chinese = find(IsTraditionalChinese(wanted) ? L"zh-tw" : L"zh-cn");
    return chinese ? *chinese : std::wstring();
  }
  if (base == L"no" || base == L"nn")
    base = L"nb";
  for (const std::wstring& entry : available) {
    const std::wstring normalized = NormalizeLanguageCode(entry);
    if (BaseLanguage(normalized) == base)
      return entry;
  }
  return std::wstring();
}

namespace {

// The available language that serves |code|, when the installer has its strings.
std::wstring ServeLanguage(std::wstring_view code, const std::vector<std::wstring>& available) {
  std::wstring match = MatchAvailableLanguage(code, available);
  if (!match.empty() && !HasStringsForLanguage(match))
    match.clear();
  return match;
}

}  // namespace

bool IsLanguageServed(std::wstring_view code) {
  return !ServeLanguage(code, GetAvailableLanguages()).empty();
}

std::wstring SelectLanguage(std::wstring_view requested, std::wstring* language) {
  const std::vector<std::wstring> available = GetAvailableLanguages();
  const auto serve = [&available](std::wstring_view code) {
    return ServeLanguage(code, available);
  };

  std::wstring chosen;
  if (!requested.empty()) {
    chosen = serve(requested);
    LOG_IF(WARNING, chosen.empty()) << "Language " << requested << " is not available";
  }
  if (chosen.empty()) {
    for (const std::wstring& system_language : GetSystemLanguages()) {
      chosen = serve(system_language);
      if (!chosen.empty()) {
        VLOG(1) << "Using the system language " << system_language << " as " << chosen;
        break;
      }
    }
  }
  if (chosen.empty()) {
    chosen = serve(kEnglishLanguageCode);
    if (chosen.empty())
      chosen = kEnglishLanguageCode;
  }

  ApplyUserInterfaceLanguage(chosen);
  GetCurrentLanguageSlot().Set(chosen);
  if (language)
    *language = chosen;
  return chosen;
}

}  // namespace installer
