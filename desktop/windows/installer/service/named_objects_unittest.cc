#include "desktop/windows/installer/service/named_objects.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(NamedObjectsTest, NamespaceBaseNameAndFolder) {
  const base::FilePath folder(L"C:\\Program Files\\Tavro");
  EXPECT_EQ(L"Global\\TavroInstaller/PackageReady/C:/PROGRAM FILES/TAVRO",
            MakeObjectName(folder, L"TavroInstaller/PackageReady", true));
  EXPECT_EQ(L"Local\\TavroInstaller/GiveInstallPermission/Undo/C:/PROGRAM FILES/TAVRO",
            MakeObjectName(folder, L"TavroInstaller/GiveInstallPermission/Undo", false));
  EXPECT_EQ(L"tavro_installer\\C:\\PROGRAM FILES\\TAVRO", MakeInstallerMailslotName(folder));
  EXPECT_EQ(L"Local\\Base///SERVER/SHARE/A/B",
            MakeObjectName(base::FilePath(L"\\\\server\\share\\a/b\\"), L"Base", false));
  EXPECT_EQ(L"Global\\Base/", MakeObjectName(base::FilePath(), L"Base", true));
}

TEST(NamedObjectsTest, EveryWayOfWritingAFolderGivesOneName) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  // An existing folder with a long name, and an install folder below it still to be made.
  const base::FilePath parent = temp.GetPath().Append(L"Long Folder Name \u00e9t\u00e9");
  ASSERT_TRUE(base::CreateDirectory(parent));
  wchar_t short_parent[MAX_PATH];
  const DWORD short_length = ::GetShortPathNameW(parent.value().c_str(), short_parent, MAX_PATH);
  ASSERT_TRUE(short_length > 0 && short_length < MAX_PATH);
  ASSERT_NE(parent.value(), short_parent);
  const base::FilePath folder = parent.Append(L"Tavro Browser");

  const std::wstring expected = MakeObjectName(folder, L"Tavro/Installer", true);
  EXPECT_TRUE(expected.starts_with(L"Global\\Tavro/Installer/")) << expected;
  EXPECT_TRUE(expected.ends_with(L"/LONG FOLDER NAME \u00c9T\u00c9/TAVRO BROWSER")) << expected;
  std::wstring upper_case = folder.value();
  ::CharUpperBuffW(&upper_case[0], static_cast<DWORD>(upper_case.size()));
  std::wstring slashes = folder.value();
  std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
  const std::wstring spellings[] = {
      upper_case,
      folder.value() + L"\\",
      folder.value() + L"\\\\",
      slashes,
      parent.Append(L"x\\..\\.\\tavro browser").value(),
      std::wstring(short_parent) + L"\\Tavro Browser",
  };
  for (const std::wstring& spelling : spellings) {
    EXPECT_EQ(expected, MakeObjectName(base::FilePath(spelling), L"Tavro/Installer", true))
        << spelling;
    EXPECT_EQ(MakeInstallerMailslotName(folder),
              MakeInstallerMailslotName(base::FilePath(spelling)))
        << spelling;
  }
  // Once the folder exists, its name stays the same, whatever its short name.
  ASSERT_TRUE(base::CreateDirectory(folder));
  wchar_t short_folder[MAX_PATH];
  const DWORD length = ::GetShortPathNameW(folder.value().c_str(), short_folder, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  EXPECT_EQ(expected, MakeObjectName(base::FilePath(short_folder), L"Tavro/Installer", true));
}

TEST(NamedObjectsTest, NamesAKernelObject) {
  const std::wstring name = MakeObjectName(
      base::FilePath(L"C:\\Tavro test " + std::to_wstring(::GetCurrentProcessId())),
      L"TavroInstaller/InstallationInterrupted", false);
  base::win::ScopedHandle created(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(created.IsValid());
  base::win::ScopedHandle opened(::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE,
                                              name.c_str()));
  ASSERT_TRUE(opened.IsValid());
  ASSERT_TRUE(::SetEvent(opened.Get()));
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(created.Get(), 0));
}

}  // namespace
}  // namespace installer
