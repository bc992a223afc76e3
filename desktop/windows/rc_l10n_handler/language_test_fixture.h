#ifndef DESKTOP_WINDOWS_RC_L10N_HANDLER_LANGUAGE_TEST_FIXTURE_H_
#define DESKTOP_WINDOWS_RC_L10N_HANDLER_LANGUAGE_TEST_FIXTURE_H_

#include <string>

#include "desktop/windows/rc_l10n_handler/language_selection.h"
#include "desktop/windows/rc_l10n_handler/localized_string.h"
#include "gtest/gtest.h"

namespace installer {

// Tests that select languages: the process's language is put back afterwards, so that
// other tests of the program see the language they started with.
class LanguageTest : public testing::Test {
 protected:
  void SetUp() override { saved_ = GetCurrentLanguageSlot().Get(); }
  void TearDown() override {
    SelectLanguage(saved_.empty() ? std::wstring(kEnglishLanguageCode) : saved_, nullptr);
    GetCurrentLanguageSlot().Set(saved_);
  }

 private:
  std::wstring saved_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_RC_L10N_HANDLER_LANGUAGE_TEST_FIXTURE_H_
