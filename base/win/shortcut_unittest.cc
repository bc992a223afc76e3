#include "base/win/shortcut.h"

#include <windows.h>

#include <objbase.h>

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// A temporary folder of its own (files only), with COM initialised for the test's thread.
class ShortcutTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, temp));
    static int counter = 0;
    folder_ = std::wstring(temp) + L"shortcut-test-" + std::to_wstring(::GetCurrentProcessId()) +
              L"-" + std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(++counter);
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
    target_ = InFolder(L"target.exe");
    WriteFile(target_);
  }

  void TearDown() override {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder_ + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          ::DeleteFileW((folder_ + L"\\" + data.cFileName).c_str());
      } while (::FindNextFileW(find, &data));
      ::FindClose(find);
    }
    ::RemoveDirectoryW(folder_.c_str());
    ::CoUninitialize();
  }

  FilePath InFolder(const wchar_t* name) const { return FilePath(folder_ + L"\\" + name); }

  static void WriteFile(const FilePath& path) {
    HANDLE file = ::CreateFileW(path.value().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ::CloseHandle(file);
  }

  static bool Exists(const FilePath& path) {
    return ::GetFileAttributesW(path.value().c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::wstring folder_;
  FilePath target_;
};

TEST_F(ShortcutTest, CreatesAndReadsBackAShortcut) {
  const FilePath shortcut = InFolder(L"Tavro.lnk");
  ShortcutProperties properties;
  properties.set_target(target_);
  properties.set_working_dir(FilePath(folder_));
  properties.set_arguments(L"--flag \"quoted value\"");
  properties.set_description(L"Tavro web browser");
  properties.set_icon(target_, 2);
  properties.set_app_id(L"TavroSoftware.TavroWebBrowser.test");
  ASSERT_TRUE(CreateOrUpdateShortcut(shortcut, properties, SHORTCUT_CREATE_ALWAYS));
  ASSERT_TRUE(Exists(shortcut));

  ShortcutProperties read;
  ASSERT_TRUE(ResolveShortcutProperties(shortcut, ShortcutProperties::PROPERTIES_ALL, &read));
  EXPECT_EQ(target_, read.target);
  EXPECT_EQ(FilePath(folder_), read.working_dir);
  EXPECT_EQ(L"--flag \"quoted value\"", read.arguments);
  EXPECT_EQ(L"Tavro web browser", read.description);
  EXPECT_EQ(target_, read.icon);
  EXPECT_EQ(2, read.icon_index);
  // Wine accepts the application id but does not store it; Windows stores it.
  if (read.options & ShortcutProperties::PROPERTIES_APP_ID)
    EXPECT_EQ(L"TavroSoftware.TavroWebBrowser.test", read.app_id);

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
  EXPECT_FALSE(Exists(shortcut));
  // A new shortcut needs a target.
  EXPECT_FALSE(CreateOrUpdateShortcut(shortcut, arguments_only, SHORTCUT_CREATE_ALWAYS));
  EXPECT_FALSE(Exists(shortcut));

  ShortcutProperties original;
  original.set_target(target_);
  original.set_working_dir(FilePath(folder_));
  original.set_arguments(L"--old");
  ASSERT_TRUE(CreateOrUpdateShortcut(shortcut, original, SHORTCUT_CREATE_ALWAYS));

  // Updating changes the given field and keeps the others.
  ASSERT_TRUE(CreateOrUpdateShortcut(shortcut, arguments_only, SHORTCUT_UPDATE_EXISTING));
  ShortcutProperties read;
  ASSERT_TRUE(ResolveShortcutProperties(shortcut, ShortcutProperties::PROPERTIES_ALL, &read));
  EXPECT_EQ(L"--new", read.arguments);
  EXPECT_EQ(target_, read.target);
  EXPECT_EQ(FilePath(folder_), read.working_dir);

  // Replacing drops what the new properties do not give.
  const FilePath other_target = InFolder(L"other.exe");
  WriteFile(other_target);
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
  DWORD major = 0;
  {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto rtl_get_version = reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    ASSERT_TRUE(rtl_get_version);
    ASSERT_EQ(0, rtl_get_version(&info));
    major = info.dwMajorVersion;
    if (major == 6)
      EXPECT_EQ(info.dwMinorVersion >= 1, CanPinToTaskbar());
  }
  if (major >= 10)
    EXPECT_FALSE(CanPinToTaskbar());

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
  EXPECT_FALSE(Exists(marker));
  EXPECT_TRUE(Exists(shortcut));
}

}  // namespace
}  // namespace win
}  // namespace base
