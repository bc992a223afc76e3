#include "desktop/windows/installer/download_folder_claim.h"

#include <windows.h>
#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/stringprintf.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/installer_paths.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using DownloadFolderClaimTest = test::TempFolderTest;

// A process that does nothing until it is ended (at the latest with the object): a
// suspended cmd.
struct ChildProcess {
  base::win::ScopedHandle process;
  base::win::ScopedHandle thread;
  DWORD id = 0;

  ~ChildProcess() {
    if (process.IsValid())
      ::TerminateProcess(process.Get(), 1);
  }
  bool Start() {
    wchar_t command[] = L"cmd.exe";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &started)) {
      return false;
    }
    process.Set(started.hProcess);
    thread.Set(started.hThread);
    id = started.dwProcessId;
    return true;
  }
  // Ends it as Windows ends a process; the handle kept, its id is not given to another.
  bool End() {
    return ::TerminateProcess(process.Get(), 1) &&
           ::WaitForSingleObject(process.Get(), 60000) == WAIT_OBJECT_0;
  }
  // "<id>-<creation time>" as a run's names carry it, the time moved by |offset|.
  std::wstring OwnerText(int64_t offset = 0) const {
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    EXPECT_TRUE(::GetProcessTimes(process.Get(), &created, &exited, &kernel, &user));
    const uint64_t time =
        ((static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime) + offset;
    return base::WideStringPrintf(L"%lu-%016llx", id, static_cast<unsigned long long>(time));
  }
};

TEST_F(DownloadFolderClaimTest, TheFirstFrontEndRemovesWhatKilledOnesLeftAndNothingElse) {
  ChildProcess ended;
  ASSERT_TRUE(ended.Start());
  ASSERT_TRUE(ended.End());
  const std::wstring ended_id = std::to_wstring(ended.id);
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

// A process id is given again once its process has ended: a name's id alone does not tell
// whose it is. Names that also hold the creation time are removed unless that very process
// runs; what does not parse stays, and an id alone (older installers' names) is judged as
// before, by whether a process of that id runs.
TEST_F(DownloadFolderClaimTest, ALeftoverStaysOnlyWhileTheProcessOfItsIdAndCreationTimeRuns) {
  ChildProcess ended;
  ASSERT_TRUE(ended.Start());
  ASSERT_TRUE(ended.End());
  ChildProcess running;
  ASSERT_TRUE(running.Start());
  const std::wstring running_id = std::to_wstring(running.id);
  const std::wstring running_owner = running.OwnerText();

  Write((L"tavro_installer_20260102030405_" + ended.OwnerText() + L".exe").c_str(), "ended");
  // The id of a process that runs, with the creation time of an earlier one that had it.
  Write((L"tavro_installer_20260102030405_" + running.OwnerText(-1) + L"\\installer.exe").c_str(),
        "unpacked by the earlier process");
  Write((L"additional_file_" + running.OwnerText(-10000000) + L".tmp").c_str(), "earlier");
  Write((L"installer_probe_20260102030405_" + running.OwnerText(1) + L".exe").c_str(), "other");
  // What the process that runs has there, older installers' names with its id alone, and
  // owners that do not parse.
  std::vector<std::wstring> kept = {
      L"additional_file_" + running_id + L".tmp",
      L"suite_20260102030405_" + running_owner,
      L"tavro_installer_20260102030405_" + running_id + L"-0123456789ABCDEF.exe",
      L"tavro_installer_20260102030405_" + running_id + L"-0123456789abcde.exe",
      L"tavro_installer_20260102030405_" + running_id + L"-0123456789abcdef0.exe",
      L"tavro_installer_20260102030405_" + running_id + L"-.exe",
      L"tavro_installer_20260102030405_" + running_owner + L".7z",
      L"tavro_installer_20260102030405_" + running_owner + L".exe",
  };
  for (const std::wstring& name : kept)
    Write(name.c_str(), "kept");
  std::sort(kept.begin(), kept.end());

  const DownloadFolderClaim claim(temp_.GetPath());
  EXPECT_EQ(kept, test::ListPaths(Snapshot()));
}

}  // namespace
}  // namespace installer
