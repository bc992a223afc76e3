#include "desktop/windows/installer/download_folder_claim.h"

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using DownloadFolderClaimTest = test::TempFolderTest;

TEST_F(DownloadFolderClaimTest, TheFirstFrontEndRemovesWhatKilledOnesLeftAndNothingElse) {
  Write(L"tavro_installer_20260102030405.exe", "half a download");
  Write(L"tavro_installer_20260102030405.7z", "archive");
  Write(L"tavro_installer_20260102030405\\installer.exe", "unpacked");
  Write(L"suite_20260102030405\\suite_installer.exe", "component");
  Write(L"additional_file.tmp", "partner content");
  // The same with the process ids that keep runs of one second apart.
  Write(L"tavro_installer_20260102030405_772.exe", "half a download");
  Write(L"tavro_installer_20260102030405_772.7z", "archive");
  Write(L"tavro_installer_20260102030405_772\\installer.exe", "unpacked");
  Write(L"suite_20260102030405_772\\suite_installer.exe", "component");
  Write(L"additional_file_772.tmp", "partner content");
  // The logs, and what is not the fetcher's.
  Write(L"tavro_installer_20260102030405.log", "log");
  Write(L"tavro_installer_2026010203040.exe", "a name of another length");
  Write(L"tavro_installer_20260102030405_.exe", "no process id");
  Write(L"additional_file_.tmp", "no process id");
  Write(L"notes.txt", "the user's");
  const std::vector<std::wstring> kept = {
      L"additional_file_.tmp", L"notes.txt", L"tavro_installer_2026010203040.exe",
      L"tavro_installer_20260102030405.log", L"tavro_installer_20260102030405_.exe"};

  const DownloadFolderClaim first(temp_.GetPath());
  EXPECT_EQ(kept, test::ListPaths(Snapshot()));

  // While a front end runs, a second one leaves the folder to it.
  Write(L"tavro_installer_20260102030406.exe", "the first front end's download");
  const DownloadFolderClaim second(temp_.GetPath());
  EXPECT_TRUE(base::PathExists(Path(L"tavro_installer_20260102030406.exe")));
}

}  // namespace
}  // namespace installer
