#include "desktop/windows/installer/staging_folder.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/temporary_folder_records.h"

namespace installer {

StagingFolder::StagingFolder() = default;

StagingFolder::~StagingFolder() {
  if (path_.empty())
    return;
  // Nothing there is anybody else's: the folder was new, and only administrators can
  // change it.
  // A folder that stays keeps its record: a later elevated run removes it.
  if (base::DeletePath(path_, true))
    ForgetTemporaryFolder(path_);
  else
    LOG(WARNING) << "The copies in " << path_ << " stay for a later run to remove";
}

bool StagingFolder::Create() {
  if (!path_.empty()) {
    LOG(ERROR) << "The staging folder " << path_ << " exists already";
    return false;
  }
  return CreateRecordedTemporaryFolder(kStagingFolderPrefix, Readers::kAdminsOnly, &path_);
}

bool StagingFolder::CopyIn(const base::FilePath& source_folder, const base::FilePath& relative) {
  const base::FilePath target = path_.Append(relative);
  if (path_.empty() || !IsPathInside(target, path_)) {
    LOG(ERROR) << "Not copying " << relative << ": it would not lie in the staging folder";
    return false;
  }
  // The folders on the way inherit the folder's protected access list.
  if (!base::CreateDirectory(target.DirName()))
    return false;
  return base::CopySingleFile(source_folder.Append(relative), target);
}

}  // namespace installer
