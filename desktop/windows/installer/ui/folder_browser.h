#ifndef DESKTOP_WINDOWS_INSTALLER_UI_FOLDER_BROWSER_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_FOLDER_BROWSER_H_

#include <windows.h>

#include <string>

namespace installer {

// Lets the user choose a file-system folder with the shell's folder browser, owned by
// |owner|, titled |title| and starting at |initial_folder| when that is not empty. False
// when the user cancelled or the browser failed (logged). COM must be initialised on the
// calling thread.
bool BrowseForFolder(HWND owner,
                     const std::wstring& title,
                     const std::wstring& initial_folder,
                     std::wstring* folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_FOLDER_BROWSER_H_
