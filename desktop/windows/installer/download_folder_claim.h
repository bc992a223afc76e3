#ifndef DESKTOP_WINDOWS_INSTALLER_DOWNLOAD_FOLDER_CLAIM_H_
#define DESKTOP_WINDOWS_INSTALLER_DOWNLOAD_FOLDER_CLAIM_H_

#include <windows.h>

#include <stdint.h>

#include <string>
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
// yet): the process of a name's id, and of its creation time when the name holds one (an
// id alone, as older installers write it, may since belong to another process). Names it
// does not know stay; the others wait until it is done. The installers' logs stay.
class DownloadFolderClaim {
 public:
  explicit DownloadFolderClaim(const base::FilePath& folder);
  ~DownloadFolderClaim();

  DownloadFolderClaim(const DownloadFolderClaim&) = delete;
  DownloadFolderClaim& operator=(const DownloadFolderClaim&) = delete;

  // The process a run's file belongs to, as its name tells.
  struct Owner {
    DWORD process_id = 0;  // 0: the name holds none.
    // Its creation time (a FILETIME as one number); 0 in the names of older installers,
    // which hold the id alone.
    uint64_t created = 0;
  };

  // "<process id>-<creation time>" of this process, the time as 16 lower-case hex digits:
  // what the names of this run's files in the download folder end with (before an
  // extension). The creation time tells this process from one that had the same id before.
  static std::wstring MakeRunOwnerText();

  // Whether |name| (a name in the download folder) is one a run gives its files there: the
  // package fetcher's "tavro_installer_" or "suite_", fourteen digits and, from newer
  // installers, "_" and an owner (a process id, or MakeRunOwnerText), alone (an unpacked
  // folder) or with ".exe" or ".7z"; "additional_file.tmp" or "additional_file_<owner>.tmp";
  // and the folder probe's "installer_probe_", fourteen digits, "_", the owner and ".exe".
  // |owner| (may be null) receives what the name holds of its owner.
  static bool IsRunFileName(std::wstring_view name, Owner* owner);

 private:
  // Held, not owned, while the process lives: it tells other front ends that one runs.
  base::win::ScopedHandle claim_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_DOWNLOAD_FOLDER_CLAIM_H_
