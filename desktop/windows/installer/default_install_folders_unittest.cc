#include "desktop/windows/installer/default_install_folders.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/test/scoped_registry_override.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class DefaultInstallFoldersTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registry_.IsValid());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
  }

  void WriteLastPath(const std::wstring& name, const std::wstring& value) {
    base::win::RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(HKEY_CURRENT_USER, GetCompanyRegistryKey().c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(name.c_str(), value));
  }
  void Register(HKEY root,
                REGSAM view,
                const std::wstring& key_name,
                const std::wstring& publisher,
                const std::wstring& display_name) {
    base::win::RegistryKey key;
    const std::wstring path = GetUninstallRegistryKey() + L"\\" + key_name;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(root, path.c_str(), KEY_SET_VALUE | view));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"Publisher", publisher));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"DisplayName", display_name));
  }

  test::ScopedRegistryOverride registry_;
  base::ScopedTempDir temp_dir_;
};

TEST_F(DefaultInstallFoldersTest, LastInstallPathIsTheFirstReadableValueNamingAFolder) {
  EXPECT_TRUE(ReadLastInstallPath(INSTALLER_ARCH_X64).empty());  // Nothing remembered.

  ASSERT_EQ(STREAM_STABLE, GetCurrentStream());
  const base::FilePath oldest = temp_dir_.GetPath().Append(L"oldest");
  const base::FilePath standard = temp_dir_.GetPath().Append(L"standard");
  const base::FilePath legacy_x64 = temp_dir_.GetPath().Append(L"x64");
  for (const base::FilePath& folder : {oldest, standard, legacy_x64})
    ASSERT_TRUE(base::CreateDirectory(folder));

  WriteLastPath(L"Last install path", oldest.value());
  EXPECT_EQ(oldest, ReadLastInstallPath(INSTALLER_ARCH_X86));
  // Written with a trailing backslash by the installer.
  WriteLastPath(L"Last Stable Install Path", standard.value() + L"\\");
  EXPECT_EQ(standard, ReadLastInstallPath(INSTALLER_ARCH_X86));
  // Only an x64 installer reads the value of the older x64 builds, and first.
  WriteLastPath(L"Last Stable Install Path x64", legacy_x64.value());
  EXPECT_EQ(legacy_x64, ReadLastInstallPath(INSTALLER_ARCH_X64));
  EXPECT_EQ(standard, ReadLastInstallPath(INSTALLER_ARCH_X86));

  // A remembered folder that is gone, or a relative one, gives nothing: the default is
  // then the standard folder, not an older value.
  WriteLastPath(L"Last Stable Install Path", temp_dir_.GetPath().Append(L"gone").value());
  EXPECT_TRUE(ReadLastInstallPath(INSTALLER_ARCH_X86).empty());
  WriteLastPath(L"Last Stable Install Path", L"standard");
  EXPECT_TRUE(ReadLastInstallPath(INSTALLER_ARCH_X86).empty());
  // Existing folders named in a way the installer could not use as given are not taken
  // either: through "..", or too long for the names built from the install folder.
  WriteLastPath(L"Last Stable Install Path", standard.Append(L"..\\standard").value());
  EXPECT_TRUE(ReadLastInstallPath(INSTALLER_ARCH_X86).empty());
  base::FilePath deep = temp_dir_.GetPath();
  while (deep.value().size() < 220)
    deep = deep.Append(L"deep folder");
  ASSERT_TRUE(base::CreateDirectory(deep));
  WriteLastPath(L"Last Stable Install Path", deep.value());
  EXPECT_TRUE(ReadLastInstallPath(INSTALLER_ARCH_X86).empty());
}

TEST_F(DefaultInstallFoldersTest, StandaloneCandidatesPreferRemovableDrives) {
  auto candidate = [](const wchar_t* root, UINT drive_type) {
    return StandaloneCandidate{base::FilePath(std::wstring(root) + L"Tavro Stable"),
                               GetDriveTypePriority(drive_type)};
  };
  // A USB stick on E:, fixed disks on C: and D:, a CD-ROM on F:.
  std::vector<base::FilePath> folders = OrderStandaloneCandidates(
      {candidate(L"C:\\", DRIVE_FIXED), candidate(L"D:\\", DRIVE_FIXED),
       candidate(L"E:\\", DRIVE_REMOVABLE), candidate(L"F:\\", DRIVE_CDROM)});
  ASSERT_EQ(3u, folders.size());
  EXPECT_EQ(L"E:\\Tavro Stable", folders[0].value());
  EXPECT_EQ(L"C:\\Tavro Stable", folders[1].value());
  EXPECT_EQ(L"D:\\Tavro Stable", folders[2].value());

  // A CD-ROM or a drive of unknown type is offered only when it is the best there is.
  folders = OrderStandaloneCandidates(
      {candidate(L"F:\\", DRIVE_CDROM), candidate(L"G:\\", DRIVE_UNKNOWN)});
  ASSERT_EQ(1u, folders.size());
  EXPECT_EQ(L"F:\\Tavro Stable", folders[0].value());
  EXPECT_TRUE(OrderStandaloneCandidates({}).empty());

  // The machine's own drives: under Wine C: is a fixed disk that answers.
  const std::vector<StandaloneCandidate> found = FindStandaloneCandidates();
  bool has_c = false;
  for (const StandaloneCandidate& c : found) {
    if (c.folder.value() == L"C:\\" + GetDefaultInstallFolderName())
      has_c = c.priority == GetDriveTypePriority(DRIVE_FIXED);
  }
  EXPECT_TRUE(has_c);
}

TEST_F(DefaultInstallFoldersTest, CountsTheRegistrationsOfTheStream) {
  EXPECT_EQ(0, CountStreamRegistrations(STREAM_STABLE, 2));
  Register(HKEY_CURRENT_USER, 0, L"Tavro 7.4.3105.12", L"Tavro Software AS",
           L"Tavro Stable 7.4.3105.12");
  // Not ours, or not of this stream, or without a space after the stream word.
  Register(HKEY_CURRENT_USER, 0, L"Other 1.0", L"Tavro Software", L"Tavro Stable 1.0");
  Register(HKEY_CURRENT_USER, 0, L"Tavro other", L"Someone Else", L"Tavro Stable 1.0");
  Register(HKEY_CURRENT_USER, 0, L"Tavro next", L"Tavro Software", L"Tavro Next 7.5");
  Register(HKEY_CURRENT_USER, 0, L"Tavro bare", L"Tavro Software", L"Tavro Stable");
  EXPECT_EQ(1, CountStreamRegistrations(STREAM_STABLE, 2));
  EXPECT_EQ(1, CountStreamRegistrations(STREAM_NEXT, 2));
  EXPECT_EQ(0, CountStreamRegistrations(STREAM_DEVELOPER, 2));

  // A second one, for the machine.
  Register(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"Tavro 7.3", L"Tavro Software",
           L"Tavro Stable 7.3");
  EXPECT_EQ(2, CountStreamRegistrations(STREAM_STABLE, 2));
}

TEST(DefaultInstallFolderPathsTest, InsideFolderIgnoresCaseAndSeparators) {
  const base::FilePath program_files(L"C:\\Program Files (x86)\\");
  EXPECT_TRUE(IsInsideFolder(base::FilePath(L"c:/program files (X86)/Tavro"), program_files));
  EXPECT_FALSE(IsInsideFolder(program_files, program_files));
  EXPECT_FALSE(IsInsideFolder(base::FilePath(L"C:\\Program Files (x86)2\\T"), program_files));
}

}  // namespace
}  // namespace installer
