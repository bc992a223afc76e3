#include "desktop/windows/installer/backend_claim.h"

#include <windows.h>

#include <string>

#include "base/logging.h"
#include "desktop/windows/installer/service/named_objects.h"

namespace installer {

namespace {

constexpr wchar_t kBackendClaimName[] = L"TavroInstaller/Backend";

}  // namespace

base::win::ScopedHandle CreateBackendClaim(const base::FilePath& install_folder,
                                           bool inheritable) {
  const std::wstring name = MakeObjectName(install_folder, kBackendClaimName, true);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, inheritable ? TRUE : FALSE};
  // Never signalled: only its existence counts.
  base::win::ScopedHandle claim(::CreateEventW(&attributes, TRUE, FALSE, name.c_str()));
  if (!claim.IsValid())
    PLOG(ERROR) << "Cannot claim the install folder for the backend: " << name;
  return claim;
}

bool IsBackendClaimHeld(const base::FilePath& install_folder) {
  const std::wstring name = MakeObjectName(install_folder, kBackendClaimName, true);
  const base::win::ScopedHandle claim(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
  if (claim.IsValid())
    return true;
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND)
    return false;
  ELOG(WARNING, error) << "The backend claim " << name << " cannot be opened: taken as held";
  return true;
}

}  // namespace installer
