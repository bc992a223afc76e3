#ifndef DESKTOP_WINDOWS_RC_L10N_HANDLER_LOCALIZED_STRING_H_
#define DESKTOP_WINDOWS_RC_L10N_HANDLER_LOCALIZED_STRING_H_

#include <windows.h>

#include <string>
#include <string_view>

#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

// The code of the language every string exists in.
extern const wchar_t kEnglishLanguageCode[];

// The localised text of |id| in the language of the current language slot (English until
// a language is selected); empty when no string table holds the id.
std::wstring GetString(int id);
// The same with "$1" replaced by |text|.
std::wstring GetString(int id, std::wstring_view text);

// The text of |id| in the language named by |language_code| ("de", "en-US", "pt-BR"...),
// or in English when that language has no text for the id.
std::wstring GetStringForLanguage(std::wstring_view language_code, int id);

// The language id of a language code ("de" gives German (Germany)); 0 when the system does
// not know the code. "_" is accepted in place of "-".
LANGID LanguageCodeToLangId(std::wstring_view language_code);

// Whether the string tables hold the installer's strings in exactly that language.
bool HasStringsForLanguage(std::wstring_view language_code);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_RC_L10N_HANDLER_LOCALIZED_STRING_H_
