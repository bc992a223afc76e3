#ifndef DESKTOP_WINDOWS_RC_L10N_HANDLER_LANGUAGE_SELECTION_H_
#define DESKTOP_WINDOWS_RC_L10N_HANDLER_LANGUAGE_SELECTION_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/synchronization/lock.h"

namespace installer {

// The process-wide holder of the selected language code (empty: none selected, which
// means English).
class LanguageSlot {
 public:
  LanguageSlot();
  ~LanguageSlot();
  LanguageSlot(const LanguageSlot&) = delete;
  LanguageSlot& operator=(const LanguageSlot&) = delete;

  std::wstring Get() const;
  void Set(std::wstring_view language_code);

 private:
  mutable base::Lock lock_;
  std::wstring language_code_;
};

LanguageSlot& GetCurrentLanguageSlot();

// The language codes of resource 134 of the host executable ("en-US,de,fr,..."), in order.
std::vector<std::wstring> GetAvailableLanguages();
// Splits such a list at the commas; spaces around the codes and empty entries are dropped.
std::vector<std::wstring> ParseLanguageList(std::string_view list);

// The entry of |available| that serves a user asking for |language_code|; empty when none
// does. Codes are compared without regard to case, with "_" taken as "-". Beyond an exact
// match: "no" and "nn" are served by "nb"; Chinese by "zh-TW" for the traditional script
// (Taiwan, Hong Kong, Macao, "Hant") and by "zh-CN" otherwise, never by the other script;
// any other language by the first entry of the same base language ("de-AT" by "de",
// "de" by "de-DE").
std::wstring MatchAvailableLanguage(std::wstring_view language_code,
                                    const std::vector<std::wstring>& available);

// Chooses the user-interface language and applies it to the process: |requested| when it
// is served by an available language that has strings; otherwise the first of the
// system's preferred user-interface languages that is; otherwise English. The choice goes
// into the current language slot and into |*language| (when not null), and is returned.
std::wstring SelectLanguage(std::wstring_view requested, std::wstring* language);

// Whether SelectLanguage would serve |code| itself (or a close match of it): the host names
// it and the installer has its strings.
bool IsLanguageServed(std::wstring_view code);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_RC_L10N_HANDLER_LANGUAGE_SELECTION_H_
