#include "base/win/scoped_variant.h"

namespace base {
namespace win {

ScopedVariant::ScopedVariant() {
  ::VariantInit(&variant_);
}

ScopedVariant::ScopedVariant(std::wstring_view text) {
  ::VariantInit(&variant_);
  V_VT(&variant_) = VT_BSTR;
  V_BSTR(&variant_) = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

ScopedVariant::ScopedVariant(bool value) {
  ::VariantInit(&variant_);
  V_VT(&variant_) = VT_BOOL;
  V_BOOL(&variant_) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

ScopedVariant::ScopedVariant(long value) {
  ::VariantInit(&variant_);
  V_VT(&variant_) = VT_I4;
  V_I4(&variant_) = value;
}

ScopedVariant::ScopedVariant(IUnknown* unknown) {
  ::VariantInit(&variant_);
  V_VT(&variant_) = VT_UNKNOWN;
  V_UNKNOWN(&variant_) = unknown;
  if (unknown)
    unknown->AddRef();
}

ScopedVariant::~ScopedVariant() {
  ::VariantClear(&variant_);
}

void ScopedVariant::Reset() {
  ::VariantClear(&variant_);
}

VARIANT* ScopedVariant::Receive() {
  Reset();
  return &variant_;
}

}  // namespace win
}  // namespace base
