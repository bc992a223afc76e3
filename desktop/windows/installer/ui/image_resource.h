#ifndef DESKTOP_WINDOWS_INSTALLER_UI_IMAGE_RESOURCE_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_IMAGE_RESOURCE_H_

#include <windows.h>

#include "base/win/scoped_gdi_object.h"

namespace installer {

// The images are drawn for this many dots per inch; other screens get them scaled.
constexpr int kImageDpi = 96;

// The image resource |name| of type |type| ("PNG", "JPG") of the host executable, decoded
// with GDI+ into a 32-bit bitmap whose colours are premultiplied by their alpha, as
// AlphaBlendImage wants them (opaque images have alpha 255), and resampled from kImageDpi
// to |dpi| (the size a screen of |dpi| dots per inch shows it at). Null, after an error
// log, when the resource is missing or does not decode. Starts and shuts down GDI+ itself.
base::win::ScopedBitmap LoadImageResource(int name, const wchar_t* type, int dpi = kImageDpi);
// The same from the module |module|.
base::win::ScopedBitmap LoadImageResourceFrom(HMODULE module,
                                              int name,
                                              const wchar_t* type,
                                              int dpi = kImageDpi);

// AlphaBlend of the source rectangle onto the destination rectangle (stretched when the
// sizes differ): source over destination with the source's own alpha, constant alpha 255.
bool AlphaBlendImage(HDC destination,
                     int x,
                     int y,
                     int width,
                     int height,
                     HDC source,
                     int source_x,
                     int source_y,
                     int source_width,
                     int source_height);

// The size of |bitmap| in pixels; 0 x 0 when it cannot be read.
SIZE GetBitmapSize(HBITMAP bitmap);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_IMAGE_RESOURCE_H_
