#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_FORGED_REPORT_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_FORGED_REPORT_H_

#include "base/files/file_path.h"
#include "base/time/time.h"
#include "desktop/windows/installer/ipc/installer_message.h"

namespace installer {
namespace test {

// Writes |message| into the mailslot on which the front end working on |install_folder|
// hears its backend, as any process of the user could. Waits up to |deadline| for the front
// end to make the mailslot. False when it did not, or the write failed.
bool ForgeReport(const base::FilePath& install_folder,
                 const InstallerMessage& message,
                 base::TimeDelta deadline);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_FORGED_REPORT_H_
