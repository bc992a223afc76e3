#include "base/win/windows_version.h"

namespace base {
namespace win {

namespace {

// RtlGetVersion reports the real version whatever the executable's manifest declares
// (GetVersionEx stops at Windows 8 without a manifest entry for later versions).
OsInfo::VersionNumber ReadVersionNumber() {
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto rtl_get_version = reinterpret_cast<RtlGetVersionFunction>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!rtl_get_version || rtl_get_version(&info) != 0)
    return OsInfo::VersionNumber{0, 0, 0};
  return OsInfo::VersionNumber{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

WindowsVersion ToWindowsVersion(const OsInfo::VersionNumber& number) {
  if (number.major >= 10)
    return VERSION_WIN10;
  if (number.major == 6) {
    switch (number.minor) {
      case 0:
        return VERSION_VISTA;
      case 1:
        return VERSION_WIN7;
      case 2:
        return VERSION_WIN8;
      default:
        return VERSION_WIN8_1;
    }
  }
  if (number.major == 5) {
    if (number.minor == 0)
      return VERSION_PRE_XP;
    return number.minor == 1 ? VERSION_XP : VERSION_SERVER_2003;
  }
  return VERSION_PRE_XP;
}

OsInfo::WindowsArchitecture ToArchitecture(WORD processor_architecture) {
  switch (processor_architecture) {
    case PROCESSOR_ARCHITECTURE_INTEL:
      return OsInfo::X86_ARCHITECTURE;
    case PROCESSOR_ARCHITECTURE_AMD64:
      return OsInfo::X64_ARCHITECTURE;
    case PROCESSOR_ARCHITECTURE_IA64:
      return OsInfo::IA64_ARCHITECTURE;
    default:
      return OsInfo::OTHER_ARCHITECTURE;
  }
}

}  // namespace

// static
OsInfo* OsInfo::GetInstance() {
  // Never destroyed: read from anywhere until the process ends.
  static OsInfo* const instance = new OsInfo();
  return instance;
}

OsInfo::OsInfo() {
  version_number_ = ReadVersionNumber();
  version_ = ToWindowsVersion(version_number_);

  SYSTEM_INFO system_info = {};
  ::GetNativeSystemInfo(&system_info);
  architecture_ = ToArchitecture(system_info.wProcessorArchitecture);
  processors_ = static_cast<int>(system_info.dwNumberOfProcessors);

  wow64_status_ = GetWow64StatusForProcess(::GetCurrentProcess());
  is_64bit_windows_ = sizeof(void*) == 8 || wow64_status_ == WOW64_ENABLED;
}

// static
OsInfo::Wow64Status OsInfo::GetWow64StatusForProcess(HANDLE process) {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);
  const auto is_wow64_process = reinterpret_cast<IsWow64ProcessFunction>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process"));
  if (!is_wow64_process)
    return WOW64_UNKNOWN;
  BOOL is_wow64 = FALSE;
  if (!is_wow64_process(process, &is_wow64))
    return WOW64_UNKNOWN;
  return is_wow64 ? WOW64_ENABLED : WOW64_DISABLED;
}

WindowsVersion GetWindowsVersion() {
  return OsInfo::GetInstance()->version();
}

}  // namespace win
}  // namespace base
