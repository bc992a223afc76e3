#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_PE_IMAGE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_PE_IMAGE_H_

#include "base/files/file_path.h"

namespace installer {

// Whether |path| is a readable PE image (DOS header, NT signature, and a whole PE32 or PE32+
// optional header inside the file). When it is, |*is_64| tells whether it is a PE32+
// (64-bit) image. Truncated or malformed files give false, never a crash.
bool IsPE64(const base::FilePath& path, bool* is_64);

// Whether |path| is a readable PE image whose security data directory lies inside the
// file. When it is, |*has_table| tells whether the Authenticode certificate table is
// non-empty. An image without a security directory entry, or whose entry points outside
// the file, counts as unreadable (false): the caller cannot tell whether it is signed.
bool HasCertificateTable(const base::FilePath& path, bool* has_table);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_PE_IMAGE_H_
