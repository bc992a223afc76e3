#include "base/win/scoped_bstr.h"

namespace base {
namespace win {

ScopedBstr::ScopedBstr(std::wstring_view text)
    : bstr_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

ScopedBstr::~ScopedBstr() {
  Reset();
}

void ScopedBstr::Reset() {
  ::SysFreeString(bstr_);
  bstr_ = nullptr;
}

BSTR* ScopedBstr::Receive() {
  Reset();
  return &bstr_;
}

std::wstring_view ScopedBstr::View() const {
  if (!bstr_)
    return std::wstring_view();
  return std::wstring_view(bstr_, ::SysStringLen(bstr_));
}

}  // namespace win
}  // namespace base
