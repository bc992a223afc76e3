#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_SIGNATURE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_SIGNATURE_H_

#include <string>

#include "base/files/file_path.h"

namespace installer {

// Whether |path| carries a valid Authenticode signature (revocation not checked, no user
// interface) made by the expected signer of the product configuration. An empty expected
// signer accepts nothing.
bool VerifySigner(const base::FilePath& path);

// The same with the signer's name given: the simple display name of the signing
// certificate (usually its common name) must equal |expected_signer| exactly.
bool VerifySigner(const base::FilePath& path, const std::wstring& expected_signer);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_SIGNATURE_H_
