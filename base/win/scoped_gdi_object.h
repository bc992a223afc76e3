#ifndef BASE_WIN_SCOPED_GDI_OBJECT_H_
#define BASE_WIN_SCOPED_GDI_OBJECT_H_

#include <windows.h>

namespace base {
namespace win {

// Owners of GDI objects, device contexts, icons and windows. Each owns at most one object
// from the moment it is made, releases it the way the system wants (DeleteObject,
// DeleteDC, ReleaseDC, DestroyIcon, DestroyWindow) and is move-only. All of them are used
// on the thread that made the object (window objects must be).

// A pen, brush, font, bitmap or region: anything DeleteObject frees.
template <typename T>
class ScopedGdiObject {
 public:
  ScopedGdiObject() = default;
  explicit ScopedGdiObject(T object) : object_(object) {}
  ScopedGdiObject(ScopedGdiObject&& other) noexcept : object_(other.Release()) {}
  ScopedGdiObject& operator=(ScopedGdiObject&& other) noexcept {
    if (this != &other)
      Reset(other.Release());
    return *this;
  }
  ScopedGdiObject(const ScopedGdiObject&) = delete;
  ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
  ~ScopedGdiObject() { Reset(); }

  T Get() const { return object_; }
  bool IsValid() const { return object_ != nullptr; }

  // Frees the object held and takes |object|.
  void Reset(T object = nullptr) {
    if (object_ && object_ != object)
      ::DeleteObject(object_);
    object_ = object;
  }
  // Gives up ownership without freeing.
  T Release() {
    T object = object_;
    object_ = nullptr;
    return object;
  }

 private:
  T object_ = nullptr;
};

using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedRegion = ScopedGdiObject<HRGN>;

// An icon made or loaded by the program (not a shared one, which must not be destroyed).
class ScopedIcon {
 public:
  ScopedIcon() = default;
  explicit ScopedIcon(HICON icon) : icon_(icon) {}
  ScopedIcon(ScopedIcon&& other) noexcept : icon_(other.Release()) {}
  ScopedIcon& operator=(ScopedIcon&& other) noexcept {
    if (this != &other)
      Reset(other.Release());
    return *this;
  }
  ScopedIcon(const ScopedIcon&) = delete;
  ScopedIcon& operator=(const ScopedIcon&) = delete;
  ~ScopedIcon() { Reset(); }

  HICON Get() const { return icon_; }
  void Reset(HICON icon = nullptr) {
    if (icon_ && icon_ != icon)
      ::DestroyIcon(icon_);
    icon_ = icon;
  }
  HICON Release() {
    HICON icon = icon_;
    icon_ = nullptr;
    return icon;
  }

 private:
  HICON icon_ = nullptr;
};

// A memory device context from CreateCompatibleDC.
class ScopedCreateDC {
 public:
  explicit ScopedCreateDC(HDC dc) : dc_(dc) {}
  ScopedCreateDC(const ScopedCreateDC&) = delete;
  ScopedCreateDC& operator=(const ScopedCreateDC&) = delete;
  ~ScopedCreateDC() {
    if (dc_)
      ::DeleteDC(dc_);
  }

  HDC Get() const { return dc_; }

 private:
  const HDC dc_;
};

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

// A window the program created and must destroy (a modeless dialog, a tooltip).
class ScopedWindow {
 public:
  ScopedWindow() = default;
  explicit ScopedWindow(HWND window) : window_(window) {}
  ScopedWindow(ScopedWindow&& other) noexcept : window_(other.Release()) {}
  ScopedWindow& operator=(ScopedWindow&& other) noexcept {
    if (this != &other)
      Reset(other.Release());
    return *this;
  }
  ScopedWindow(const ScopedWindow&) = delete;
  ScopedWindow& operator=(const ScopedWindow&) = delete;
  ~ScopedWindow() { Reset(); }

  HWND Get() const { return window_; }
  void Reset(HWND window = nullptr) {
    if (window_ && window_ != window && ::IsWindow(window_))
      ::DestroyWindow(window_);
    window_ = window;
  }
  HWND Release() {
    HWND window = window_;
    window_ = nullptr;
    return window;
  }

 private:
  HWND window_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_GDI_OBJECT_H_
