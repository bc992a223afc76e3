#include "desktop/windows/installer/ui/folder_browser.h"

#include <shlobj.h>
#include <wrl/client.h>

#include "base/logging.h"
#include "base/win/scoped_co_mem.h"

namespace installer {

namespace {

int CALLBACK SelectInitialFolder(HWND browser, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data)
    ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

// The item's parsing name as the desktop folder gives it, when it gives a wide string.
bool GetParsingName(const ITEMIDLIST* item, std::wstring* name) {
  Microsoft::WRL::ComPtr<IShellFolder> desktop;
  if (FAILED(::SHGetDesktopFolder(desktop.GetAddressOf())))
    return false;
  STRRET result = {};
  if (FAILED(desktop->GetDisplayNameOf(item, SHGDN_FORPARSING, &result)))
    return false;
  if (result.uType != STRRET_WSTR)
    return false;
  base::win::ScopedCoMem<wchar_t> text;
  *text.Receive() = result.pOleStr;
  if (!text.Get())
    return false;
  *name = text.Get();
  return true;
}

}  // namespace

bool BrowseForFolder(HWND owner,
                     const std::wstring& title,
                     const std::wstring& initial_folder,
                     std::wstring* folder) {
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  if (!initial_folder.empty()) {
    info.lpfn = &SelectInitialFolder;
    info.lParam = reinterpret_cast<LPARAM>(initial_folder.c_str());
  }
  base::win::ScopedCoMem<ITEMIDLIST> item;
  *item.Receive() = ::SHBrowseForFolderW(&info);
  if (!item.Get())
    return false;
  if (GetParsingName(item.Get(), folder))
    return true;
  wchar_t path[MAX_PATH] = {};
  if (!::SHGetPathFromIDListW(item.Get(), path)) {
    LOG(ERROR) << "The chosen folder has no file-system path";
    return false;
  }
  *folder = path;
  return true;
}

}  // namespace installer
