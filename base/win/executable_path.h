#ifndef BASE_WIN_EXECUTABLE_PATH_H_
#define BASE_WIN_EXECUTABLE_PATH_H_

#include "base/files/file_path.h"

namespace base {
namespace win {

// The full path of the running executable, as the system loaded it, whatever its length.
// Unlike PathRegistry's FILE_EXE, no override answers here. False, with the error logged,
// when the system cannot tell; |path| is then unchanged.
bool GetExecutablePath(FilePath* path);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_EXECUTABLE_PATH_H_
