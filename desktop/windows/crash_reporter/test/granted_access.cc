#include "desktop/windows/crash_reporter/test/granted_access.h"

#include <winternl.h>

namespace crash_reporter {
namespace test {

ACCESS_MASK GetGrantedAccess(HANDLE handle) {
  using NtQueryObjectFunction =
      NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
  const auto query_object = reinterpret_cast<NtQueryObjectFunction>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject"));
  PUBLIC_OBJECT_BASIC_INFORMATION information = {};
  if (!query_object || query_object(handle, ObjectBasicInformation, &information,
                                    sizeof(information), nullptr) != 0) {
    return 0;
  }
  return information.GrantedAccess;
}

}  // namespace test
}  // namespace crash_reporter
