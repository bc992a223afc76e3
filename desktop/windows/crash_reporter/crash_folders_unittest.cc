#include "desktop/windows/crash_reporter/crash_folders.h"

#include <windows.h>
#include <ctype.h>

#include <memory>
#include <string>

#include "base/environment.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/path_registry.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_path_override.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/user_rights.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

constexpr char kCrashLogDirVariable[] = "TAVRO_CRASH_LOG_DIR";

class CrashFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    counts_.reset(new base::ScopedPathOverride(base::FILE_CRASH_COUNTS, File(L"Crash Counts")));
    preferences_.reset(
        new base::ScopedPathOverride(base::FILE_PREFERENCES, File(L"Preferences")));
  }
  void TearDown() override {
    environment_->UnSetVar(kCrashLogDirVariable);
    PrepareCrashFolders();
  }

  base::FilePath File(const wchar_t* name) const { return temp_dir_.GetPath().Append(name); }
  void SetCrashLogDir(const base::FilePath& folder) {
    ASSERT_TRUE(environment_->SetVar(kCrashLogDirVariable, folder.ToUtf8()));
  }

  base::ScopedTempDir temp_dir_;
  std::unique_ptr<base::Environment> environment_ = base::Environment::Create();
  std::unique_ptr<base::ScopedPathOverride> counts_;
  std::unique_ptr<base::ScopedPathOverride> preferences_;
};

TEST_F(CrashFoldersTest, NamesCarryProcessIdAndSequenceNumber) {
  std::string product = installer::ProductConfig::GetInstance().GetProductName();
  for (char& c : product)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  const unsigned long pid = ::GetCurrentProcessId();
  const uint32_t first = NextCrashSequenceNumber();
  const uint32_t second = NextCrashSequenceNumber();
  EXPECT_EQ(first + 1, second);
  EXPECT_EQ(base::StringPrintf("%s-crashlog-%lu-%u.txt", product.c_str(), pid, first),
            GetCrashTextLogName(first));
  EXPECT_EQ(base::StringPrintf("%s-crashlog-%lu-%u.txt", product.c_str(), pid, second),
            GetCrashTextLogName(second));
  EXPECT_EQ(base::StringPrintf("%s-crashlog-%lu-%u.dmp", product.c_str(), pid, second),
            GetCrashDumpName(second));
}

TEST_F(CrashFoldersTest, CustomFolderIsCreatedAndHoldsOneRecordPerCrash) {
  base::ScopedPathOverride record(base::FILE_CRASH_ID_RECORD, File(L"profile\\Crash ID.txt"));
  const base::FilePath folder = File(L"custom\\crashes");
  SetCrashLogDir(folder);
  ASSERT_TRUE(PrepareCrashFolders());
  EXPECT_TRUE(base::DirectoryExists(folder));
  EXPECT_EQ(folder, GetCrashLogFolder());
  EXPECT_TRUE(IsCustomCrashFolder());
  EXPECT_EQ(File(L"Crash Counts"), GetCrashCountsPath());
  EXPECT_EQ(File(L"Preferences"), GetPreferencesPath());
  EXPECT_EQ(folder.Append(base::WideStringPrintf(L"Crash ID-%lu-7.txt", ::GetCurrentProcessId())),
            GetCrashGuidRecordPath(7));
}

TEST_F(CrashFoldersTest, FolderThatCannotBeMadeFallsBackToTemp) {
  base::ScopedPathOverride record(base::FILE_CRASH_ID_RECORD, File(L"Crash ID.txt"));
  const base::FilePath blocker = File(L"blocker");
  ASSERT_EQ(1, base::WriteFileFromBuffer(blocker, "x", 1));
  SetCrashLogDir(blocker.Append(L"crashes"));
  ASSERT_TRUE(PrepareCrashFolders());
  base::FilePath temp;
  ASSERT_TRUE(base::GetTempDir(&temp));
  EXPECT_EQ(temp, GetCrashLogFolder());
  EXPECT_FALSE(IsCustomCrashFolder());
  EXPECT_EQ(File(L"Crash ID.txt"), GetCrashGuidRecordPath(3));
}

// Nothing in this system provides the record's path: no record is written, neither in a
// custom folder (where an empty name used to turn the folder itself into the record) nor
// elsewhere.
TEST_F(CrashFoldersTest, NoRecordPathWithoutAProvider) {
  base::FilePath unused;
  ASSERT_FALSE(base::PathRegistry::Get(base::FILE_CRASH_ID_RECORD, &unused));
  SetCrashLogDir(File(L"custom"));
  ASSERT_TRUE(PrepareCrashFolders());
  EXPECT_TRUE(IsCustomCrashFolder());
  EXPECT_TRUE(GetCrashGuidRecordPath(1).empty());

  environment_->UnSetVar(kCrashLogDirVariable);
  ASSERT_TRUE(PrepareCrashFolders());
  EXPECT_TRUE(GetCrashGuidRecordPath(1).empty());
}

// A process that takes the user's folders only through no link (under Wine every one: its
// token is elevated) makes a crash file anew rather than write through another name a user
// gave a file of theirs, and appends to no such file.
TEST_F(CrashFoldersTest, CrashFilesAreWrittenUnderNoOtherName) {
  if (!installer::IsProcessElevated())
    GTEST_SKIP() << "Only an elevated process refuses links";
  const base::FilePath folder = File(L"crashes");
  SetCrashLogDir(folder);
  ASSERT_TRUE(PrepareCrashFolders());
  const base::FilePath target = File(L"target.txt");
  ASSERT_EQ(1, base::WriteFileFromBuffer(target, "x", 1));
  const base::FilePath crash_log = folder.Append(base::AsciiToUtf16(GetCrashTextLogName(1)));
  ASSERT_TRUE(::CreateHardLinkW(crash_log.value().c_str(), target.value().c_str(), nullptr));

  EXPECT_FALSE(OpenCrashFile(crash_log, "a"));
  {
    base::ScopedFILE file = OpenCrashFile(crash_log, "w");
    ASSERT_TRUE(file);
    EXPECT_LE(0, fputs("crash", file.get()));
  }
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(target, &text));
  EXPECT_EQ("x", text);
  ASSERT_TRUE(base::ReadFileToString(crash_log, &text));
  EXPECT_EQ("crash", text);
}

}  // namespace
}  // namespace crash_reporter
