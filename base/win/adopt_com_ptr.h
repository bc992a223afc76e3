#ifndef BASE_WIN_ADOPT_COM_PTR_H_
#define BASE_WIN_ADOPT_COM_PTR_H_

#include <wrl/client.h>

namespace base {
namespace win {

// Takes over the one reference that a function hands out with a new COM object (for
// instance SHCreateMemStream), without adding one. Microsoft::WRL::ComPtr::Attach does this
// with the platform's header, but this toolchain's Attach adds a reference, so the object
// would leak; filling the pointer's slot behaves the same with both. Null gives an empty
// pointer.
template <typename T>
Microsoft::WRL::ComPtr<T> AdoptComPtr(T* fresh) {
  Microsoft::WRL::ComPtr<T> owner;
  *owner.GetAddressOf() = fresh;
  return owner;
}

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_ADOPT_COM_PTR_H_
