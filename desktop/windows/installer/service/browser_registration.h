#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_BROWSER_REGISTRATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_BROWSER_REGISTRATION_H_

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace installer {

class Installation;

// The browser's class name (ProgID) and client name: the product name followed by the
// stream name, e.g. "TavroStable".
std::wstring GetBrowserProgId();
// The key below the company's key, e.g. "Software\Tavro Software\TavroStable\Previous
// Default Browser", where SavePreviousDefaultBrowser keeps what it found: one value per
// association ("http", "https", "ftp": the open command; ".htm", ".html", ...: the class;
// "StartMenuInternet": the start menu's browser), empty when nothing was registered.
std::wstring GetPreviousDefaultBrowserKey();

// Each function below writes to HKEY_LOCAL_MACHINE with |all_users|, else to
// HKEY_CURRENT_USER, and logs what fails.

// Registers the browser without making it the default: its class (with the launcher as
// the open command and its icon), "Open with" entries for web documents, its start-menu
// client entry with capabilities, and its entry among the registered applications.
bool WriteBrowserClassRegistration(const Installation& installation, bool all_users);

// Keeps the handlers of the associations that RegisterAsDefaultBrowser takes over under
// GetPreviousDefaultBrowserKey(), so that they can be given back. Associations already
// handled by this installation are left out, so a repeated registration keeps the
// original handler.
void SavePreviousDefaultBrowser(const Installation& installation, bool all_users);

// Makes the browser the default: its class registration, then the web protocols
// ("http", "https", "ftp") and web document extensions opened by the launcher, and the
// start menu's browser. For the current user on Windows Vista and 7 the shell is also
// asked (through COM, initialised by the caller) to make it the default of all its
// associations. True when every registry write succeeded.
bool RegisterAsDefaultBrowser(const Installation& installation, bool all_users);

// One change that takes back part of the browser's registration below a root: the whole
// key deleted, or its value |value_name| ("" for the default value) set to the text |data|,
// or deleted when |data| is empty.
struct RegistrationRemoval {
  std::wstring key;
  bool delete_key = false;
  std::wstring value_name;
  std::wstring data;
};

// What of the registrations that the functions above wrote below |root| (HKEY_CURRENT_USER
// or HKEY_LOCAL_MACHINE) still names |installation|, and how to take it back. A web protocol
// whose open command is its launcher gets back the command SavePreviousDefaultBrowser kept,
// or loses its command, and the launcher's icon goes; a user's protocol without a kept
// command of the user's own goes whole, so that the machine's applies. While the browser's
// class opens with its launcher, the document extensions and the start menu's browser that
// name the class get back their kept handler, or lose it; the class, its "Open with"
// entries, its start-menu client entry (when that names the launcher), its registered
// application and the kept handlers go. Nothing that names another program is touched.
std::vector<RegistrationRemoval> FindRegistrationRemovals(const Installation& installation,
                                                          HKEY root);

// Whether |text| is a URL scheme: a letter, then letters, digits, "+", "-" or "." (at most
// 64 characters). Anything else could name another class's key.
bool IsUrlScheme(std::wstring_view text);

// Makes the launcher the handler of the URL protocol |protocol| (a URL scheme: a letter
// followed by letters, digits, "+", "-" or "."; anything else is refused).
bool MakeDefaultHandlerFor(const Installation& installation,
                           const std::wstring& protocol,
                           bool all_users);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_BROWSER_REGISTRATION_H_
