#ifndef BASE_WIN_SCOPED_BSTR_H_
#define BASE_WIN_SCOPED_BSTR_H_

#include <windows.h>
#include <oleauto.h>

#include <string_view>

namespace base {
namespace win {

// Owns one BSTR and frees it with SysFreeString.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  // A copy of |text|, embedded NULs included.
  explicit ScopedBstr(std::wstring_view text);
  ~ScopedBstr();

  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;

  BSTR Get() const { return bstr_; }

  // Frees the string held; the object is then empty.
  void Reset();

  // For out-parameters: frees the string held and hands out the empty slot.
  BSTR* Receive();

  // The text, embedded NULs included; empty for a null string.
  std::wstring_view View() const;

 private:
  BSTR bstr_ = nullptr;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_BSTR_H_
