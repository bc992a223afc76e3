#ifndef DESKTOP_WINDOWS_INSTALLER_UI_FULL_PACKAGE_DOWNLOAD_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_FULL_PACKAGE_DOWNLOAD_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {

// Where the full installer is offered: the product configuration's
// "urls.download_full_windows", with "&product=<product name>%20<stream name>" for every
// stream but the stable one.
std::wstring GetFullPackageUrl();

// Opens |url| for the user: with the default browser, unless the browser of
// |install_folder| is the registered handler of "http" (it may be what failed to install),
// then with Internet Explorer. False, after an error log, when nothing could be started.
bool OpenFullPackageUrl(const std::wstring& url, const base::FilePath& install_folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_FULL_PACKAGE_DOWNLOAD_H_
