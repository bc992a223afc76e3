#ifndef BASE_TEST_SCOPED_PATH_OVERRIDE_H_
#define BASE_TEST_SCOPED_PATH_OVERRIDE_H_

#include "base/files/file_path.h"
#include "base/files/scoped_temp_dir.h"

namespace base {

// Points a PathRegistry key somewhere else for the lifetime of the object (a test's, usually)
// and then puts back the override the key had before, or none. Keeps tests away from the
// real desktop, start menu and program files folders. Nest them last-in first-out.
class ScopedPathOverride {
 public:
  // A fresh temporary folder, deleted with its contents afterwards.
  explicit ScopedPathOverride(int key);
  // |path| (see PathRegistry::OverrideAndCreateIfNeeded).
  ScopedPathOverride(int key, const FilePath& path);
  ScopedPathOverride(int key, const FilePath& path, bool is_absolute, bool create);
  ~ScopedPathOverride();

  ScopedPathOverride(const ScopedPathOverride&) = delete;
  ScopedPathOverride& operator=(const ScopedPathOverride&) = delete;

  // Whether the override is in force (a failure also fails the running test).
  bool IsValid() const { return valid_; }

 private:
  void Apply(const FilePath& path, bool is_absolute, bool create);

  const int key_;
  bool had_previous_ = false;
  FilePath previous_;
  bool valid_ = false;
  ScopedTempDir temp_dir_;
};

}  // namespace base

#endif  // BASE_TEST_SCOPED_PATH_OVERRIDE_H_
