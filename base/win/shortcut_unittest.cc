#include "base/win/shortcut.h"

#include <windows.h>

#include <objbase.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/windows_version.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// A temporary folder of its own, with COM initialised for the test's thread.
class ShortcutTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Succeeded());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    folder_ = temp_dir_.GetPath();
    target_ = InFolder(L"target.exe");
    CreateEmptyFile(target_);
  }

  FilePath InFolder(const wchar_t* name) const { return folder_.Append(name); }

  static void CreateEmptyFile(const FilePath& path) {
    ASSERT_EQ(0, WriteFileFromBuffer(path, "", 0));
  }

  ScopedComInitializer com_;
  ScopedTempDir temp_dir_;
  FilePath folder_;
  FilePath target_;
};

TEST_F(ShortcutTest, CreatesAndReadsBackAShortcut) {
  const FilePath shortcut = InFolder(L"Tavro.lnk");
  ShortcutProperties properties;
  properties.set_target(target_);
  properties.set_working_dir(folder_);
  properties.set_arguments(L"--flag \"quoted value\"");
  properties.set_description(L"Tavro web browser");
  properties.set_icon(target_, 2);
  properties.set_app_id(L"TavroSoftware.TavroWebBrowser.test");
  ASSERT_TRUE(CreateOrUpdateShortcut(shortcut, properties, SHORTCUT_CREATE_ALWAYS));
  ASSERT_TRUE(PathExists(shortcut));

  ShortcutProperties read;
  ASSERT_TRUE(ResolveShortcutProperties(shortcut, ShortcutProperties::PROPERTIES_ALL, &read));
  EXPECT_EQ(target_, read.target);
  EXPECT_EQ(folder_, read.working_dir);
  EXPECT_EQ(L"--flag \"quoted value\"", read.arguments);
  EXPECT_EQ(L"Tavro web browser", read.description);
  EXPECT_EQ(target_, read.icon);
  EXPECT_EQ(2, read.icon_index);
  // Wine accepts the application id but does not store it; Windows stores it.
  if (read.options & ShortcutProperties::PROPERTIES_APP_ID) {
    EXPECT_EQ(L"TavroSoftware.TavroWebBrowser.test", read.app_id);
  }

  FilePath target;
  std::wstring arguments;
  ASSERT_TRUE(ResolveShortcut(shortcut, &target, &arguments));
  EXPECT_EQ(target_, target);
  EXPECT_EQ(L"--flag \"quoted value\"", arguments);
  EXPECT_TRUE(ResolveShortcut(shortcut, nullptr, nullptr));

  // Creating again starts from scratch: fields not given are gone.
  ShortcutProperties bare;
  bare.set_target(target_);
  ASSERT_TRUE(CreateOrUpdateShortcut(shortcut, bare, SHORTCUT_CREATE_ALWAYS));
  ASSERT_TRUE(ResolveShortcut(shortcut, &target, &arguments));
  EXPECT_EQ(L"", arguments);
}

TEST_F(ShortcutTest, UpdateAndReplaceNeedAnExistingShortcut) {
  const FilePath shortcut = InFolder(L"Update.lnk");
  ShortcutProperties arguments_only;
  arguments_only.set_arguments(L"--new");
  EXPECT_FALSE(CreateOrUpdateShortcut(shortcut, arguments_only, SHORTCUT_UPDATE_EXISTING));
  ShortcutProperties with_target;
  with_target.set_target(target_);
  EXPECT_FALSE(CreateOrUpdateShortcut(shortcut, with_target, SHORTCUT_REPLACE_EXISTING));
  EXPECT_FALSE(PathExists(shortcut));
  // A new shortcut needs a target.
  EXPECT_FALSE(CreateOrUpdateShortcut(shortcut, arguments_only, SHORTCUT_CREATE_ALWAYS));
  EXPECT_FALSE(PathExists(shortcut));

  ShortcutProperties original;
  original.set_target(target_);
  original.set_working_dir(folder_);
  original.set_arguments(L"--old");
  ASSERT_TRUE(CreateOrUpdateShortcut(shortcut, original, SHORTCUT_CREATE_ALWAYS));

  // Updating changes the given field and keeps the others.
  ASSERT_TRUE(CreateOrUpdateShortcut(shortcut, arguments_only, SHORTCUT_UPDATE_EXISTING));
  ShortcutProperties read;
  ASSERT_TRUE(ResolveShortcutProperties(shortcut, ShortcutProperties::PROPERTIES_ALL, &read));
  EXPECT_EQ(L"--new", read.arguments);
  EXPECT_EQ(target_, read.target);
  EXPECT_EQ(folder_, read.working_dir);

  // Replacing drops what the new properties do not give.
  const FilePath other_target = InFolder(L"other.exe");
  CreateEmptyFile(other_target);
  ShortcutProperties replacement;
  replacement.set_target(other_target);
  ASSERT_TRUE(CreateOrUpdateShortcut(shortcut, replacement, SHORTCUT_REPLACE_EXISTING));
  ASSERT_TRUE(ResolveShortcutProperties(shortcut, ShortcutProperties::PROPERTIES_ALL, &read));
  EXPECT_EQ(other_target, read.target);
  EXPECT_EQ(L"", read.arguments);
  EXPECT_TRUE(read.working_dir.empty());

  // Neither a missing file nor a non-shortcut file resolves.
  EXPECT_FALSE(ResolveShortcut(InFolder(L"missing.lnk"), nullptr, nullptr));
  EXPECT_FALSE(ResolveShortcut(target_, nullptr, nullptr));
}

// Wine has no "taskbarpin" or "taskbarunpin" verb: the shell reports failure (and does not
// fall back to opening the shortcut's target).
TEST_F(ShortcutTest, PinningFailsWithoutTheShellVerbs) {
  const OsInfo::VersionNumber version = OsInfo::GetInstance()->version_number();
  // Windows 7 (6.1) to 8.1 (6.3).
  EXPECT_EQ(version.major == 6 && version.minor >= 1, CanPinToTaskbar());

  wchar_t system[MAX_PATH];
  ASSERT_NE(0u, ::GetSystemDirectoryW(system, MAX_PATH));
  const FilePath marker = InFolder(L"launched.txt");
  const FilePath shortcut = InFolder(L"Pin.lnk");
  ShortcutProperties properties;
  properties.set_target(FilePath(std::wstring(system) + L"\\cmd.exe"));
  properties.set_arguments(L"/c echo launched> \"" + marker.value() + L"\"");
  ASSERT_TRUE(CreateOrUpdateShortcut(shortcut, properties, SHORTCUT_CREATE_ALWAYS));

  EXPECT_FALSE(PinToTaskbar(shortcut));
  EXPECT_FALSE(UnpinFromTaskbar(shortcut));
  EXPECT_FALSE(PinToTaskbar(InFolder(L"missing.lnk")));
  ::Sleep(300);
  EXPECT_FALSE(PathExists(marker));
  EXPECT_TRUE(PathExists(shortcut));
}

}  // namespace
}  // namespace win
}  // namespace base
