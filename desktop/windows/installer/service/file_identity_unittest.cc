#include "desktop/windows/installer/service/file_identity.h"

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/string_util.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/shortcut.h"
#include "desktop/windows/installer/service/taskbar_pins.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

base::FilePath ShortPath(const base::FilePath& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetShortPathNameW(path.value().c_str(), buffer, MAX_PATH);
  return length && length < MAX_PATH ? base::FilePath(std::wstring(buffer, length))
                                     : base::FilePath();
}

base::FilePath UpperCase(const base::FilePath& path) {
  return base::FilePath(base::ToUpperAscii(path.value()));
}

// Two files in a temporary folder, and shortcuts to them; COM initialised for the shell.
class FileIdentityTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    target_ = temp_dir_.GetPath().Append(L"Long target name.exe");
    other_ = temp_dir_.GetPath().Append(L"other.exe");
    ASSERT_EQ(1, base::WriteFileFromBuffer(target_, "t", 1));
    ASSERT_EQ(1, base::WriteFileFromBuffer(other_, "o", 1));
    ASSERT_TRUE(GetFileInfo(target_, &target_identity_));
  }

  void TearDown() override {
    SetTaskbarPinsFolderForTesting(base::FilePath());
    temp_dir_.Delete();
  }

  base::FilePath MakeShortcut(const base::FilePath& shortcut, const base::FilePath& target) {
    base::win::ShortcutProperties properties;
    properties.set_target(target);
    EXPECT_TRUE(base::win::CreateOrUpdateShortcut(shortcut, properties,
                                                  base::win::SHORTCUT_CREATE_ALWAYS));
    return shortcut;
  }
  base::FilePath MakeShortcut(const wchar_t* name, const base::FilePath& target) {
    return MakeShortcut(temp_dir_.GetPath().Append(name), target);
  }

  base::win::ScopedComInitializer com_;
  base::ScopedTempDir temp_dir_;
  base::FilePath target_;
  base::FilePath other_;
  FileIdentity target_identity_;
};

TEST_F(FileIdentityTest, SameFileThroughAnyPath) {
  const base::FilePath short_path = ShortPath(target_);
  ASSERT_FALSE(short_path.empty());
  ASSERT_NE(short_path, target_);
  FileIdentity identity;
  ASSERT_TRUE(GetFileInfo(short_path, &identity));
  EXPECT_EQ(target_identity_, identity);
  ASSERT_TRUE(GetFileInfo(UpperCase(target_), &identity));
  EXPECT_EQ(target_identity_, identity);

  ASSERT_TRUE(GetFileInfo(other_, &identity));
  EXPECT_NE(target_identity_, identity);
  FileIdentity folder;
  ASSERT_TRUE(GetFileInfo(temp_dir_.GetPath(), &folder));
  EXPECT_NE(target_identity_, folder);
  EXPECT_FALSE(GetFileInfo(temp_dir_.GetPath().Append(L"missing"), &identity));
}

TEST_F(FileIdentityTest, ShortcutPointsToTarget) {
  const base::FilePath direct = MakeShortcut(L"direct.lnk", target_);
  EXPECT_TRUE(IsShortcutTo(direct, target_, target_identity_));
  EXPECT_TRUE(IsShortcutTo(direct, UpperCase(target_), target_identity_));
  FileIdentity other_identity;
  ASSERT_TRUE(GetFileInfo(other_, &other_identity));
  EXPECT_FALSE(IsShortcutTo(direct, other_, other_identity));

  // Another path to the same file matches through the identity.
  const base::FilePath through_short_name = MakeShortcut(L"short.lnk", ShortPath(target_));
  EXPECT_TRUE(IsShortcutTo(through_short_name, target_, target_identity_));

  const base::FilePath to_other = MakeShortcut(L"other.lnk", other_);
  EXPECT_FALSE(IsShortcutTo(to_other, target_, target_identity_));

  const base::FilePath not_a_shortcut = temp_dir_.GetPath().Append(L"broken.lnk");
  ASSERT_EQ(4, base::WriteFileFromBuffer(not_a_shortcut, "junk", 4));
  EXPECT_FALSE(IsShortcutTo(not_a_shortcut, target_, target_identity_));
  EXPECT_FALSE(IsShortcutTo(temp_dir_.GetPath().Append(L"missing.lnk"), target_,
                            target_identity_));
}

// A folder named outside the ANSI code page (Polish and Chinese letters, a fullwidth
// quote): the shortcut to the launcher in it is still recognised, and one to another
// program in it is not.
TEST_F(FileIdentityTest, ShortcutIntoAFolderNamedOutsideTheCodePage) {
  const base::FilePath folder =
      temp_dir_.GetPath().Append(L"\u0141\u00F3d\u017A \u4E2D\u6587 a\uFF02b");
  ASSERT_TRUE(base::CreateDirectory(folder));
  const base::FilePath launcher = folder.Append(L"launcher.exe");
  const base::FilePath neighbour = folder.Append(L"neighbour.exe");
  ASSERT_EQ(1, base::WriteFileFromBuffer(launcher, "l", 1));
  ASSERT_EQ(1, base::WriteFileFromBuffer(neighbour, "n", 1));
  FileIdentity launcher_identity;
  ASSERT_TRUE(GetFileInfo(launcher, &launcher_identity));

  EXPECT_TRUE(IsShortcutTo(MakeShortcut(L"launcher.lnk", launcher), launcher, launcher_identity));
  EXPECT_TRUE(
      IsShortcutTo(MakeShortcut(L"launcher.lnk", launcher), UpperCase(launcher), launcher_identity));
  EXPECT_FALSE(
      IsShortcutTo(MakeShortcut(L"neighbour.lnk", neighbour), launcher, launcher_identity));
  EXPECT_FALSE(IsShortcutTo(MakeShortcut(L"other.lnk", other_), launcher, launcher_identity));
}

TEST_F(FileIdentityTest, TaskbarPinsFolderIsBelowTheUserPinnedFolder) {
  base::FilePath folder;
  ASSERT_TRUE(GetTaskbarPinsFolder(&folder));
  EXPECT_TRUE(folder.IsAbsolute()) << folder;
  EXPECT_TRUE(base::EndsWith(folder.value(), L"User Pinned\\TaskBar",
                             base::CompareCase::INSENSITIVE_ASCII))
      << folder;

  SetTaskbarPinsFolderForTesting(temp_dir_.GetPath());
  ASSERT_TRUE(GetTaskbarPinsFolder(&folder));
  EXPECT_EQ(temp_dir_.GetPath(), folder);
}

TEST_F(FileIdentityTest, FindsTheTaskbarPinsToTheTarget) {
  const base::FilePath pins_folder = temp_dir_.GetPath().Append(L"TaskBar");
  ASSERT_TRUE(base::CreateDirectory(pins_folder));
  SetTaskbarPinsFolderForTesting(pins_folder);

  const base::FilePath first = MakeShortcut(pins_folder.Append(L"Tavro.lnk"), target_);
  const base::FilePath second =
      MakeShortcut(pins_folder.Append(L"Tavro short name.lnk"), ShortPath(target_));
  MakeShortcut(pins_folder.Append(L"Other.lnk"), other_);
  // Shortcuts only: the same content under another extension is no pin.
  ASSERT_TRUE(base::CopySingleFile(first, pins_folder.Append(L"Tavro.lnkx")));
  ASSERT_TRUE(base::CopySingleFile(first, pins_folder.Append(L"Tavro.txt")));

  std::vector<base::FilePath> pins = {base::FilePath(L"kept")};
  FindTaskbarPins(target_, target_identity_, &pins);
  std::vector<base::FilePath> expected = {base::FilePath(L"kept"), first, second};
  std::sort(pins.begin(), pins.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, pins);

  SetTaskbarPinsFolderForTesting(temp_dir_.GetPath().Append(L"missing"));
  pins.clear();
  FindTaskbarPins(target_, target_identity_, &pins);
  EXPECT_TRUE(pins.empty());
}

}  // namespace
}  // namespace installer
