#ifndef BASE_WIN_SCOPED_MAP_VIEW_H_
#define BASE_WIN_SCOPED_MAP_VIEW_H_

#include <windows.h>

#include "base/win/scoped_owner.h"

namespace base {
namespace win {

// A view that MapViewOfFile handed out, unmapped with UnmapViewOfFile.
template <typename T>
struct MapViewTraits : NullIsInvalid<T*> {
  static void Free(T* view) { ::UnmapViewOfFile(view); }
};

template <typename T>
using ScopedMapViewTyped = ScopedOwner<MapViewTraits<T>>;

using ScopedMapView = ScopedMapViewTyped<const void>;

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_MAP_VIEW_H_
