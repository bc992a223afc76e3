#include "desktop/windows/installer/taskbar_pin_helper.h"

#include <windows.h>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/service/user_rights.h"
#include "desktop/windows/installer/temporary_folder_records.h"
#include "desktop/windows/installer/verified_launch.h"

namespace installer {

namespace {

constexpr wchar_t kShellName[] = L"explorer.exe";

// The copy of the helper, and the folder made for it, deleted when it goes.
class HelperCopy {
 public:
  HelperCopy() = default;
  HelperCopy(const HelperCopy&) = delete;
  HelperCopy& operator=(const HelperCopy&) = delete;
  ~HelperCopy() {
    if (own_folder_.empty()) {
      if (!path_.empty())
        base::DeletePath(path_, false);
      return;
    }
    // Only this process and the helper it ran could write in the folder: it goes whole. A
    // folder that stays keeps its record, and a later elevated run removes it.
    if (base::DeletePath(own_folder_, true))
      ForgetTemporaryFolder(own_folder_);
    else
      LOG(WARNING) << "Cannot remove " << own_folder_;
  }

  // Copies |helper| as the shell into |package_folder|, or into a new protected folder.
  bool Make(const base::FilePath& package_folder, const base::FilePath& helper) {
    folder_ = package_folder;
    if (IsProcessElevated()) {
      if (!CreateRecordedTemporaryFolder(kPinFolderPrefix, Readers::kAdminsOnly, &own_folder_))
        return false;
      folder_ = own_folder_;
    }
    const base::FilePath as_shell = folder_.Append(kShellName);
    if (base::PathExists(as_shell) && !base::DeletePath(as_shell, false)) {
      VLOG(2) << "Cannot delete the previous helper";
      return false;
    }
    if (!base::CopySingleFile(helper, as_shell)) {
      VLOG(2) << "Cannot copy the new helper";
      return false;
    }
    path_ = as_shell;
    return true;
  }

  const base::FilePath& folder() const { return folder_; }
  const base::FilePath& path() const { return path_; }

 private:
  base::FilePath folder_;
  base::FilePath own_folder_;
  base::FilePath path_;
};

}  // namespace

bool RunTaskbarPinHelper(const base::FilePath& package_folder,
                         const base::FilePath& helper,
                         const base::FilePath& shortcut) {
  HelperCopy copy;
  if (!copy.Make(package_folder, helper))
    return false;
  base::CommandLine command(copy.path());
  command.AppendArgNative(shortcut.value());
  const base::Process process = LaunchVerifiedProgram(copy.folder(), command, base::LaunchOptions(),
                                                      SignerCheck::kAsThisInstaller);
  DWORD exit_code = 1;
  if (!process.IsValid())
    LOG(ERROR) << "Cannot launch the helper process";
  else if (!process.WaitForExit(&exit_code))
    exit_code = 1;
  return exit_code == 0;
}

}  // namespace installer
