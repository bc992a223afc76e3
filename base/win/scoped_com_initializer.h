#ifndef BASE_WIN_SCOPED_COM_INITIALIZER_H_
#define BASE_WIN_SCOPED_COM_INITIALIZER_H_

#include <windows.h>
#include <objbase.h>

namespace base {
namespace win {

// Initialises COM for a single-threaded apartment on the current thread for the object's
// lifetime. Create and destroy it on the same thread.
class ScopedComInitializer {
 public:
  ScopedComInitializer() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ScopedComInitializer() {
    // Also S_FALSE (already initialised) takes a reference that must be given back.
    if (SUCCEEDED(hr_))
      ::CoUninitialize();
  }

  ScopedComInitializer(const ScopedComInitializer&) = delete;
  ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;

  bool Succeeded() const { return SUCCEEDED(hr_); }

 private:
  const HRESULT hr_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_COM_INITIALIZER_H_
