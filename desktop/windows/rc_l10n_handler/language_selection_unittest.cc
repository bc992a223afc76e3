#include "desktop/windows/rc_l10n_handler/language_selection.h"

#include <windows.h>

#include "base/strings/string_util.h"
#include "desktop/windows/rc_l10n_handler/language_test_fixture.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using LanguageSelectionTest = LanguageTest;

// The host names the languages the installer has strings for, and no other: a language
// named without them would be offered and then shown in English.
TEST_F(LanguageSelectionTest, AvailableLanguagesOfTheHost) {
  const std::vector<std::wstring> languages = GetAvailableLanguages();
  EXPECT_EQ((std::vector<std::wstring>{L"en-US", L"de"}), languages);
  for (const std::wstring& code : languages)
    EXPECT_TRUE(HasStringsForLanguage(code)) << code;
  EXPECT_TRUE(IsLanguageServed(L"de-AT"));
  EXPECT_FALSE(IsLanguageServed(L"nb"));

  EXPECT_EQ((std::vector<std::wstring>{L"en-US", L"de", L"pt-BR"}),
            ParseLanguageList(" en-US, de ,,\r\npt-BR ,\n"));
  EXPECT_EQ((std::vector<std::wstring>{L"en-US"}), ParseLanguageList(std::string("en-US\0x", 7)));
  EXPECT_TRUE(ParseLanguageList("").empty());
  EXPECT_TRUE(ParseLanguageList(" , ,").empty());
}

TEST_F(LanguageSelectionTest, MatchingRequestsToAvailableCodes) {
  const std::vector<std::wstring> available = {L"en-US", L"de", L"nb", L"pt-BR", L"zh-CN",
                                               L"zh-TW"};
  EXPECT_EQ(L"de", MatchAvailableLanguage(L"de", available));
  EXPECT_EQ(L"de", MatchAvailableLanguage(L"DE-de", available));
  EXPECT_EQ(L"de", MatchAvailableLanguage(L"de_AT", available));
  EXPECT_EQ(L"en-US", MatchAvailableLanguage(L"en-GB", available));
  EXPECT_EQ(L"nb", MatchAvailableLanguage(L"no", available));
  EXPECT_EQ(L"nb", MatchAvailableLanguage(L"nn-NO", available));
  EXPECT_EQ(L"nb", MatchAvailableLanguage(L"nb-NO", available));
  EXPECT_EQ(L"pt-BR", MatchAvailableLanguage(L"pt-PT", available));
  EXPECT_EQ(L"zh-CN", MatchAvailableLanguage(L"zh", available));
  EXPECT_EQ(L"zh-CN", MatchAvailableLanguage(L"zh-SG", available));
  EXPECT_EQ(L"zh-TW", MatchAvailableLanguage(L"zh-HK", available));
  EXPECT_EQ(L"zh-TW", MatchAvailableLanguage(L"zh-Hant", available));
  EXPECT_EQ(L"zh-CN", MatchAvailableLanguage(L"zh-Hans-HK", available));
  EXPECT_EQ(L"", MatchAvailableLanguage(L"fr", available));
  EXPECT_EQ(L"", MatchAvailableLanguage(L"", available));
  // A neutral request is served by a regional entry of the same language.
  EXPECT_EQ(L"de-DE", MatchAvailableLanguage(L"de", {L"en-US", L"de-DE"}));
  // Never the other Chinese script.
  EXPECT_EQ(L"", MatchAvailableLanguage(L"zh-TW", {L"en-US", L"zh-CN"}));
}

TEST_F(LanguageSelectionTest, SelectsAnAvailableLanguage) {
  std::wstring language = L"previous";
  EXPECT_EQ(L"de", SelectLanguage(L"de", &language));
  EXPECT_EQ(L"de", language);
  EXPECT_EQ(L"de", GetCurrentLanguageSlot().Get());
  EXPECT_EQ(L"Abbrechen", GetString(IDS_CANCEL));

  // A regional code is served by the list's own code.
  EXPECT_EQ(L"de", SelectLanguage(L"de-CH", nullptr));
  EXPECT_EQ(L"en-US", SelectLanguage(L"EN-us", nullptr));
  EXPECT_EQ(L"Cancel", GetString(IDS_CANCEL));
}

TEST_F(LanguageSelectionTest, FallsBackThroughTheSystemToEnglish) {
  // What the system prefers decides for an empty or unusable request; every outcome is a
  // language that has strings.
  SelectLanguage(L"de", nullptr);
  const std::wstring from_system = SelectLanguage(L"", nullptr);
  EXPECT_TRUE(HasStringsForLanguage(from_system)) << from_system;
  EXPECT_EQ(from_system, GetCurrentLanguageSlot().Get());

  // "fr" is listed by the host but has no strings; "xx" is not listed at all.
  EXPECT_EQ(from_system, SelectLanguage(L"fr", nullptr));
  std::wstring language;
  EXPECT_EQ(from_system, SelectLanguage(L"xx", &language));
  EXPECT_EQ(from_system, language);

  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  ASSERT_GT(::LCIDToLocaleName(MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT), name,
                               LOCALE_NAME_MAX_LENGTH, 0),
            0);
  if (base::StartsWith(std::wstring_view(name), L"en", base::CompareCase::INSENSITIVE_ASCII) ||
      base::StartsWith(std::wstring_view(name), L"fr", base::CompareCase::INSENSITIVE_ASCII)) {
    EXPECT_EQ(L"en-US", from_system);
  }
}

}  // namespace
}  // namespace installer
