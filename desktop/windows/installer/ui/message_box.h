#ifndef DESKTOP_WINDOWS_INSTALLER_UI_MESSAGE_BOX_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_MESSAGE_BOX_H_

#include <windows.h>

#include <string>

namespace installer {

// A system message box owned by |owner| (MessageBoxW's |type|) whose Yes, No and OK buttons
// read the installer's localised "&Yes", "&No" and "OK" rather than the system's language.
// Returns MessageBoxW's result. On the thread of |owner|.
int ShowLocalizedMessageBox(HWND owner,
                            const std::wstring& text,
                            const std::wstring& title,
                            UINT type);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_MESSAGE_BOX_H_
