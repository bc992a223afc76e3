#include "base/test/scoped_path_override.h"

#include "base/path_registry.h"
#include "gtest/gtest.h"

namespace base {

ScopedPathOverride::ScopedPathOverride(int key) : key_(key) {
  const bool created = temp_dir_.CreateUniqueTempDir();
  EXPECT_TRUE(created) << "no temporary folder for path key " << key;
  if (created)
    Apply(temp_dir_.GetPath(), true, false);
}

ScopedPathOverride::ScopedPathOverride(int key, const FilePath& path) : key_(key) {
  Apply(path, false, false);
}

ScopedPathOverride::ScopedPathOverride(int key,
                                       const FilePath& path,
                                       bool is_absolute,
                                       bool create)
    : key_(key) {
  Apply(path, is_absolute, create);
}

ScopedPathOverride::~ScopedPathOverride() {
  if (!valid_)
    return;
  if (had_previous_)
    EXPECT_TRUE(PathRegistry::Override(key_, previous_));
  else
    PathRegistry::RemoveOverride(key_);
}

void ScopedPathOverride::Apply(const FilePath& path, bool is_absolute, bool create) {
  had_previous_ = PathRegistry::GetOverride(key_, &previous_);
  valid_ = PathRegistry::OverrideAndCreateIfNeeded(key_, path, is_absolute, create);
  EXPECT_TRUE(valid_) << "cannot override path key " << key_ << " with " << path;
}

}  // namespace base
