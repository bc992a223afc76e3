#include "desktop/windows/installer/profile_deletion.h"

#include <utility>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/user_rights.h"

namespace installer {

namespace {

// Deletes |folder| with everything in it unless it holds more than a profile of the
// installation in |install_folder|.
void DeleteProfileFolder(const base::FilePath& folder, const base::FilePath& install_folder) {
  // The path comes from the installation's preference file: never a folder that holds more
  // than a profile.
  // An elevated process reads the path from a file that the user may have written.
  const std::string refusal = IsUserAdmin(false)
                                  ? GetElevatedProfileDeletionRefusal(folder, install_folder)
                                  : GetProfileDeletionRefusal(folder, install_folder);
  if (!refusal.empty()) {
    LOG(ERROR) << "Not deleting the user profile " << folder << ": " << refusal;
    return;
  }
  // Held from here on, and deleted where the system finds it: a link on the way would lead
  // the deletion to another folder than the one checked.
  base::win::ScopedHandle held = base::OpenFolderForDeletion(folder);
  if (!held.IsValid()) {
    LOG_IF(ERROR, base::PathExists(folder)) << "Cannot delete the user profile " << folder;
    return;
  }
  const base::FilePath final_path = base::GetFinalPath(held.Get());
  if (!IsSamePath(final_path, folder)) {
    LOG(ERROR) << "Not deleting the user profile " << folder << ": it leads to " << final_path;
    return;
  }
  if (!base::DeleteOpenFolder(std::move(held)))
    LOG(ERROR) << "Cannot delete all of the user profile " << folder;
}

}  // namespace

void DeleteRecordedUserProfile(const Installation& installation) {
  base::FilePath profile;
  // Without the installation's own record of it, the profile could be another one's.
  if (!installation.GetRecordedProfileDirectory(&profile)) {
    LOG(WARNING) << "Not deleting the user profile: the installer preferences do not say "
                    "where it is";
    return;
  }
  base::FilePath local_profile;
  installation.TranslateProfilePath(profile, &local_profile);
  LOG(INFO) << "Deleting user profile.";
  DeleteProfileFolder(profile, installation.folder());
  if (!IsSamePath(local_profile, profile))
    DeleteProfileFolder(local_profile, installation.folder());
}

}  // namespace installer
