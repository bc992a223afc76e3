#include "desktop/windows/installer/service/msxml_util.h"

namespace installer {

// clang-format off
// {F5078F32-C551-11D3-89B9-0000F81FE221}
const CLSID kClsidDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
// {3D813DFE-6C91-4A4E-8F41-04346A841D9C}
const CLSID kClsidMxXmlWriter30 = {
    0x3d813dfe, 0x6c91, 0x4a4e, {0x8f, 0x41, 0x04, 0x34, 0x6a, 0x84, 0x1d, 0x9c}};
// {3E784A01-F3AE-4DC0-9354-9526B9370EBA}
const CLSID kClsidSaxAttributes30 = {
    0x3e784a01, 0xf3ae, 0x4dc0, {0x93, 0x54, 0x95, 0x26, 0xb9, 0x37, 0x0e, 0xba}};
// {2933BF95-7B36-11D2-B20E-00C04F983E60}
const IID kIidXmlDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
// {2933BF86-7B36-11D2-B20E-00C04F983E60}
const IID kIidXmlDomElement = {
    0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
// {4D7FF4BA-1565-4EA8-94E1-6E724A46F98D}
const IID kIidMxWriter = {
    0x4d7ff4ba, 0x1565, 0x4ea8, {0x94, 0xe1, 0x6e, 0x72, 0x4a, 0x46, 0xf9, 0x8d}};
// {F10D27CC-3EC0-415C-8ED8-77AB1C5E7262}
const IID kIidMxAttributes = {
    0xf10d27cc, 0x3ec0, 0x415c, {0x8e, 0xd8, 0x77, 0xab, 0x1c, 0x5e, 0x72, 0x62}};
// {1545CDFA-9E4E-4497-A8A4-2BF7D0112C44}
const IID kIidSaxContentHandler = {
    0x1545cdfa, 0x9e4e, 0x4497, {0xa8, 0xa4, 0x2b, 0xf7, 0xd0, 0x11, 0x2c, 0x44}};
// {F078ABE1-45D2-4832-91EA-4466CE2F25C9}
const IID kIidSaxAttributes = {
    0xf078abe1, 0x45d2, 0x4832, {0x91, 0xea, 0x44, 0x66, 0xce, 0x2f, 0x25, 0xc9}};
// clang-format on

ScopedBstr::ScopedBstr(std::wstring_view text)
    : bstr_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

ScopedBstr::~ScopedBstr() {
  ::SysFreeString(bstr_);
}

BSTR* ScopedBstr::Receive() {
  ::SysFreeString(bstr_);
  bstr_ = nullptr;
  return &bstr_;
}

std::wstring_view ScopedBstr::View() const {
  if (!bstr_)
    return std::wstring_view();
  return std::wstring_view(bstr_, ::SysStringLen(bstr_));
}

ScopedVariant::ScopedVariant() {
  ::VariantInit(&variant_);
}

ScopedVariant::ScopedVariant(bool value) {
  ::VariantInit(&variant_);
  V_VT(&variant_) = VT_BOOL;
  V_BOOL(&variant_) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

ScopedVariant::ScopedVariant(int value) {
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

VARIANT* ScopedVariant::Receive() {
  ::VariantClear(&variant_);
  return &variant_;
}

}  // namespace installer
