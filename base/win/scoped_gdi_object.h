#ifndef BASE_WIN_SCOPED_GDI_OBJECT_H_
#define BASE_WIN_SCOPED_GDI_OBJECT_H_

#include <windows.h>

#include "base/win/scoped_owner.h"

namespace base {
namespace win {

// Owners of GDI objects, device contexts, icons and windows. Each owns at most one object
// from the moment it is made and releases it the way the system wants (DeleteObject,
// DeleteDC, ReleaseDC, DestroyIcon, DestroyWindow). All of them are used on the thread that
// made the object (window objects must be).

// A pen, brush, font, bitmap or region: anything DeleteObject frees.
template <typename T>
struct GdiObjectTraits : NullIsInvalid<T> {
  static void Free(T object) { ::DeleteObject(object); }
};
template <typename T>
using ScopedGdiObject = ScopedOwner<GdiObjectTraits<T>>;

using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedRegion = ScopedGdiObject<HRGN>;

// An icon made or loaded by the program (not a shared one, which must not be destroyed).
struct IconTraits : NullIsInvalid<HICON> {
  static void Free(HICON icon) { ::DestroyIcon(icon); }
};
using ScopedIcon = ScopedOwner<IconTraits>;

// A memory device context from CreateCompatibleDC.
struct CreateDCTraits : NullIsInvalid<HDC> {
  static void Free(HDC dc) { ::DeleteDC(dc); }
};
using ScopedCreateDC = ScopedOwner<CreateDCTraits>;

// The device context of a window (or of the screen for null) from GetDC.
class ScopedGetDC {
 public:
  explicit ScopedGetDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;
  ~ScopedGetDC() {
    if (dc_)
      ::ReleaseDC(window_, dc_);
  }

  HDC Get() const { return dc_; }

 private:
  const HWND window_;
  const HDC dc_;
};

// Selects an object into a device context and puts back the one it replaced. The object
// must outlive the selection.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object)
      : dc_(dc), previous_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
  ~ScopedSelectObject() {
    if (previous_ && previous_ != HGDI_ERROR)
      ::SelectObject(dc_, previous_);
  }

 private:
  const HDC dc_;
  const HGDIOBJ previous_;
};

// A window the program created and must destroy (a modeless dialog, a tooltip), unless
// it is already gone.
struct WindowTraits : NullIsInvalid<HWND> {
  static void Free(HWND window) {
    if (::IsWindow(window))
      ::DestroyWindow(window);
  }
};
using ScopedWindow = ScopedOwner<WindowTraits>;

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_GDI_OBJECT_H_
