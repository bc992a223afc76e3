#include "desktop/windows/rc_l10n_handler/localized_string.h"

#include "desktop/windows/rc_l10n_handler/language_selection.h"
#include "desktop/windows/rc_l10n_handler/language_test_fixture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using LocalizedStringTest = LanguageTest;

TEST_F(LocalizedStringTest, EnglishAndGermanTexts) {
  GetCurrentLanguageSlot().Set(L"");
  EXPECT_EQ(L"Tavro Installer", GetString(IDS_INSTALLER_TITLE));
  EXPECT_EQ(L"An error occurred while attempting to install Tavro!",
            GetString(IDS_ERROR_INSTALL_FAILED));
  EXPECT_EQ(L"Downloading\u2026", GetString(IDS_STATUS_DOWNLOADING));
  EXPECT_EQ(L"English", GetString(IDS_LANGUAGE_NAME));

  GetCurrentLanguageSlot().Set(L"de");
  EXPECT_EQ(L"Tavro-Installationsprogramm", GetString(IDS_INSTALLER_TITLE));
  EXPECT_EQ(L"&Zur\u00fcck", GetString(IDS_BACK));
  EXPECT_EQ(L"Deutsch", GetString(IDS_LANGUAGE_NAME));
  // The language drop-down names each language in that language.
  EXPECT_EQ(L"English", GetStringForLanguage(L"en-US", IDS_LANGUAGE_NAME));
  EXPECT_EQ(L"Deutsch", GetStringForLanguage(L"de-DE", IDS_LANGUAGE_NAME));
}

TEST_F(LocalizedStringTest, EveryIdExistsInEveryTable) {
  for (int id = IDS_FIRST_INSTALLER_STRING; id <= IDS_LAST_INSTALLER_STRING; ++id) {
    EXPECT_FALSE(GetStringForLanguage(L"en-US", id).empty()) << id;
    // A missing German text would come back in English.
    if (id != IDS_OK && id != IDS_HEADING_PRODUCT) {
      EXPECT_NE(GetStringForLanguage(L"en-US", id), GetStringForLanguage(L"de", id)) << id;
    }
  }
}

TEST_F(LocalizedStringTest, PlaceholderAndMissingIds) {
  GetCurrentLanguageSlot().Set(L"en-US");
  EXPECT_EQ(L"The folder C:\\Tavro could not be created.",
            GetString(IDS_ERROR_CREATE_FOLDER, L"C:\\Tavro"));
  EXPECT_EQ(L"Error when copying file to $2.", GetString(IDS_ERROR_COPY_FILE, L"$2"));
  GetCurrentLanguageSlot().Set(L"de");
  EXPECT_EQ(L"Der Ordner C:\\x konnte nicht erstellt werden.",
            GetString(IDS_ERROR_CREATE_FOLDER, L"C:\\x"));

  EXPECT_EQ(L"", GetString(IDS_LAST_INSTALLER_STRING + 1));  // Same block, no entry.
  EXPECT_EQ(L"", GetString(36000));                           // No such block.
  EXPECT_EQ(L"", GetString(-1));
  EXPECT_EQ(L"", GetString(0x10000 + IDS_INSTALLER_TITLE));
}

TEST_F(LocalizedStringTest, LanguagesWithoutTablesFallBackToEnglish) {
  EXPECT_EQ(L"Failed to download Tavro.", GetStringForLanguage(L"fr", IDS_ERROR_DOWNLOAD_FAILED));
  EXPECT_EQ(L"Failed to download Tavro.",
            GetStringForLanguage(L"not-a-language", IDS_ERROR_DOWNLOAD_FAILED));
  EXPECT_EQ(L"Failed to download Tavro.", GetStringForLanguage(L"", IDS_ERROR_DOWNLOAD_FAILED));
  // Tables are chosen by exact language: Austrian German has none of its own.
  EXPECT_EQ(L"Failed to download Tavro.",
            GetStringForLanguage(L"de-AT", IDS_ERROR_DOWNLOAD_FAILED));

  EXPECT_TRUE(HasStringsForLanguage(L"en-US"));
  EXPECT_TRUE(HasStringsForLanguage(L"de"));
  EXPECT_TRUE(HasStringsForLanguage(L"de_DE"));
  EXPECT_FALSE(HasStringsForLanguage(L"fr"));
  EXPECT_FALSE(HasStringsForLanguage(L"de-AT"));
  EXPECT_FALSE(HasStringsForLanguage(L""));
  EXPECT_EQ(0, LanguageCodeToLangId(L"xx-nonsense"));
  EXPECT_EQ(MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN),
            LanguageCodeToLangId(L"pt-BR"));
}

}  // namespace
}  // namespace installer
