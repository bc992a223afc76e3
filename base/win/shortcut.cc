#include "base/win/shortcut.h"

#include <windows.h>

#include <objbase.h>
#include <propidl.h>
#include <propsys.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wchar.h>
#include <wrl/client.h>

#include "base/logging.h"
#include "base/win/scoped_co_mem.h"
#include "base/win/windows_version.h"

namespace base {
namespace win {

namespace {

using Microsoft::WRL::ComPtr;

// PKEY_AppUserModel_ID, defined here so that no import library has to provide it.
const PROPERTYKEY kAppUserModelIdKey = {
    {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};

// Room for any text field of a shortcut (arguments may exceed MAX_PATH).
constexpr int kTextCapacity = 32768;

bool IsExistingFile(const FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The shell link object behind |path|, loaded from the file when |load_mode| is not -1.
bool CreateShellLink(const FilePath& path,
                     DWORD load_mode,
                     ComPtr<IShellLinkW>* link,
                     ComPtr<IPersistFile>* file) {
  HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(link->GetAddressOf()));
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot create a shell link object (is COM initialised?)";
    return false;
  }
  hr = link->As(file);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "The shell link object has no IPersistFile";
    return false;
  }
  if (load_mode != static_cast<DWORD>(-1)) {
    hr = (*file)->Load(path.value().c_str(), load_mode);
    if (FAILED(hr)) {
      ELOG(ERROR, hr) << "Cannot load the shortcut " << path.value();
      return false;
    }
  }
  return true;
}

bool SetFields(IShellLinkW* link, const ShortcutProperties& properties) {
  const uint32_t options = properties.options;
  HRESULT hr = S_OK;
  if (SUCCEEDED(hr) && (options & ShortcutProperties::PROPERTIES_TARGET))
    hr = link->SetPath(properties.target.value().c_str());
  if (SUCCEEDED(hr) && (options & ShortcutProperties::PROPERTIES_WORKING_DIR))
    hr = link->SetWorkingDirectory(properties.working_dir.value().c_str());
  if (SUCCEEDED(hr) && (options & ShortcutProperties::PROPERTIES_ARGUMENTS))
    hr = link->SetArguments(properties.arguments.c_str());
  if (SUCCEEDED(hr) && (options & ShortcutProperties::PROPERTIES_DESCRIPTION))
    hr = link->SetDescription(properties.description.c_str());
  if (SUCCEEDED(hr) && (options & ShortcutProperties::PROPERTIES_ICON))
    hr = link->SetIconLocation(properties.icon.value().c_str(), properties.icon_index);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot set the fields of the shortcut";
    return false;
  }
  if (!(options & ShortcutProperties::PROPERTIES_APP_ID))
    return true;

  ComPtr<IPropertyStore> store;
  hr = link->QueryInterface(IID_PPV_ARGS(store.GetAddressOf()));
  if (SUCCEEDED(hr)) {
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_LPWSTR;
    // The store copies the text; |value| does not own it and is not cleared.
    value.pwszVal = const_cast<wchar_t*>(properties.app_id.c_str());
    hr = store->SetValue(kAppUserModelIdKey, value);
    if (SUCCEEDED(hr))
      hr = store->Commit();
  }
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot set the application id of the shortcut";
    return false;
  }
  return true;
}

// Reads one text field through |get| (buffer, capacity); S_FALSE (nothing stored) gives
// the empty text.
template <typename Getter>
bool ReadText(Getter get, std::wstring* text) {
  std::wstring buffer(kTextCapacity, L'\0');
  const HRESULT hr = get(&buffer[0], kTextCapacity);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot read a field of the shortcut";
    return false;
  }
  buffer.resize(wcsnlen(buffer.c_str(), kTextCapacity));
  text->swap(buffer);
  return true;
}

bool InvokeShellVerb(const wchar_t* verb, const FilePath& path) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  // Synchronous, and no message box when the verb is missing.
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = verb;
  info.lpFile = path.value().c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) {
    PLOG(WARNING) << "The shell verb " << verb << " failed on " << path.value();
    return false;
  }
  return reinterpret_cast<INT_PTR>(info.hInstApp) > 32;
}

}  // namespace

bool CreateOrUpdateShortcut(const FilePath& shortcut_path,
                            const ShortcutProperties& properties,
                            ShortcutOperation operation) {
  const bool update = operation == SHORTCUT_UPDATE_EXISTING;
  if (operation != SHORTCUT_CREATE_ALWAYS && !IsExistingFile(shortcut_path)) {
    LOG(ERROR) << "There is no shortcut to " << (update ? "update" : "replace") << " at "
               << shortcut_path.value();
    return false;
  }
  if (!update && !(properties.options & ShortcutProperties::PROPERTIES_TARGET)) {
    LOG(ERROR) << "A new shortcut needs a target: " << shortcut_path.value();
    return false;
  }

  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (!CreateShellLink(shortcut_path, update ? STGM_READWRITE : static_cast<DWORD>(-1), &link,
                       &file) ||
      !SetFields(link.Get(), properties)) {
    return false;
  }
  const HRESULT hr = file->Save(shortcut_path.value().c_str(), TRUE);
  if (FAILED(hr)) {
    ELOG(ERROR, hr) << "Cannot save the shortcut " << shortcut_path.value();
    return false;
  }
  ::SHChangeNotify(operation == SHORTCUT_CREATE_ALWAYS ? SHCNE_CREATE : SHCNE_UPDATEITEM,
                   SHCNF_PATHW, shortcut_path.value().c_str(), nullptr);
  return true;
}

bool ResolveShortcutProperties(const FilePath& shortcut_path,
                               uint32_t options,
                               ShortcutProperties* properties) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (!CreateShellLink(shortcut_path, STGM_READ, &link, &file))
    return false;

  ShortcutProperties result;
  std::wstring text;
  if (options & ShortcutProperties::PROPERTIES_TARGET) {
    if (!ReadText([&](wchar_t* buffer, int size) {
          return link->GetPath(buffer, size, nullptr, SLGP_UNCPRIORITY);
        }, &text)) {
      return false;
    }
    result.set_target(FilePath(text));
  }
  if (options & ShortcutProperties::PROPERTIES_WORKING_DIR) {
    if (!ReadText([&](wchar_t* buffer, int size) {
          return link->GetWorkingDirectory(buffer, size);
        }, &text)) {
      return false;
    }
    result.set_working_dir(FilePath(text));
  }
  if (options & ShortcutProperties::PROPERTIES_ARGUMENTS) {
    if (!ReadText([&](wchar_t* buffer, int size) { return link->GetArguments(buffer, size); },
                  &text)) {
      return false;
    }
    result.set_arguments(text);
  }
  if (options & ShortcutProperties::PROPERTIES_DESCRIPTION) {
    if (!ReadText([&](wchar_t* buffer, int size) { return link->GetDescription(buffer, size); },
                  &text)) {
      return false;
    }
    result.set_description(text);
  }
  if (options & ShortcutProperties::PROPERTIES_ICON) {
    int index = 0;
    if (!ReadText([&](wchar_t* buffer, int size) {
          return link->GetIconLocation(buffer, size, &index);
        }, &text)) {
      return false;
    }
    result.set_icon(FilePath(text), index);
  }
  if (options & ShortcutProperties::PROPERTIES_APP_ID) {
    ComPtr<IPropertyStore> store;
    if (SUCCEEDED(link->QueryInterface(IID_PPV_ARGS(store.GetAddressOf())))) {
      PROPVARIANT value;
      PropVariantInit(&value);
      if (SUCCEEDED(store->GetValue(kAppUserModelIdKey, &value)) && value.vt == VT_LPWSTR &&
          value.pwszVal) {
        result.set_app_id(value.pwszVal);
      }
      ::PropVariantClear(&value);
    }
  }
  *properties = result;
  return true;
}

bool ResolveShortcut(const FilePath& shortcut_path, FilePath* target, std::wstring* arguments) {
  uint32_t options = 0;
  if (target)
    options |= ShortcutProperties::PROPERTIES_TARGET;
  if (arguments)
    options |= ShortcutProperties::PROPERTIES_ARGUMENTS;
  ShortcutProperties properties;
  if (!ResolveShortcutProperties(shortcut_path, options, &properties))
    return false;
  if (target)
    *target = properties.target;
  if (arguments)
    *arguments = properties.arguments;
  return true;
}

bool ResolveShortcutIdListTarget(const FilePath& shortcut_path, FilePath* target) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (!CreateShellLink(shortcut_path, STGM_READ, &link, &file))
    return false;
  ScopedCoMem<ITEMIDLIST> id_list;
  const HRESULT hr = link->GetIDList(id_list.Receive());
  if (FAILED(hr) || !id_list.Get()) {
    ELOG(WARNING, hr) << "The shortcut " << shortcut_path.value() << " holds no ID list";
    return false;
  }
  // Room for long paths, which SHGetPathFromIDListW would cut at MAX_PATH.
  std::wstring path(kTextCapacity, L'\0');
  if (!::SHGetPathFromIDListEx(id_list.Get(), &path[0], kTextCapacity, GPFIDL_DEFAULT)) {
    LOG(WARNING) << "The ID list of the shortcut " << shortcut_path.value()
                 << " names no file system path";
    return false;
  }
  path.resize(wcsnlen(path.c_str(), kTextCapacity));
  *target = FilePath(path);
  return true;
}

bool CanPinToTaskbar() {
  // Windows 10 dropped the verb.
  const WindowsVersion version = GetWindowsVersion();
  return version >= VERSION_WIN7 && version <= VERSION_WIN8_1;
}

bool PinToTaskbar(const FilePath& shortcut) {
  return InvokeShellVerb(L"taskbarpin", shortcut);
}

bool UnpinFromTaskbar(const FilePath& shortcut) {
  if (GetWindowsVersion() < VERSION_WIN7)
    return false;
  return InvokeShellVerb(L"taskbarunpin", shortcut);
}

}  // namespace win
}  // namespace base
