#include "desktop/windows/installer/download_folder_claim.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/installer_paths.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using DownloadFolderClaimTest = test::TempFolderTest;

TEST_F(DownloadFolderClaimTest, TheFirstFrontEndRemovesWhatKilledOnesLeftAndNothingElse) {
  // A process that has ended, held so that its id is not given to another one.
  wchar_t command[] = L"cmd.exe";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &started));
  const base::win::ScopedHandle ended(started.hProcess);
  const base::win::ScopedHandle ended_thread(started.hThread);
  ASSERT_TRUE(::TerminateProcess(ended.Get(), 1));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ended.Get(), 60000));
  const std::wstring ended_id = std::to_wstring(started.dwProcessId);
  const std::wstring ended_probe = L"installer_probe_20260102030405_" + ended_id + L".exe";
  // What this process, which runs, would name its probe copy.
  const std::wstring running_probe = MakeRunExecutableName(kProbeCopyBaseName);

  Write(L"tavro_installer_20260102030405.exe", "half a download");
  Write(L"tavro_installer_20260102030405.7z", "archive");
  Write(L"tavro_installer_20260102030405\\installer.exe", "unpacked");
  Write(L"suite_20260102030405\\suite_installer.exe", "component");
  Write(L"additional_file.tmp", "partner content");
  // The same with the process ids that keep runs of one second apart, and the copy that
  // tried the folder.
  Write((L"tavro_installer_20260102030405_" + ended_id + L".exe").c_str(), "half a download");
  Write((L"tavro_installer_20260102030405_" + ended_id + L".7z").c_str(), "archive");
  Write((L"tavro_installer_20260102030405_" + ended_id + L"\\installer.exe").c_str(),
        "unpacked");
  Write((L"suite_20260102030405_" + ended_id + L"\\suite_installer.exe").c_str(),
        "component");
  Write((L"additional_file_" + ended_id + L".tmp").c_str(), "partner content");
  Write(ended_probe.c_str(), "probe");
  // The logs, what is not the runs', and what a front end that still runs has there.
  Write(L"tavro_installer_20260102030405.log", "log");
  Write(L"tavro_installer_2026010203040.exe", "a name of another length");
  Write(L"tavro_installer_20260102030405_.exe", "no process id");
  Write(L"additional_file_.tmp", "no process id");
  Write(L"installer_probe_20260102030405.exe", "no process id");
  Write(L"notes.txt", "the user's");
  Write(running_probe.c_str(), "a starting front end's");
  std::vector<std::wstring> kept = {L"additional_file_.tmp",
                                    L"installer_probe_20260102030405.exe",
                                    running_probe,
                                    L"notes.txt",
                                    L"tavro_installer_2026010203040.exe",
                                    L"tavro_installer_20260102030405.log",
                                    L"tavro_installer_20260102030405_.exe"};

  const DownloadFolderClaim first(temp_.GetPath());
  EXPECT_EQ(kept, test::ListPaths(Snapshot()));

  // While a front end runs, a second one leaves the folder to it.
  Write(L"tavro_installer_20260102030406.exe", "the first front end's download");
  const DownloadFolderClaim second(temp_.GetPath());
  EXPECT_TRUE(base::PathExists(Path(L"tavro_installer_20260102030406.exe")));
}

}  // namespace
}  // namespace installer
