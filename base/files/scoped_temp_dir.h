#ifndef BASE_FILES_SCOPED_TEMP_DIR_H_
#define BASE_FILES_SCOPED_TEMP_DIR_H_

#include "base/files/file_path.h"

namespace base {

// A uniquely named folder in the system's temporary folder, deleted with everything in it
// when the object goes away.
class ScopedTempDir {
 public:
  ScopedTempDir() = default;
  ~ScopedTempDir();

  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // Creates the folder. False when it cannot be created or this object already has one.
  bool CreateUniqueTempDir();

  // Deletes the folder now; true when it is gone. The object is then empty again.
  bool Delete();

  const FilePath& GetPath() const { return path_; }
  bool IsValid() const { return !path_.empty(); }

 private:
  FilePath path_;
};

}  // namespace base

#endif  // BASE_FILES_SCOPED_TEMP_DIR_H_
