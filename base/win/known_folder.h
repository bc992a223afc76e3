#ifndef BASE_WIN_KNOWN_FOLDER_H_
#define BASE_WIN_KNOWN_FOLDER_H_

#include <windows.h>
#include <shtypes.h>

#include "base/files/file_path.h"

namespace base {
namespace win {

// The path of the known folder |id| for the current user (SHGetKnownFolderPath with
// |flags|, KF_FLAG_*). Returns the shell's error, or E_FAIL when it answers with no
// path; |path| is then unchanged. Logs nothing: callers know what the folder is for.
HRESULT GetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, FilePath* path);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_KNOWN_FOLDER_H_
