#include "desktop/windows/installer/package_fetcher/checksum_checker.h"

#include <windows.h>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "base/test/scoped_log_capture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// SHA-256 of "abc": its bytes 0x01, 0x03 and 0x00 must come out as two digits each.
constexpr char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class ChecksumCheckerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }

  base::FilePath Write(const wchar_t* name, const std::string& contents) {
    const base::FilePath path = temp_dir_.GetPath().Append(name);
    EXPECT_EQ(static_cast<int>(contents.size()),
              base::WriteFileFromBuffer(path, contents.data(), static_cast<int>(contents.size())));
    return path;
  }

  base::ScopedTempDir temp_dir_;
  base::test::ScopedLogCapture log_;
};

TEST_F(ChecksumCheckerTest, ComparesLowerCaseHexExactly) {
  const base::FilePath file = Write(L"abc.bin", "abc");
  EXPECT_TRUE(VerifyChecksum(file, kAbc));
  std::string upper = kAbc;
  for (char& c : upper)
    c = static_cast<char>(toupper(c));
  EXPECT_FALSE(VerifyChecksum(file, upper));
  EXPECT_FALSE(VerifyChecksum(file, std::string(kAbc).substr(0, 63)));
  EXPECT_FALSE(VerifyChecksum(file, std::string(kAbc) + "0"));
  EXPECT_FALSE(VerifyChecksum(file, ""));
  EXPECT_FALSE(log_.LoggedPrefix(logging::LOG_ERROR, "Unable to read "));
}

TEST_F(ChecksumCheckerTest, UnreadableFilesFail) {
  const base::FilePath missing = temp_dir_.GetPath().Append(L"missing.bin");
  EXPECT_FALSE(VerifyChecksum(missing, kAbc));
  EXPECT_TRUE(log_.Logged(logging::LOG_ERROR, "Unable to read " + missing.ToUtf8()));

  const base::FilePath empty = Write(L"empty.bin", "");
  EXPECT_FALSE(
      VerifyChecksum(empty, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
  EXPECT_TRUE(log_.Logged(logging::LOG_ERROR, "Unable to read " + empty.ToUtf8()));

  // Held open by someone who shares nothing.
  const base::FilePath locked = Write(L"locked.bin", "abc");
  base::win::ScopedHandle holder(
      ::CreateFileW(locked.value().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.IsValid());
  EXPECT_FALSE(VerifyChecksum(locked, kAbc));
  EXPECT_TRUE(log_.Logged(logging::LOG_ERROR, "Unable to read " + locked.ToUtf8()));
}

}  // namespace
}  // namespace installer
