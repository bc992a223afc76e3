#include "desktop/windows/installer/service/named_objects.h"

#include <windows.h>

#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(NamedObjectsTest, NamespaceBaseNameAndFolder) {
  const base::FilePath folder(L"C:\\Program Files\\Tavro");
  EXPECT_EQ(L"Global\\TavroInstaller/PackageReady/C:/Program Files/Tavro",
            MakeObjectName(folder, L"TavroInstaller/PackageReady", true));
  EXPECT_EQ(L"Local\\TavroInstaller/GiveInstallPermission/Undo/C:/Program Files/Tavro",
            MakeObjectName(folder, L"TavroInstaller/GiveInstallPermission/Undo", false));
  EXPECT_EQ(L"Local\\Base///server/share/a/b/",
            MakeObjectName(base::FilePath(L"\\\\server\\share\\a/b\\"), L"Base", false));
  EXPECT_EQ(L"Global\\Base/", MakeObjectName(base::FilePath(), L"Base", true));
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
