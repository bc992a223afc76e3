#ifndef BASE_WIN_SCOPED_MAP_VIEW_H_
#define BASE_WIN_SCOPED_MAP_VIEW_H_

#include <windows.h>

#include <memory>

namespace base {
namespace win {

// Unmaps a view that MapViewOfFile handed out.
struct MapViewDeleter {
  void operator()(const void* view) const { ::UnmapViewOfFile(view); }
};

template <typename T>
using ScopedMapViewTyped = std::unique_ptr<T, MapViewDeleter>;

using ScopedMapView = ScopedMapViewTyped<const void>;

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_MAP_VIEW_H_
