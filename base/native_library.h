#ifndef BASE_NATIVE_LIBRARY_H_
#define BASE_NATIVE_LIBRARY_H_

#include <windows.h>

#include "base/files/file_path.h"

namespace base {

// Loads the system library |name| (a bare file name such as "user32.dll") from the system
// folder only, never from the program's or the current folder; the caller frees it. Null
// on failure, with the last error set.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A library loaded at run time, freed when this object is destroyed.
//
// A bare file name (no folder) names a system library and is loaded from the system
// folder only, never from the program's or the current folder. A path loads that file,
// its own dependencies searched in its folder first.
class NativeLibrary {
 public:
  explicit NativeLibrary(const FilePath& path);
  NativeLibrary(NativeLibrary&& other) noexcept;
  NativeLibrary& operator=(NativeLibrary&& other) noexcept;
  NativeLibrary(const NativeLibrary&) = delete;
  NativeLibrary& operator=(const NativeLibrary&) = delete;
  ~NativeLibrary();

  bool IsLoaded() const { return module_ != nullptr; }
  HMODULE module() const { return module_; }
  // The system error of a failed load; 0 when loaded.
  DWORD load_error() const { return load_error_; }

  // The exported function or variable |name|; null when it is missing or nothing is loaded.
  void* GetFunctionPointer(const char* name) const;

 private:
  void Reset();

  HMODULE module_ = nullptr;
  DWORD load_error_ = 0;
};

}  // namespace base

#endif  // BASE_NATIVE_LIBRARY_H_
