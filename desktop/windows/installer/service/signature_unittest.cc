#include "desktop/windows/installer/service/signature.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/executable_path.h"
#include "desktop/windows/installer/service/pe_image.h"
#include "desktop/windows/installer/service/product_config.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// The build signs copies of installer.exe next to the test program (see
// tools/make_test_signed_exe.sh): with the product configuration's expected signer, with
// another name, and a copy of the first with one byte changed after signing.
class SignatureTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base::win::GetExecutablePath(&test_program_));
    bin_ = test_program_.DirName();
    ASSERT_TRUE(base::PathExists(SignedByExpected())) << SignedByExpected();
  }

  base::FilePath SignedByExpected() const { return bin_.Append(L"signed_by_expected.exe"); }
  base::FilePath SignedByOther() const { return bin_.Append(L"signed_by_other.exe"); }
  base::FilePath Tampered() const { return bin_.Append(L"tampered.exe"); }

  base::FilePath test_program_;
  base::FilePath bin_;
};

TEST_F(SignatureTest, AcceptsOnlyTheExpectedSigner) {
  ASSERT_EQ(L"Tavro Software AS", ProductConfig::GetInstance().GetExpectedSigner());
  EXPECT_TRUE(VerifySigner(SignedByExpected()));
  EXPECT_TRUE(VerifySigner(SignedByExpected(), L"Tavro Software AS"));
  EXPECT_FALSE(VerifySigner(SignedByExpected(), L"tavro software as"));
  EXPECT_FALSE(VerifySigner(SignedByExpected(), L"Tavro Software"));
  EXPECT_FALSE(VerifySigner(SignedByExpected(), L""));

  EXPECT_FALSE(VerifySigner(SignedByOther()));
  EXPECT_TRUE(VerifySigner(SignedByOther(), L"Not The Expected Signer"));
}

TEST_F(SignatureTest, RejectsUnsignedTamperedAndMissingFiles) {
  EXPECT_FALSE(VerifySigner(test_program_));
  EXPECT_FALSE(VerifySigner(Tampered()));
  EXPECT_FALSE(VerifySigner(Tampered(), L"Tavro Software AS"));
  EXPECT_FALSE(VerifySigner(bin_.Append(L"no_such_file.exe")));
}

// A file swapped in between the verdict and the signer's name must not lend its name to
// the verdict of another: here a valid signature by another signer, then a broken one by
// the expected signer.
TEST_F(SignatureTest, VerdictAndSignerConcernTheSameFile) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath path = temp.GetPath().Append(L"component_installer.exe");
  const base::FilePath swap = temp.GetPath().Append(L"swap.exe");
  ASSERT_TRUE(base::CopySingleFile(SignedByOther(), path));
  ASSERT_TRUE(base::CopySingleFile(Tampered(), swap));

  SignatureCheck check(path);
  ASSERT_TRUE(check.Verify());
  // Held open by the check, the file can be neither overwritten nor replaced.
  EXPECT_FALSE(::CopyFileW(Tampered().value().c_str(), path.value().c_str(), FALSE));
  EXPECT_FALSE(::MoveFileExW(swap.value().c_str(), path.value().c_str(),
                             MOVEFILE_REPLACE_EXISTING));
  std::wstring signer;
  ASSERT_TRUE(check.GetSignerName(&signer));
  EXPECT_EQ(L"Not The Expected Signer", signer);

  // Only a verified signature has a signer.
  SignatureCheck tampered(Tampered());
  EXPECT_FALSE(tampered.GetSignerName(&signer));
  EXPECT_FALSE(tampered.Verify());
  EXPECT_FALSE(tampered.GetSignerName(&signer));
}

TEST_F(SignatureTest, SignedFilesCarryACertificateTable) {
  for (const base::FilePath& path : {SignedByExpected(), SignedByOther(), Tampered()}) {
    bool has_table = false;
    ASSERT_TRUE(HasCertificateTable(path, &has_table)) << path;
    EXPECT_TRUE(has_table) << path;
  }
}

}  // namespace
}  // namespace installer
