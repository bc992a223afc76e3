#include "desktop/windows/installer/ui/image_resource.h"

#include <objbase.h>
#include <string.h>
#include <wrl/client.h>

#include <algorithm>
#include <utility>

// GDI+'s headers use min and max, which NOMINMAX keeps out of windows.h.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "base/logging.h"
#include "base/win/scoped_owner.h"

namespace installer {

namespace {

// Keeps GDI+ started while it lives.
class ScopedGdiplus {
 public:
  ScopedGdiplus() {
    Gdiplus::GdiplusStartupInput input;
    const Gdiplus::Status status = Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    if (status != Gdiplus::Ok) {
      LOG(ERROR) << "GdiplusStartup failed: " << status;
      token_ = 0;
    }
  }
  ScopedGdiplus(const ScopedGdiplus&) = delete;
  ScopedGdiplus& operator=(const ScopedGdiplus&) = delete;
  ~ScopedGdiplus() {
    if (token_)
      Gdiplus::GdiplusShutdown(token_);
  }

  bool started() const { return token_ != 0; }

 private:
  ULONG_PTR token_ = 0;
};

// Owns a GDI+ object of the flat API, freed with |Free|.
template <typename T, void (*Free)(T*)>
class ScopedGpObject {
 public:
  ScopedGpObject() = default;
  ScopedGpObject(const ScopedGpObject&) = delete;
  ScopedGpObject& operator=(const ScopedGpObject&) = delete;
  ~ScopedGpObject() {
    if (object_)
      Free(object_);
  }

  T* Get() const { return object_; }
  T** Receive() { return &object_; }

 private:
  T* object_ = nullptr;
};

void DisposeBitmap(Gdiplus::GpBitmap* bitmap) {
  Gdiplus::DllExports::GdipDisposeImage(bitmap);
}
void DeleteGraphics(Gdiplus::GpGraphics* graphics) {
  Gdiplus::DllExports::GdipDeleteGraphics(graphics);
}
// A decoded GDI+ bitmap, and a surface drawing into one.
using ScopedGpBitmap = ScopedGpObject<Gdiplus::GpBitmap, &DisposeBitmap>;
using ScopedGpGraphics = ScopedGpObject<Gdiplus::GpGraphics, &DeleteGraphics>;

// Movable global memory not yet handed to a stream.
struct HGlobalTraits : base::win::NullIsInvalid<HGLOBAL> {
  static void Free(HGLOBAL memory) { ::GlobalFree(memory); }
};
using ScopedHGlobal = base::win::ScopedOwner<HGlobalTraits>;

// A stream over a copy of the resource's bytes; the stream frees the copy when released.
Microsoft::WRL::ComPtr<IStream> OpenResourceStream(HMODULE module, int name, const wchar_t* type) {
  const HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(name), type);
  if (!resource) {
    PLOG(ERROR) << "Image resource " << name << " not found";
    return nullptr;
  }
  const DWORD size = ::SizeofResource(module, resource);
  const HGLOBAL loaded = ::LoadResource(module, resource);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes || size == 0) {
    PLOG(ERROR) << "Image resource " << name << " cannot be loaded";
    return nullptr;
  }
  ScopedHGlobal copy(::GlobalAlloc(GMEM_MOVEABLE, size));
  if (!copy.Get()) {
    PLOG(ERROR) << "GlobalAlloc failed";
    return nullptr;
  }
  void* target = ::GlobalLock(copy.Get());
  if (!target) {
    PLOG(ERROR) << "GlobalLock failed";
    return nullptr;
  }
  memcpy(target, bytes, size);
  ::GlobalUnlock(copy.Get());
  Microsoft::WRL::ComPtr<IStream> stream;
  const HRESULT result = ::CreateStreamOnHGlobal(copy.Get(), TRUE, stream.GetAddressOf());
  if (FAILED(result)) {
    LOG(ERROR) << "CreateStreamOnHGlobal failed: 0x" << std::hex << result;
    return nullptr;
  }
  copy.Take();
  return stream;
}

// Replaces |*image| (the resource |name|, for the log) with a copy drawn for |dpi|.
bool Resample(int name, int dpi, ScopedGpBitmap* image) {
  UINT width = 0;
  UINT height = 0;
  Gdiplus::DllExports::GdipGetImageWidth(image->Get(), &width);
  Gdiplus::DllExports::GdipGetImageHeight(image->Get(), &height);
  const INT scaled_width = std::max(1, ::MulDiv(static_cast<int>(width), dpi, kImageDpi));
  const INT scaled_height = std::max(1, ::MulDiv(static_cast<int>(height), dpi, kImageDpi));
  ScopedGpBitmap scaled;
  ScopedGpGraphics graphics;
  Gdiplus::Status status = Gdiplus::DllExports::GdipCreateBitmapFromScan0(
      scaled_width, scaled_height, 0, PixelFormat32bppARGB, nullptr, scaled.Receive());
  if (status == Gdiplus::Ok) {
    status = Gdiplus::DllExports::GdipGetImageGraphicsContext(scaled.Get(), graphics.Receive());
  }
  if (status == Gdiplus::Ok) {
    Gdiplus::DllExports::GdipSetInterpolationMode(graphics.Get(),
                                                  Gdiplus::InterpolationModeHighQualityBicubic);
    Gdiplus::DllExports::GdipSetPixelOffsetMode(graphics.Get(),
                                                Gdiplus::PixelOffsetModeHighQuality);
    status = Gdiplus::DllExports::GdipDrawImageRectI(graphics.Get(), image->Get(), 0, 0,
                                                     scaled_width, scaled_height);
  }
  if (status != Gdiplus::Ok) {
    LOG(ERROR) << "Image resource " << name << " cannot be scaled for " << dpi
               << " dots per inch: " << status;
    return false;
  }
  std::swap(*image->Receive(), *scaled.Receive());
  return true;
}

}  // namespace

base::win::ScopedBitmap LoadImageResource(int name, const wchar_t* type, int dpi) {
  return LoadImageResourceFrom(::GetModuleHandleW(nullptr), name, type, dpi);
}

base::win::ScopedBitmap LoadImageResourceFrom(HMODULE module,
                                              int name,
                                              const wchar_t* type,
                                              int dpi) {
  ScopedGdiplus gdiplus;
  if (!gdiplus.started())
    return base::win::ScopedBitmap();
  Microsoft::WRL::ComPtr<IStream> stream = OpenResourceStream(module, name, type);
  if (!stream)
    return base::win::ScopedBitmap();
  ScopedGpBitmap image;
  Gdiplus::Status status =
      Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.Get(), image.Receive());
  if (status != Gdiplus::Ok) {
    LOG(ERROR) << "Image resource " << name << " does not decode: " << status;
    return base::win::ScopedBitmap();
  }
  if (dpi != kImageDpi && !Resample(name, dpi, &image))
    return base::win::ScopedBitmap();
  // Against a transparent black background the colours come out premultiplied.
  HBITMAP bitmap = nullptr;
  status = Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(image.Get(), &bitmap, 0);
  base::win::ScopedBitmap result(bitmap);
  if (status != Gdiplus::Ok || !result.IsValid()) {
    LOG(ERROR) << "Image resource " << name << " cannot be made a bitmap: " << status;
    return base::win::ScopedBitmap();
  }
  return result;
}

bool AlphaBlendImage(HDC destination,
                     int x,
                     int y,
                     int width,
                     int height,
                     HDC source,
                     int source_x,
                     int source_y,
                     int source_width,
                     int source_height) {
  BLENDFUNCTION blend = {};
  blend.BlendOp = AC_SRC_OVER;
  blend.SourceConstantAlpha = 255;
  blend.AlphaFormat = AC_SRC_ALPHA;
  if (!::AlphaBlend(destination, x, y, width, height, source, source_x, source_y, source_width,
                    source_height, blend)) {
    LOG(ERROR) << "AlphaBlend failed";
    return false;
  }
  return true;
}

SIZE GetBitmapSize(HBITMAP bitmap) {
  BITMAP info = {};
  if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info))
    return SIZE{0, 0};
  return SIZE{info.bmWidth, info.bmHeight};
}

}  // namespace installer
