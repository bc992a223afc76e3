#ifndef BASE_PATH_REGISTRY_H_
#define BASE_PATH_REGISTRY_H_

#include "base/files/file_path.h"

namespace base {

// The keys PathRegistry answers. The values are fixed: other programs and stored settings
// name paths by number.
enum PathKey {
  DIR_EXE = 2,                   // The folder of the running executable.
  DIR_TEMP = 4,                  // The system's temporary folder.
  DIR_HOME = 5,                  // The user's profile folder.
  FILE_EXE = 6,                  // The running executable.
  DIR_USER_DESKTOP = 9,          // The user's desktop.
  DIR_PROGRAM_FILESX86 = 103,    // The 32-bit program files folder.
  DIR_PROGRAM_FILES_X64 = 105,   // The 64-bit program files folder (on 64-bit Windows).
  DIR_COMMON_START_MENU = 107,   // The start menu's programs folder for all users.
  DIR_START_MENU = 108,          // The user's start menu programs folder.
  DIR_COMMON_DESKTOP = 113,      // The desktop of all users.
  DIR_USER_QUICK_LAUNCH = 114,   // The user's quick launch folder.
  // Files of the browser's profile; nothing here provides them, only overrides answer.
  FILE_CRASH_COUNTS = 2015,
  FILE_CRASH_ID_RECORD = 2016,
  FILE_PREFERENCES = 2017,
};

// Process-wide paths by key: an override set for the key, else what the system says. All
// members are thread-safe, also after the exit-callback registry ran (its clean-up drops the
// overrides). Paths come back without trailing separators.
class PathRegistry {
 public:
  PathRegistry() = delete;

  // The override of |key|, or the path the system provides for it. False when neither
  // answers (unknown keys, the system call failed, or a key nothing provides).
  static bool Get(int key, FilePath* path);

  // Makes |key| answer |path|, made absolute against the current folder unless
  // |is_absolute| says it already is. When |create| is true the folder (and its parents) is
  // created first. False, with nothing changed, for an empty path or when the path cannot be
  // made absolute or the folder cannot be created.
  static bool OverrideAndCreateIfNeeded(int key,
                                        const FilePath& path,
                                        bool is_absolute,
                                        bool create);

  // OverrideAndCreateIfNeeded(key, path, false, false): file keys are overridden too, so
  // nothing is created.
  static bool Override(int key, const FilePath& path);

  // For tests: the override of |key| when there is one, and its removal (true when there
  // was one).
  static bool GetOverride(int key, FilePath* path);
  static bool RemoveOverride(int key);
};

}  // namespace base

#endif  // BASE_PATH_REGISTRY_H_
