#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_LOGS_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_LOGS_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace installer {
namespace test {

// The log files that installer processes run with |temp_folder| as their TEMP wrote:
// "<temp_folder>\Tavro Installer\tavro_installer_*.log", oldest first (by the time of
// their last write, then by name). Empty when there are none.
std::vector<base::FilePath> FindInstallerLogs(const base::FilePath& temp_folder);

// The newest of them; empty when there is none.
base::FilePath FindNewestInstallerLog(const base::FilePath& temp_folder);

// The text of the newest log; empty when there is none or it cannot be read.
std::string ReadInstallerLog(const base::FilePath& temp_folder);

// The text of the log of the run's first process, the front end: the names hold the time a
// process started, and the processes it starts write logs of their own (or, started
// within the same second, into the same file). Empty when there is none.
std::string ReadFrontEndLog(const base::FilePath& temp_folder);

// The text of every log, oldest first, each headed by a line with its file name: what a
// test prints when an installation went wrong.
std::string ReadAllInstallerLogs(const base::FilePath& temp_folder);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_LOGS_H_
