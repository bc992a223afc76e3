#ifndef BASE_WIN_SCOPED_CO_MEM_H_
#define BASE_WIN_SCOPED_CO_MEM_H_

#include <windows.h>
#include <objbase.h>

namespace base {
namespace win {

// Owns memory handed out with CoTaskMemAlloc (e.g. a string a COM server or the shell
// returns) and frees it with CoTaskMemFree.
template <typename T>
class ScopedCoMem {
 public:
  ScopedCoMem() = default;
  ~ScopedCoMem() { Reset(); }

  ScopedCoMem(const ScopedCoMem&) = delete;
  ScopedCoMem& operator=(const ScopedCoMem&) = delete;

  T* Get() const { return pointer_; }

  // Frees the memory held; the object is then empty.
  void Reset() {
    ::CoTaskMemFree(pointer_);
    pointer_ = nullptr;
  }

  // For out-parameters: frees the memory held and hands out the empty slot. Functions
  // may hand out memory even when they fail; it is freed all the same.
  T** Receive() {
    Reset();
    return &pointer_;
  }

 private:
  T* pointer_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_CO_MEM_H_
