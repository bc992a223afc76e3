#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_MSXML_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_MSXML_UTIL_H_

#include <windows.h>

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

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_MSXML_UTIL_H_
