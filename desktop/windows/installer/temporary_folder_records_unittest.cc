#include "desktop/windows/installer/temporary_folder_records.h"

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/folder_link.h"
#include "base/win/executable_path.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "desktop/windows/installer/staging_folder.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

// The records of the temporary folders: name -> "<process id>,<creation time>".
std::map<std::wstring, std::wstring> ReadRecords() {
  std::map<std::wstring, std::wstring> records;
  base::win::RegistryKey key(HKEY_LOCAL_MACHINE, GetTemporaryFoldersRegistryKey().c_str(),
                             KEY_READ | kView);
  const std::wstring path = GetTemporaryFoldersRegistryKey();
  for (base::win::RegistryValueIterator it(HKEY_LOCAL_MACHINE, path.c_str(), kView); it.Valid();
       ++it) {
    std::wstring data;
    key.ReadValue(it.Name().c_str(), &data);
    records[it.Name()] = data;
  }
  return records;
}

void WriteRecord(const std::wstring& name, const std::wstring& maker) {
  base::win::RegistryKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, GetTemporaryFoldersRegistryKey().c_str(),
                                      KEY_SET_VALUE | kView));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(name.c_str(), maker));
}

// Makes |folder| with one file in it.
bool MakeFolderWithFile(const base::FilePath& folder) {
  return base::CreateDirectory(folder) && test::WriteTestFile(folder.Append(L"kept"), "kept");
}

std::wstring RandomDigits() {
  return base::AsciiToUtf16(base::Uint64ToString(base::RandUint64()));
}

// Runs in a copy of this program: an elevated process that makes its staging folder, puts
// a copy in it and is then ended from outside before it can remove it.
TEST(TemporaryFolderRecordsChildTest, DISABLED_MakeStagingFolderAndStay) {
  StagingFolder staging;
  ASSERT_TRUE(staging.Create());
  ASSERT_TRUE(test::WriteTestFile(staging.path().Append(L"files_list"), "copied"));
  ::Sleep(60000);
}

// A run of the child above, ended with TerminateProcess when it goes.
class StagingChild {
 public:
  StagingChild() = default;
  StagingChild(const StagingChild&) = delete;
  StagingChild& operator=(const StagingChild&) = delete;
  ~StagingChild() { End(); }

  // Starts the child and waits until its staging folder is recorded and filled.
  bool Start() {
    base::FilePath self;
    if (!base::win::GetExecutablePath(&self))
      return false;
    base::LaunchOptions options;
    options.start_hidden = true;
    process_ = base::LaunchProcess(
        L"\"" + self.value() +
            L"\" --gtest_also_run_disabled_tests "
            L"--gtest_filter=TemporaryFolderRecordsChildTest.DISABLED_MakeStagingFolderAndStay",
        options);
    if (!process_.IsValid())
      return false;
    const std::wstring maker_prefix = base::UintToWideString(process_.Pid()) + L",";
    return test::PollUntil(
        [&] {
          for (const auto& [name, maker] : ReadRecords()) {
            if (maker.starts_with(maker_prefix) &&
                base::PathExists(SystemTempFolder().Append(name).Append(L"files_list"))) {
              folder_ = SystemTempFolder().Append(name);
              maker_ = maker;
              return true;
            }
          }
          return false;
        },
        base::TimeDelta::FromSeconds(30));
  }

  // Ends the child as Windows ends a process; whether it has ended.
  bool End() {
    if (!process_.IsValid())
      return true;
    DWORD exit_code = 0;
    const bool ended = ::TerminateProcess(process_.Handle(), 1) &&
                       process_.WaitForExitWithTimeout(10000, &exit_code);
    process_.Close();
    return ended;
  }

  const base::FilePath& folder() const { return folder_; }
  // Its record's data.
  const std::wstring& maker() const { return maker_; }

 private:
  base::Process process_;
  base::FilePath folder_;
  std::wstring maker_;
};

// A killed process's staging folder goes when the next elevated run makes its own, and
// nothing else does: not the folder of a process still running, not an unrecorded folder
// of a look-alike name, not what records lead to outside the system's temporary folder,
// not what a link in place of a recorded folder leads to.
TEST(TemporaryFolderRecordsTest, NextRunRemovesOnlyTheFoldersOfEndedProcesses) {
  const base::FilePath temp_folder = SystemTempFolder();
  base::ScopedTempDir outside;
  ASSERT_TRUE(outside.CreateUniqueTempDir());
  // This process runs on: its folder stays.
  base::FilePath live;
  ASSERT_TRUE(CreateRecordedTemporaryFolder(kPinFolderPrefix, Readers::kAdminsOnly, &live));
  ASSERT_TRUE(test::WriteTestFile(live.Append(L"explorer.exe"), "helper"));
  const std::set<base::FilePath> folders_before = test::ListSystemTempFolders(L"tavro_*");

  StagingChild killed;
  ASSERT_TRUE(killed.Start()) << "The child recorded no staging folder";
  ASSERT_TRUE(killed.End());

  // Records of the ended process that lead elsewhere, a record of a folder already gone, and
  // a folder of a look-alike name that nobody recorded.
  const base::FilePath windows_folder = temp_folder.DirName();
  const std::wstring escaping = L"tavro_staging_" + RandomDigits();
  ASSERT_TRUE(MakeFolderWithFile(windows_folder.Append(escaping)));
  ASSERT_TRUE(MakeFolderWithFile(outside.GetPath().Append(L"tavro_staging_1")));
  ASSERT_TRUE(MakeFolderWithFile(outside.GetPath().Append(L"target")));
  const std::wstring look_alike = L"tavro_staging_" + RandomDigits();
  ASSERT_TRUE(MakeFolderWithFile(temp_folder.Append(look_alike)));
  WriteRecord(L"..\\" + escaping, killed.maker());
  WriteRecord(outside.GetPath().Append(L"tavro_staging_1").value(), killed.maker());
  WriteRecord(L"tavro_cleanup_" + RandomDigits(), killed.maker());
  WriteRecord(L"tavro_pin_12x", killed.maker());
  base::test::ScopedFolderLink link;
  const std::wstring linked = L"tavro_staging_" + RandomDigits();
  const bool has_link =
      link.Make(temp_folder.Append(linked), outside.GetPath().Append(L"target"));
  if (has_link)
    WriteRecord(linked, killed.maker());
  const test::FileSnapshot outside_before = test::TakeFileSnapshot(outside.GetPath());

  StagingChild next;
  ASSERT_TRUE(next.Start());

  EXPECT_FALSE(base::PathExists(killed.folder()));
  std::set<base::FilePath> expected = folders_before;
  expected.insert({temp_folder.Append(look_alike), next.folder()});
  if (has_link)
    expected.insert(temp_folder.Append(linked));
  EXPECT_EQ(expected, test::ListSystemTempFolders(L"tavro_*"));
  EXPECT_TRUE(base::PathExists(live.Append(L"explorer.exe")));
  EXPECT_TRUE(base::PathExists(windows_folder.Append(escaping).Append(L"kept")));
  EXPECT_EQ(outside_before, test::TakeFileSnapshot(outside.GetPath()));
  // Only the records of the running processes are left.
  std::set<std::wstring> recorded;
  for (const auto& [name, maker] : ReadRecords())
    recorded.insert(name);
  EXPECT_EQ((std::set<std::wstring>{live.BaseName().value(), next.folder().BaseName().value()}),
            recorded);

  // Once the next run is ended too, a sweep takes its folder and record.
  ASSERT_TRUE(next.End());
  SweepTemporaryFolders();
  EXPECT_FALSE(base::PathExists(next.folder()));
  EXPECT_TRUE(base::DeletePath(windows_folder.Append(escaping), true));
  EXPECT_TRUE(base::DeletePath(temp_folder.Append(look_alike), true));
  EXPECT_TRUE(base::DeletePath(live, true));
  ForgetTemporaryFolder(live);
  EXPECT_FALSE(base::win::RegistryKey(HKEY_LOCAL_MACHINE,
                                      GetTemporaryFoldersRegistryKey().c_str(), KEY_READ | kView)
                   .Valid());
}

}  // namespace
}  // namespace installer
