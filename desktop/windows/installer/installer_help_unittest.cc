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
            text.find("\nLanguages available for the language option:\nen-US, de\n"));
  EXPECT_NE(std::string::npos,
            text.find("\nFeatures available through command-line switches:\n"
                      "\t--with-feature:installer-experiment-test [Enabled by default: false]\n"));
}

// Every row byte for byte, in table order, as the help prints it for the product "Tavro".
TEST(InstallerHelpTest, PrintsEveryRowExactly) {
  FillSwitchHelpHints();
  const char* const kRows[kSwitchHelpCount] = {
      "  silent\n"
      "    Run the installer fully unattended. No dialog will be displayed in this mode. If it "
      "isn't running with sufficient privileges, the installer will fail instead of prompting "
      "the user.\n",
      "  runimmediately\n"
      "    Run the installer mostly unattended. The installation will start immediately and the "
      "progress dialog will be displayed. The installer will prompt the user for elevation if "
      "needed.\n",
      "  language=LANGUAGE\n"
      "    Install Tavro in the specified language.This language will also be used during "
      "installation.\n"
      "    Default value: The Operating system UI language.\n",
      "  installfolder=FOLDER\n"
      "    Install Tavro in the specified folder.\n",
      "  allusers=[0|1]\n"
      "    If true, install Tavro for all users on the system.\n"
      "    Default value: True when running from an administrative acount.\n",
      "  copyonly=[0|1]\n"
      "    If true, the installer will only copy the files to the installation folder and will "
      "otherwise not perform any modification on the system.\n"
      "    Default value: False.\n",
      "  singleprofile=[0|1]\n"
      "    If true, the installer will set up Tavro to use a singleprofile located in the "
      "installation folder.\n"
      "    Default value: False.\n",
      "  setdefaultbrowser=[0|1]\n"
      "    If true, make Tavro the default browser for this user or computer.\n"
      "    Default value: True for Tavro Stable.\n",
      "  desktopshortcut=[0|1]\n"
      "    If true, create a shortcut for Tavro on the desktop.\n"
      "    Default value: True.\n",
      "  startmenushortcut=[0|1]\n"
      "    If true, create a shortcut for Tavro on the start menu.\n"
      "    Default value: True.\n",
      "  quicklaunchshortcut=[0|1]\n"
      "    If true, create a shortcut for Tavro on the quick launch menu.\n"
      "    Default value: False on Window 7 and later. True otherwise\n",
      "  pintotaskbar=[0|1]\n"
      "    If true, pin Tavro to the taskbar.\n"
      "    Default value: True on Window 7 and later. False otherwise.\n",
      "  import-browser-data=[0|1]\n"
      "    If true, Tavro is set up to import user data from the previously default browser "
      "when creating new user profiles.\n"
      "    Default value: True.\n",
      "  enable-stats=[0|1]\n"
      "    If true, Tavro will by default gather and report statistics.\n"
      "    Default value: True.\n",
      "  enable-installer-stats=[0|1]\n"
      "    If true, installer will by default gather and report statistics.\n"
      "    Default value: True.\n",
      "  launchbrowser=[0|1]\n"
      "    If true, Tavro is launched once the installation is completed.\n"
      "    Default value: True.\n",
  };
  const std::string text = GetHelpText();
  const std::string intro =
      "The following command line parameters affect the behavior of the installer:\n";
  size_t position = text.find(intro);
  ASSERT_NE(std::string::npos, position);
  position += intro.size();
  for (size_t row = 0; row < kSwitchHelpCount; ++row) {
    const std::string expected = kRows[row];
    EXPECT_EQ(expected, text.substr(position, expected.size())) << "row " << row;
    position += expected.size();
  }
  EXPECT_EQ(0u, text.compare(position, 10, "\nLanguages"));
}

TEST(InstallerHelpTest, ProductNameFormatting) {
  EXPECT_EQ("tavro_installer", FormatWithProductName("%s_installer", true));
  EXPECT_EQ("Tavro_installer", FormatWithProductName("%s_installer", false));
  EXPECT_EQ(L"Tavro Installer", GetInstallerFolderName());
}

}  // namespace
}  // namespace installer
