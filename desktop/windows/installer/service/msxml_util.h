#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_MSXML_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_MSXML_UTIL_H_

#include <windows.h>

#include <oleauto.h>

#include <string_view>

namespace installer {

// Class and interface ids of MSXML 3.0. The SDK headers declare them but no import library
// defines them, so they are kept here under names of our own.
extern const CLSID kClsidDomDocument30;
extern const CLSID kClsidMxXmlWriter30;
extern const CLSID kClsidSaxAttributes30;
extern const IID kIidXmlDomDocument2;
extern const IID kIidXmlDomElement;
extern const IID kIidMxWriter;
extern const IID kIidMxAttributes;
extern const IID kIidSaxContentHandler;
extern const IID kIidSaxAttributes;

// An owned BSTR, freed when the holder goes.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(std::wstring_view text);
  ~ScopedBstr();

  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;

  BSTR Get() const { return bstr_; }
  // Frees the current string and returns the address for an out parameter.
  BSTR* Receive();
  // The text, including embedded NULs; empty for a null BSTR.
  std::wstring_view View() const;

 private:
  BSTR bstr_ = nullptr;
};

// An owned VARIANT, cleared when the holder goes.
class ScopedVariant {
 public:
  ScopedVariant();
  explicit ScopedVariant(bool value);
  explicit ScopedVariant(int value);
  // Holds an additional reference to |unknown| (VT_UNKNOWN).
  explicit ScopedVariant(IUnknown* unknown);
  ~ScopedVariant();

  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;

  const VARIANT& Get() const { return variant_; }
  // Clears the current value and returns the address for an out parameter.
  VARIANT* Receive();

 private:
  VARIANT variant_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_MSXML_UTIL_H_
