#ifndef BASE_WIN_SCOPED_LOCAL_ALLOC_H_
#define BASE_WIN_SCOPED_LOCAL_ALLOC_H_

#include <windows.h>

#include <memory>

namespace base {
namespace win {

// Frees memory that the system handed out with LocalAlloc (security descriptors, ACLs,
// FormatMessage buffers, CommandLineToArgvW's array...).
struct LocalAllocDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

template <typename T>
using ScopedLocalAllocTyped = std::unique_ptr<T, LocalAllocDeleter>;

using ScopedLocalAlloc = ScopedLocalAllocTyped<void>;

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_LOCAL_ALLOC_H_
