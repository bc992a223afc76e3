#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_SYSTEM_VARIABLES_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_SYSTEM_VARIABLES_H_

#include <string>

namespace installer {

// Expands the variables of a command the system registered ("%SystemRoot%\system32\x.exe")
// with the system's own folders, never with the environment, which is the user's to set:
// SystemRoot and windir, SystemDrive, ProgramFiles, ProgramFiles(x86), ProgramW6432,
// CommonProgramFiles, CommonProgramFiles(x86), CommonProgramW6432 and ProgramData (names
// compared without regard to case). "%%" stands for one '%', and a '%' without a closing
// one is kept as it is. False, logged, when |text| names any other variable or a folder
// cannot be had; |expanded| is then unchanged.
//
//   ExpandSystemVariables(L"%SystemRoot%\\x.exe -a", &out)  ->  out == L"C:\\Windows\\x.exe -a"
//   ExpandSystemVariables(L"%TEMP%\\x.exe", &out)            ->  false
bool ExpandSystemVariables(const std::wstring& text, std::wstring* expanded);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_SYSTEM_VARIABLES_H_
