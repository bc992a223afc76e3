#include "desktop/windows/installer/service/browser_registration.h"

#include <windows.h>

#include <shobjidl.h>
#include <wrl/client.h>

#include <string_view>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_naming.h"

namespace installer {

namespace {

constexpr wchar_t kClassesKey[] = L"Software\\Classes\\";
constexpr wchar_t kStartMenuInternetKey[] = L"Software\\Clients\\StartMenuInternet";
constexpr wchar_t kRegisteredApplicationsKey[] = L"Software\\RegisteredApplications";
constexpr wchar_t kStartMenuInternetValue[] = L"StartMenuInternet";

// The associations a default browser takes over.
constexpr const wchar_t* kWebProtocols[] = {L"http", L"https", L"ftp"};
constexpr const wchar_t* kWebDocumentExtensions[] = {L".htm", L".html", L".shtml", L".xht",
                                                     L".xhtml"};
// Documents the browser offers to open (and lists among its capabilities) without
// taking them over.
constexpr const wchar_t* kOpenWithExtensions[] = {L".htm",   L".html", L".pdf",
                                                  L".shtml", L".xht",  L".xhtml"};

HKEY GetRoot(bool all_users) {
  return all_users ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// "{Product} {Stream}": the visible name of the registration.
std::wstring GetApplicationName() {
  return ProductNaming::GetInstance().GetProductName() + L" " + base::Utf8ToUtf16(GetStreamName());
}

std::wstring GetClientKey() {
  return std::wstring(kStartMenuInternetKey) + L"\\" + GetBrowserProgId();
}

std::wstring Quote(const base::FilePath& path) {
  return L"\"" + path.value() + L"\"";
}

std::wstring GetOpenCommand(const Installation& installation) {
  return Quote(installation.GetLauncherPath()) + L" -noautoupdate -- \"%1\"";
}

std::wstring GetIcon(const Installation& installation) {
  return installation.GetLauncherPath().value() + L",0";
}

}  // namespace

bool IsUrlScheme(std::wstring_view text) {
  if (text.empty() || text.size() > 64)
    return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    const bool other = (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
    if (!letter && (i == 0 || !other))
      return false;
  }
  return true;
}

namespace {

// Writes registry values below one root, logging and remembering every failure.
class RegistryWriter {
 public:
  explicit RegistryWriter(HKEY root) : root_(root) {}

  bool succeeded() const { return succeeded_; }

  // |name| null for the key's default value.
  void SetString(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    base::win::RegistryKey key;
    if (Check(key.Create(root_, path.c_str(), KEY_SET_VALUE), path))
      Check(key.WriteValue(name, value), path);
  }
  void SetDword(const std::wstring& path, const wchar_t* name, DWORD value) {
    base::win::RegistryKey key;
    if (Check(key.Create(root_, path.c_str(), KEY_SET_VALUE), path))
      Check(key.WriteValue(name, value), path);
  }
  // An empty REG_NONE value, the form of "Open with" entries.
  void SetNone(const std::wstring& path, const wchar_t* name) {
    base::win::RegistryKey key;
    if (Check(key.Create(root_, path.c_str(), KEY_SET_VALUE), path))
      Check(key.WriteValue(name, nullptr, 0, REG_NONE), path);
  }
  // Deletes |name| below |path| with its subkeys; a missing key is no failure.
  void DeleteKey(const std::wstring& path, const wchar_t* name) {
    base::win::RegistryKey key;
    LONG result = key.Open(root_, path.c_str(), KEY_READ);
    if (result == ERROR_SUCCESS)
      result = key.DeleteKey(name);
    if (result != ERROR_FILE_NOT_FOUND)
      Check(result, path + L"\\" + name);
  }

 private:
  bool Check(LONG result, const std::wstring& path) {
    if (result == ERROR_SUCCESS)
      return true;
    ELOG(ERROR, result) << "Cannot write registry key " << path;
    succeeded_ = false;
    return false;
  }

  const HKEY root_;
  bool succeeded_ = true;
};

// The launcher as the open command of the class |class_name|, with the icon. A DDE
// registration inherited from elsewhere would take precedence over the command: for the
// machine it is removed, for the current user it is overridden by empty entries (the
// current user's classes merge with the machine's).
void WriteOpenCommand(RegistryWriter* writer,
                      const Installation& installation,
                      const std::wstring& class_name,
                      bool all_users) {
  const std::wstring class_key = kClassesKey + class_name;
  const std::wstring open_key = class_key + L"\\shell\\open";
  writer->SetString(class_key + L"\\DefaultIcon", nullptr, GetIcon(installation));
  writer->SetString(open_key + L"\\command", nullptr, GetOpenCommand(installation));
  if (all_users) {
    writer->DeleteKey(open_key, L"ddeexec");
  } else {
    writer->SetString(open_key + L"\\ddeexec", nullptr, std::wstring());
    writer->SetString(open_key + L"\\ddeexec\\Application", nullptr, std::wstring());
    writer->SetString(open_key + L"\\ddeexec\\Topic", nullptr, std::wstring());
  }
}

void WriteProtocolHandler(RegistryWriter* writer,
                          const Installation& installation,
                          const std::wstring& protocol,
                          bool all_users) {
  const std::wstring key = kClassesKey + protocol;
  writer->SetString(key, nullptr, L"URL:" + protocol);
  writer->SetString(key, L"URL Protocol", std::wstring());
  WriteOpenCommand(writer, installation, protocol, all_users);
}

bool WriteClassRegistration(RegistryWriter* writer,
                            const Installation& installation,
                            bool all_users) {
  const std::wstring prog_id = GetBrowserProgId();
  const std::wstring product = ProductNaming::GetInstance().GetProductName();
  const std::wstring application_name = GetApplicationName();
  const std::wstring launcher = Quote(installation.GetLauncherPath());

  // The browser's class.
  const std::wstring class_key = kClassesKey + prog_id;
  writer->SetString(class_key, L"FriendlyTypeName", product + L" Web Document");
  writer->SetString(class_key, L"URL Protocol", std::wstring());
  WriteOpenCommand(writer, installation, prog_id, all_users);
  for (const wchar_t* extension : kOpenWithExtensions)
    writer->SetNone(kClassesKey + std::wstring(extension) + L"\\OpenWithProgIDs", prog_id.c_str());

  // The start menu's client entry and the capabilities that the shell's default
  // programs settings offer.
  const std::wstring client_key = GetClientKey();
  writer->SetString(client_key, nullptr, application_name);
  writer->SetString(client_key + L"\\DefaultIcon", nullptr, GetIcon(installation));
  writer->SetString(client_key + L"\\InstallInfo", L"ShowIconsCommand", launcher + L" --showicons");
  writer->SetString(client_key + L"\\InstallInfo", L"HideIconsCommand", launcher + L" --hideicons");
  writer->SetString(client_key + L"\\InstallInfo", L"ReinstallCommand",
                    launcher + L" --makedefaultbrowser");
  writer->SetDword(client_key + L"\\InstallInfo", L"IconsVisible", 1);
  writer->SetString(client_key + L"\\shell\\open\\command", nullptr, launcher);

  const std::wstring capabilities_key = client_key + L"\\Capabilities";
  writer->SetString(capabilities_key, L"ApplicationName", application_name);
  writer->SetString(capabilities_key, L"ApplicationDescription", L"Do more on the web");
  writer->SetString(capabilities_key, L"ApplicationIcon", launcher + L",0");
  for (const wchar_t* extension : kOpenWithExtensions)
    writer->SetString(capabilities_key + L"\\FileAssociations", extension, prog_id);
  for (const wchar_t* protocol : kWebProtocols)
    writer->SetString(capabilities_key + L"\\UrlAssociations", protocol, prog_id);
  writer->SetString(capabilities_key + L"\\Startmenu", kStartMenuInternetValue, prog_id);
  writer->SetString(kRegisteredApplicationsKey, application_name.c_str(), capabilities_key);
  return writer->succeeded();
}

// Asks the shell to make the registered application the current user's default for all
// its capabilities. Only Windows Vista and 7 allow programs to do that.
void SetUserDefaultsThroughShell() {
  const base::win::WindowsVersion version = base::win::GetWindowsVersion();
  if (version < base::win::VERSION_VISTA || version >= base::win::VERSION_WIN8)
    return;
  Microsoft::WRL::ComPtr<IApplicationAssociationRegistration> registration;
  HRESULT hr = ::CoCreateInstance(CLSID_ApplicationAssociationRegistration, nullptr,
                                  CLSCTX_INPROC_SERVER, IID_IApplicationAssociationRegistration,
                                  reinterpret_cast<void**>(registration.GetAddressOf()));
  if (SUCCEEDED(hr))
    hr = registration->SetAppAsDefaultAll(GetApplicationName().c_str());
  if (FAILED(hr))
    ELOG(WARNING, hr) << "The shell did not make the browser the user's default";
}

}  // namespace

std::wstring GetBrowserProgId() {
  return ProductNaming::GetInstance().GetProductName() + base::Utf8ToUtf16(GetStreamName());
}

std::wstring GetPreviousDefaultBrowserKey() {
  return GetCompanyRegistryKey() + L"\\" + GetBrowserProgId() + L"\\Previous Default Browser";
}

bool WriteBrowserClassRegistration(const Installation& installation, bool all_users) {
  VLOG(1) << "Writing the browser registration for " << (all_users ? "all users" : "the user");
  RegistryWriter writer(GetRoot(all_users));
  return WriteClassRegistration(&writer, installation, all_users);
}

void SavePreviousDefaultBrowser(const Installation& installation, bool all_users) {
  const HKEY root = GetRoot(all_users);
  const std::wstring prog_id = GetBrowserProgId();
  RegistryWriter writer(root);
  const std::wstring backup_key = GetPreviousDefaultBrowserKey();
  for (const wchar_t* protocol : kWebProtocols) {
    const std::wstring command = ReadRegistryDefaultValue(
        root, kClassesKey + std::wstring(protocol) + L"\\shell\\open\\command");
    if (!installation.IsHandlerCommand(command, false))
      writer.SetString(backup_key, protocol, command);
  }
  for (const wchar_t* extension : kWebDocumentExtensions) {
    const std::wstring class_name =
        ReadRegistryDefaultValue(root, kClassesKey + std::wstring(extension));
    if (!base::EqualsCaseInsensitiveAscii(class_name, prog_id))
      writer.SetString(backup_key, extension, class_name);
  }
  const std::wstring client = ReadRegistryDefaultValue(root, kStartMenuInternetKey);
  if (!base::EqualsCaseInsensitiveAscii(client, prog_id))
    writer.SetString(backup_key, kStartMenuInternetValue, client);
}

bool RegisterAsDefaultBrowser(const Installation& installation, bool all_users) {
  VLOG(1) << "Making the browser the default for " << (all_users ? "all users" : "the user");
  RegistryWriter writer(GetRoot(all_users));
  WriteClassRegistration(&writer, installation, all_users);
  const std::wstring prog_id = GetBrowserProgId();
  for (const wchar_t* protocol : kWebProtocols)
    WriteProtocolHandler(&writer, installation, protocol, all_users);
  for (const wchar_t* extension : kWebDocumentExtensions)
    writer.SetString(kClassesKey + std::wstring(extension), nullptr, prog_id);
  writer.SetString(kStartMenuInternetKey, nullptr, prog_id);
  if (!all_users)
    SetUserDefaultsThroughShell();
  return writer.succeeded();
}

std::vector<RegistrationRemoval> FindRegistrationRemovals(const Installation& installation,
                                                          HKEY root) {
  std::vector<RegistrationRemoval> removals;
  const std::wstring backup_key = GetPreviousDefaultBrowserKey();
  auto read_backup = [&](const wchar_t* name) {
    std::wstring value;
    base::win::RegistryKey key(root, backup_key.c_str(), KEY_QUERY_VALUE);
    if (key.Valid())
      key.ReadValue(name, &value);
    return value;
  };
  // Whether a command or an icon of |key| names the launcher.
  auto names_launcher = [&](const std::wstring& key) {
    return installation.IsHandlerCommand(ReadRegistryDefaultValue(root, key), false);
  };

  for (const wchar_t* protocol : kWebProtocols) {
    const std::wstring protocol_key = kClassesKey + std::wstring(protocol);
    const std::wstring command_key = protocol_key + L"\\shell\\open\\command";
    if (!names_launcher(command_key))
      continue;
    const std::wstring previous = read_backup(protocol);
    if (previous.empty() && root == HKEY_CURRENT_USER) {
      // The user had no handler of his own: the machine's applies again.
      removals.push_back({protocol_key, true, L"", L""});
      continue;
    }
    removals.push_back({command_key, false, L"", previous});
    const std::wstring icon_key = protocol_key + L"\\DefaultIcon";
    if (names_launcher(icon_key))
      removals.push_back({icon_key, false, L"", L""});
  }

  const std::wstring prog_id = GetBrowserProgId();
  const std::wstring class_key = kClassesKey + prog_id;
  if (!names_launcher(class_key + L"\\shell\\open\\command"))
    return removals;
  for (const wchar_t* extension : kWebDocumentExtensions) {
    const std::wstring key = kClassesKey + std::wstring(extension);
    if (base::EqualsCaseInsensitiveAscii(ReadRegistryDefaultValue(root, key), prog_id))
      removals.push_back({key, false, L"", read_backup(extension)});
  }
  if (base::EqualsCaseInsensitiveAscii(ReadRegistryDefaultValue(root, kStartMenuInternetKey),
                                       prog_id)) {
    removals.push_back({kStartMenuInternetKey, false, L"", read_backup(kStartMenuInternetValue)});
  }
  for (const wchar_t* extension : kOpenWithExtensions) {
    removals.push_back(
        {kClassesKey + std::wstring(extension) + L"\\OpenWithProgIDs", false, prog_id, L""});
  }
  removals.push_back({class_key, true, L"", L""});
  const std::wstring client_key = GetClientKey();
  if (names_launcher(client_key + L"\\shell\\open\\command")) {
    removals.push_back({client_key, true, L"", L""});
    removals.push_back({kRegisteredApplicationsKey, false, GetApplicationName(), L""});
  }
  removals.push_back({backup_key, true, L"", L""});
  return removals;
}

bool MakeDefaultHandlerFor(const Installation& installation,
                           const std::wstring& protocol,
                           bool all_users) {
  if (!IsUrlScheme(protocol)) {
    LOG(ERROR) << "Not a URL protocol: " << protocol;
    return false;
  }
  VLOG(1) << "Making the browser the handler of " << protocol;
  RegistryWriter writer(GetRoot(all_users));
  WriteProtocolHandler(&writer, installation, protocol, all_users);
  return writer.succeeded();
}

}  // namespace installer
