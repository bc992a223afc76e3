#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_MAIN_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_MAIN_H_

#include <string>

// The only entry of the library: the host executable calls it once and turns the byte
// into the process outcome (1 success, 0 failure).
extern "C" unsigned char RunInstaller();

namespace installer {

// printf-style output to the process's standard output, flushed at once.
void PrintOut(const char* format, ...);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_MAIN_H_
