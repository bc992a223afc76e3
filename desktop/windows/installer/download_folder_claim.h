#ifndef DESKTOP_WINDOWS_INSTALLER_DOWNLOAD_FOLDER_CLAIM_H_
#define DESKTOP_WINDOWS_INSTALLER_DOWNLOAD_FOLDER_CLAIM_H_

#include <windows.h>

#include <string_view>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace installer {

// A front end's share of its download folder, which every front end of the user's session
// uses: what a front end that was killed left there (a downloaded or half-downloaded
// package, its unpacked folder, a component's files, the copy that tried the folder) no run
// removes, since each run names its own files by the time it started. The first front end
// to claim a folder that no running front end holds removes what lies there of the runs'
// files, but for those of a process that still runs (one that has not claimed the folder
// yet); the others wait until it is done. The installers' logs stay.
class DownloadFolderClaim {
 public:
  explicit DownloadFolderClaim(const base::FilePath& folder);
  ~DownloadFolderClaim();

  DownloadFolderClaim(const DownloadFolderClaim&) = delete;
  DownloadFolderClaim& operator=(const DownloadFolderClaim&) = delete;

  // Whether |name| (a name in the download folder) is one a run gives its files there: the
  // package fetcher's "tavro_installer_" or "suite_", fourteen digits and, from newer
  // installers, "_" and the process id, alone (an unpacked folder) or with ".exe" or ".7z";
  // "additional_file.tmp" or "additional_file_<process id>.tmp"; and the folder probe's
  // "installer_probe_", fourteen digits, "_", the process id and ".exe". |process_id|
  // (may be null) receives the id the name holds, 0 when it holds none.
  static bool IsRunFileName(std::wstring_view name, DWORD* process_id);

 private:
  // Held, not owned, while the process lives: it tells other front ends that one runs.
  base::win::ScopedHandle claim_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_DOWNLOAD_FOLDER_CLAIM_H_
