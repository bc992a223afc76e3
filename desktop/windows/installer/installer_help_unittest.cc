#include "desktop/windows/installer/installer_help.h"

#include <string>
#include <vector>

#include "base/strings/string_split.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerHelpTest, ListsTheSixteenSwitchesInOrderWithTheirHints) {
  FillSwitchHelpHints();
  const std::string text = GetHelpText();
  const char* const expected[kSwitchHelpCount] = {
      "  silent\n",
      "  runimmediately\n",
      "  language=LANGUAGE\n",
      "  installfolder=FOLDER\n",
      "  allusers=[0|1]\n",
      "  copyonly=[0|1]\n",
      "  singleprofile=[0|1]\n",
      "  setdefaultbrowser=[0|1]\n",
      "  desktopshortcut=[0|1]\n",
      "  startmenushortcut=[0|1]\n",
      "  quicklaunchshortcut=[0|1]\n",
      "  pintotaskbar=[0|1]\n",
      "  import-browser-data=[0|1]\n",
      "  enable-stats=[0|1]\n",
      "  enable-installer-stats=[0|1]\n",
      "  launchbrowser=[0|1]\n",
  };
  size_t position = 0;
  for (const char* line : expected) {
    const size_t found = text.find(line, position);
    ASSERT_NE(std::string::npos, found) << line;
    position = found + 1;
  }
  EXPECT_EQ(0u, text.find("Tavro Installer "));
  EXPECT_NE(std::string::npos,
            text.find("  setdefaultbrowser=[0|1]\n    If true, make Tavro the default browser "
                      "for this user or computer.\n    Default value: True for Tavro Stable.\n"));
  EXPECT_NE(std::string::npos,
            text.find("\nLanguages available for the language option:\nen-US, de, "));
  EXPECT_NE(std::string::npos,
            text.find("\nFeatures available through command-line switches:\n"
                      "\t--with-feature:installer-experiment-test [Enabled by default: false]\n"));
}

TEST(InstallerHelpTest, ProductNameFormatting) {
  EXPECT_EQ("tavro_installer", FormatWithProductName("%s_installer", true));
  EXPECT_EQ("Tavro_installer", FormatWithProductName("%s_installer", false));
  EXPECT_EQ(L"Tavro Installer", GetInstallerFolderName());
}

}  // namespace
}  // namespace installer
