#ifndef BASE_WIN_SCOPED_VARIANT_H_
#define BASE_WIN_SCOPED_VARIANT_H_

#include <windows.h>
#include <oleauto.h>

#include <string_view>

namespace base {
namespace win {

// Owns one VARIANT and clears it with VariantClear. The default is VT_EMPTY, which COM
// methods take for an omitted optional argument.
class ScopedVariant {
 public:
  ScopedVariant();
  // VT_BSTR holding a copy of |text|.
  explicit ScopedVariant(std::wstring_view text);
  // Without it a string literal would pick the bool constructor.
  explicit ScopedVariant(const wchar_t* text) : ScopedVariant(std::wstring_view(text)) {}
  // VT_BOOL.
  explicit ScopedVariant(bool value);
  // VT_I4.
  explicit ScopedVariant(long value);
  explicit ScopedVariant(int value) : ScopedVariant(static_cast<long>(value)) {}
  // VT_UNKNOWN holding an additional reference to |unknown|.
  explicit ScopedVariant(IUnknown* unknown);
  ~ScopedVariant();

  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;

  const VARIANT& Get() const { return variant_; }
  // For in-parameters that are not declared const.
  VARIANT* AsInput() { return &variant_; }

  // Clears the value held; the variant is then VT_EMPTY.
  void Reset();

  // For out-parameters: clears the value held and hands out the variant.
  VARIANT* Receive();

 private:
  VARIANT variant_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_VARIANT_H_
