#include "desktop/windows/installer/owned_path.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/string_util.h"
#include "base/win/known_folder.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

base::FilePath GetKnownFolder(REFKNOWNFOLDERID id) {
  base::FilePath path;
  EXPECT_EQ(S_OK, base::win::GetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, &path));
  return path;
}

class OwnedPathTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    ASSERT_TRUE(NormalizePath(temp_dir_.GetPath(), &root_));
    install_ = root_.Append(L"Apps\\Tavro");
    ASSERT_TRUE(base::CreateDirectory(install_.Append(L"7.4")));
  }
  base::ScopedTempDir temp_dir_;
  base::FilePath root_;
  base::FilePath install_;
};

// Every spelling of a folder comes to the same path; what climbs out of it is outside.
TEST_F(OwnedPathTest, SpellingsOfOnePathAreOnePath) {
  wchar_t short_path[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetShortPathNameW(install_.Append(L"7.4").value().c_str(), short_path, MAX_PATH));
  const std::wstring spellings[] = {
      install_.value() + L"\\.",
      install_.value() + L"\\7.4\\..",
      install_.value() + L"\\\\",
      base::ToUpperAscii(install_.value()),
      base::FilePath(short_path).DirName().value(),
  };
  for (const std::wstring& spelling : spellings) {
    base::FilePath normalized;
    ASSERT_TRUE(NormalizePath(base::FilePath(spelling), &normalized)) << spelling;
    EXPECT_TRUE(IsSamePath(base::FilePath(spelling), install_)) << spelling;
    EXPECT_TRUE(IsPathInside(base::FilePath(spelling).Append(L"missing\\x.dll"), install_))
        << spelling;
  }
  // The system drops trailing dots and blanks of the last component.
  EXPECT_TRUE(IsSamePath(base::FilePath(install_.value() + L". "), install_));
  base::FilePath normalized;
  EXPECT_TRUE(NormalizePath(install_.Append(L"7.4\\..\\.\\7.4\\"), &normalized));
  EXPECT_EQ(install_.Append(L"7.4"), normalized);
  EXPECT_FALSE(NormalizePath(base::FilePath(L"Apps\\Tavro"), &normalized));
  EXPECT_FALSE(NormalizePath(base::FilePath(), &normalized));

  EXPECT_FALSE(IsPathInside(install_, install_));
  EXPECT_FALSE(IsPathInside(install_.Append(L"..\\victim\\tavro.exe"), install_));
  EXPECT_FALSE(IsPathInside(install_.Append(L"7.4\\..\\..\\x"), install_));
  EXPECT_FALSE(IsPathInside(root_.Append(L"Apps\\Tavro2\\x"), install_));
  EXPECT_TRUE(IsPathInside(base::FilePath(base::ToUpperAscii(install_.Append(L"7.4\\x").value())),
                           install_));
}

// What a profile path read back may name: never a root, a folder of the system or the user
// or one that holds them, the install folder or one that holds it; a folder of its own may
// be below any of them.
TEST_F(OwnedPathTest, OnlyAFolderOfItsOwnIsAProfileToDelete) {
  const base::FilePath roaming = GetKnownFolder(FOLDERID_RoamingAppData);
  const base::FilePath local = GetKnownFolder(FOLDERID_LocalAppData);
  const ProductNaming& naming = ProductNaming::GetInstance();
  const base::FilePath refused[] = {
      base::FilePath(L"C:\\"),
      install_,
      install_.Append(L"7.4\\.."),
      install_.DirName(),
      roaming,
      base::FilePath(base::ToUpperAscii(roaming.value())),
      local,
      local.DirName(),
      GetKnownFolder(FOLDERID_Profile),
      GetKnownFolder(FOLDERID_Profile).DirName(),
      GetKnownFolder(FOLDERID_Documents),
      GetKnownFolder(FOLDERID_Desktop),
      GetKnownFolder(FOLDERID_ProgramFiles),
      GetKnownFolder(FOLDERID_Windows),
      roaming.Append(naming.GetCompanyName()),
      base::FilePath(L"relative\\profile"),
  };
  for (const base::FilePath& path : refused)
    EXPECT_NE("", GetProfileDeletionRefusal(path, install_)) << path;
  EXPECT_NE("", GetKeptFolderReason(root_.DirName()));

  const base::FilePath allowed[] = {
      install_.Append(L"profile"),
      roaming.Append(naming.GetCompanyName()).Append(naming.GetVisibleNameWithStream()),
      local.Append(naming.GetCompanyName()).Append(naming.GetVisibleNameWithStream()),
      root_.Append(L"Apps\\Profiles\\Mine"),
  };
  for (const base::FilePath& path : allowed)
    EXPECT_EQ("", GetProfileDeletionRefusal(path, install_)) << path;
}

}  // namespace
}  // namespace installer
