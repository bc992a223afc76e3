#ifndef BASE_WIN_SCOPED_LOCAL_ALLOC_H_
#define BASE_WIN_SCOPED_LOCAL_ALLOC_H_

#include <windows.h>

#include "base/win/scoped_owner.h"

namespace base {
namespace win {

// Memory that the system handed out with LocalAlloc (security descriptors, ACLs,
// FormatMessage buffers, CommandLineToArgvW's array...), freed with LocalFree.
template <typename T>
struct LocalAllocTraits : NullIsInvalid<T*> {
  static void Free(T* memory) { ::LocalFree(memory); }
};

template <typename T>
using ScopedLocalAllocTyped = ScopedOwner<LocalAllocTraits<T>>;

using ScopedLocalAlloc = ScopedLocalAllocTyped<void>;

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_LOCAL_ALLOC_H_
