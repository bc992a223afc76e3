#include "desktop/windows/installer/staging_folder.h"

#include "base/files/file_util.h"
#include "base/logging.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/protected_folder.h"

namespace installer {

StagingFolder::StagingFolder() = default;

StagingFolder::~StagingFolder() {
  if (path_.empty())
    return;
  // Nothing there is anybody else's: the folder was new, and only administrators can
  // change it.
  if (!base::DeletePath(path_, true))
    LOG(WARNING) << "The copies in " << path_ << " stay for the system's clean-up";
}

bool StagingFolder::Create() {
  if (!path_.empty()) {
    LOG(ERROR) << "The staging folder " << path_ << " exists already";
    return false;
  }
  return CreateUniqueProtectedFolder(SystemTempFolder(), L"tavro_staging_", Readers::kAdminsOnly,
                                     &path_);
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
