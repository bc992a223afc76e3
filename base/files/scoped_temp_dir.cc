#include "base/files/scoped_temp_dir.h"

#include "base/files/file_util.h"
#include "base/logging.h"

namespace base {

ScopedTempDir::~ScopedTempDir() {
  if (IsValid() && !Delete())
    LOG(WARNING) << "Could not delete the temporary folder " << path_;
}

bool ScopedTempDir::CreateUniqueTempDir() {
  if (IsValid())
    return false;
  return CreateNewTempDirectory(L"scoped_dir", &path_);
}

bool ScopedTempDir::Delete() {
  if (!IsValid())
    return true;
  if (!DeletePath(path_, true))
    return false;
  path_.clear();
  return true;
}

}  // namespace base
