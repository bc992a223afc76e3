#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_WMI_LAUNCH_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_WMI_LAUNCH_H_

#include <stdint.h>

#include <string>

namespace installer {

// Starts |command_line| through WMI (Win32_Process.Create in "ROOT\CIMV2"), so that the
// process is started by the WMI service: it is neither a child of the caller nor in the
// caller's job. Returns the new process's id, 0 on failure. COM must be initialised on the
// calling thread.
uint32_t LaunchProcessViaWmi(const std::wstring& command_line);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_WMI_LAUNCH_H_
