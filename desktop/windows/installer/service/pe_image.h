#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_PE_IMAGE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_PE_IMAGE_H_

#include "base/files/file_path.h"

namespace installer {

// Whether |path| is a readable PE image (DOS header, NT signature, and a whole PE32 or PE32+
// optional header inside the file). When it is, |*is_64| tells whether it is a PE32+
// (64-bit) image. Truncated or malformed files give false, never a crash.
bool IsPE64(const base::FilePath& path, bool* is_64);

// Whether |path| is a readable PE image (as for IsPE64) whose optional header holds every
// data directory it announces up to the security entry. When it is, |*has_table| tells
// whether its Authenticode certificate table is non-empty: false for an image with fewer
// than five data directories or an empty security entry, true for a non-empty entry even
// when it points outside the file (the signature check then fails).
bool HasCertificateTable(const base::FilePath& path, bool* has_table);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_PE_IMAGE_H_
