#ifndef BASE_WIN_WINDOWS_VERSION_H_
#define BASE_WIN_WINDOWS_VERSION_H_

#include <windows.h>

namespace base {
namespace win {

// Windows releases in order; compare with < and >=.
enum WindowsVersion {
  VERSION_PRE_XP = 0,  // Before Windows XP.
  VERSION_XP = 1,
  VERSION_SERVER_2003 = 2,  // Also XP Professional x64.
  VERSION_VISTA = 3,        // Also Server 2008.
  VERSION_WIN7 = 4,         // Also Server 2008 R2.
  VERSION_WIN8 = 5,         // Also Server 2012.
  VERSION_WIN8_1 = 6,       // Also Server 2012 R2.
  VERSION_WIN10 = 7,        // Windows 10 and everything later.
};

// What is known about the running system, read once.
class OsInfo {
 public:
  enum WindowsArchitecture {
    X86_ARCHITECTURE = 0,
    X64_ARCHITECTURE = 1,
    IA64_ARCHITECTURE = 2,
    OTHER_ARCHITECTURE = 3,
  };

  enum Wow64Status {
    WOW64_DISABLED,  // Not a 32-bit process on 64-bit Windows.
    WOW64_ENABLED,
    WOW64_UNKNOWN,  // IsWow64Process is missing or failed.
  };

  struct VersionNumber {
    DWORD major;
    DWORD minor;
    DWORD build;
  };

  static OsInfo* GetInstance();

  OsInfo(const OsInfo&) = delete;
  OsInfo& operator=(const OsInfo&) = delete;

  WindowsVersion version() const { return version_; }
  VersionNumber version_number() const { return version_number_; }
  // The architecture of the processor as Windows runs it.
  WindowsArchitecture architecture() const { return architecture_; }
  bool is_64bit_windows() const { return is_64bit_windows_; }
  // Logical processors.
  int processors() const { return processors_; }
  // Of this process.
  Wow64Status wow64_status() const { return wow64_status_; }

  static Wow64Status GetWow64StatusForProcess(HANDLE process);

 private:
  OsInfo();

  WindowsVersion version_;
  VersionNumber version_number_;
  WindowsArchitecture architecture_;
  bool is_64bit_windows_;
  int processors_;
  Wow64Status wow64_status_;
};

// Shorthand for OsInfo::GetInstance()->version().
WindowsVersion GetWindowsVersion();

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_WINDOWS_VERSION_H_
