#include "desktop/windows/rc_l10n_handler/localized_string.h"

#include <stddef.h>

#include <vector>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "desktop/windows/rc_l10n_handler/language_selection.h"

namespace installer {

const wchar_t kEnglishLanguageCode[] = L"en-US";

namespace {

const LANGID kEnglishLangId = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Strings come in blocks of 16: block n + 1 holds the ids 16 n to 16 n + 15.
constexpr int kStringsPerBlock = 16;

// The module that holds this code, and with it the string tables: the installer DLL, or
// the test program that links the same code.
HMODULE GetStringModule() {
  static const HMODULE module = [] {
    HMODULE result = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&GetStringModule), &result)) {
      PLOG(ERROR) << "Cannot find the module holding the string tables";
      return static_cast<HMODULE>(nullptr);
    }
    return result;
  }();
  return module;
}

// The string block holding |id| in exactly the language |language|, as 16-bit units.
bool FindStringBlock(int id, LANGID language, const WORD** units, size_t* count) {
  const HMODULE module = GetStringModule();
  if (!module)
    return false;
  const HRSRC resource = ::FindResourceExW(
      module, RT_STRING, MAKEINTRESOURCEW(id / kStringsPerBlock + 1), language);
  if (!resource)
    return false;
  const HGLOBAL loaded = ::LoadResource(module, resource);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data)
    return false;
  *units = static_cast<const WORD*>(data);
  *count = ::SizeofResource(module, resource) / sizeof(WORD);
  return true;
}

// The text of |id| in exactly the language |language|; false when the block is missing or
// holds no text for the id. Each of the 16 entries is a length followed by that many
// UTF-16 units (no terminator); a malformed block gives nothing.
bool LoadStringForLangId(int id, LANGID language, std::wstring* text) {
  if (id < 0 || id > 0xFFFF)
    return false;
  const WORD* units = nullptr;
  size_t count = 0;
  if (!FindStringBlock(id, language, &units, &count))
    return false;
  size_t position = 0;
  for (int index = 0; index < id % kStringsPerBlock; ++index) {
    if (position >= count)
      return false;
    position += 1 + units[position];
  }
  if (position >= count)
    return false;
  const size_t length = units[position];
  if (length == 0 || length > count - position - 1)
    return false;
  text->assign(reinterpret_cast<const wchar_t*>(units + position + 1), length);
  return true;
}

}  // namespace

std::wstring GetString(int id) {
  return GetStringForLanguage(GetCurrentLanguageSlot().Get(), id);
}

std::wstring GetString(int id, std::wstring_view text) {
  return base::ReplaceStringPlaceholders(GetString(id), {std::wstring(text)});
}

std::wstring GetStringForLanguage(std::wstring_view language_code, int id) {
  std::wstring text;
  const LANGID language = LanguageCodeToLangId(language_code);
  if (language && LoadStringForLangId(id, language, &text))
    return text;
  if (language != kEnglishLangId && LoadStringForLangId(id, kEnglishLangId, &text))
    return text;
  LOG(ERROR) << "No localised string " << id;
  return std::wstring();
}

LANGID LanguageCodeToLangId(std::wstring_view language_code) {
  if (language_code.empty() || language_code.size() >= LOCALE_NAME_MAX_LENGTH)
    return 0;
  std::wstring name;
  base::ReplaceChars(language_code, L"_", L"-", &name);
  const LCID locale = ::LocaleNameToLCID(name.c_str(), 0);
  return LANGIDFROMLCID(locale);
}

bool HasStringsForLanguage(std::wstring_view language_code) {
  const LANGID language = LanguageCodeToLangId(language_code);
  const WORD* units = nullptr;
  size_t count = 0;
  return language && FindStringBlock(IDS_FIRST_INSTALLER_STRING, language, &units, &count);
}

}  // namespace installer
