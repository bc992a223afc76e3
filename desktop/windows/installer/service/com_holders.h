#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_COM_HOLDERS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_COM_HOLDERS_H_

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace installer {

// Small owners of COM-allocated values, so that no path leaks one.

// Initialises COM for a single-threaded apartment on the current thread for its lifetime.
class ScopedComInitializer {
 public:
  ScopedComInitializer() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ScopedComInitializer() {
    if (SUCCEEDED(hr_))
      ::CoUninitialize();
  }

  ScopedComInitializer(const ScopedComInitializer&) = delete;
  ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;

  bool Succeeded() const { return SUCCEEDED(hr_); }

 private:
  const HRESULT hr_;
};

// Owns one BSTR and frees it with SysFreeString.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(std::wstring_view text)
      : bstr_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~ScopedBstr() { Reset(); }

  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;

  // Frees the string held; the object is then empty.
  void Reset() {
    if (bstr_)
      ::SysFreeString(bstr_);
    bstr_ = nullptr;
  }

  // For out-parameters: frees the string held and hands out the slot.
  BSTR* Receive() {
    Reset();
    return &bstr_;
  }

  BSTR Get() const { return bstr_; }
  // A copy of the text; empty for a null string.
  std::wstring ToString() const {
    return bstr_ ? std::wstring(bstr_, ::SysStringLen(bstr_)) : std::wstring();
  }

 private:
  BSTR bstr_ = nullptr;
};

// Owns one VARIANT and clears it with VariantClear.
class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&variant_); }
  // A VT_BSTR variant holding a copy of |text|.
  explicit ScopedVariant(std::wstring_view text) {
    ::VariantInit(&variant_);
    V_VT(&variant_) = VT_BSTR;
    V_BSTR(&variant_) = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  // A VT_I4 variant.
  explicit ScopedVariant(LONG value) {
    ::VariantInit(&variant_);
    V_VT(&variant_) = VT_I4;
    V_I4(&variant_) = value;
  }
  ~ScopedVariant() { ::VariantClear(&variant_); }

  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;

  // For out-parameters: clears the value held and hands out the variant.
  VARIANT* Receive() {
    ::VariantClear(&variant_);
    return &variant_;
  }

  const VARIANT& Get() const { return variant_; }
  VARIANT* AsInput() { return &variant_; }

 private:
  VARIANT variant_;
};

// Owns memory handed out by a COM server (CoTaskMemAlloc), e.g. a returned string.
template <typename T>
class ScopedCoMem {
 public:
  ScopedCoMem() = default;
  ~ScopedCoMem() { ::CoTaskMemFree(pointer_); }

  ScopedCoMem(const ScopedCoMem&) = delete;
  ScopedCoMem& operator=(const ScopedCoMem&) = delete;

  T** Receive() {
    ::CoTaskMemFree(pointer_);
    pointer_ = nullptr;
    return &pointer_;
  }
  T* Get() const { return pointer_; }

 private:
  T* pointer_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_COM_HOLDERS_H_
