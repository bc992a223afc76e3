#ifndef DESKTOP_WINDOWS_INSTALLER_STAGING_FOLDER_H_
#define DESKTOP_WINDOWS_INSTALLER_STAGING_FOLDER_H_

#include "base/files/file_path.h"

namespace installer {

// A new folder below the system's temporary folder that only SYSTEM and Administrators can
// change, for the copies that an elevated process installs or runs: what it checks there
// stays as checked until it is used, whoever could change the originals. The folder goes,
// with everything in it, with this object; a folder that cannot go then (a program started
// from it still runs), or whose process is ended first, stays recorded, and a later
// elevated run removes it (temporary_folder_records.h). Used on one thread.
//
// Example: an elevated process installs the package's files from a copy of its own.
//   StagingFolder staging;
//   if (!staging.Create() || !staging.CopyIn(package, base::FilePath(L"files_list")))
//     return false;
//   ... read staging.path().Append(L"files_list") ...
class StagingFolder {
 public:
  StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  ~StagingFolder();

  // Makes the folder. False, logged, when it cannot be made.
  bool Create();

  // Copies the file |relative| (a safe relative path) of |source_folder| to the same
  // relative path below the folder, making the folders on the way. False, logged, when the
  // file cannot be copied or |relative| would lead out of the folder.
  bool CopyIn(const base::FilePath& source_folder, const base::FilePath& relative);

  // The folder; empty before Create has succeeded.
  const base::FilePath& path() const { return path_; }

 private:
  base::FilePath path_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_STAGING_FOLDER_H_
