#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_DOWNLOADED_VERSION_CHECK_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_DOWNLOADED_VERSION_CHECK_H_

#include "base/files/file_path.h"

namespace installer {

class Stats;

// Whether the downloaded installer |file| may be used by this installer: run with
// "internal-version" it must print a version at least this build's internal version and,
// with |check_stream|, run with "stream" it must print this build's stream exactly. What it
// printed goes into |record| as "internal_version" and "stream". The program runs on the
// calling thread, which waits for it; failures are logged.
bool CheckDownloadedVersion(const base::FilePath& file, bool check_stream, Stats* record);

// Whether the signer of the downloaded |file| is acceptable: it must be the product's
// expected signer unless this installer itself carries no signature (a development
// build), which accepts unsigned downloads too.
bool VerifyDownloadedSigner(const base::FilePath& file);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_DOWNLOADED_VERSION_CHECK_H_
