#include "desktop/windows/installer/backend_claim.h"

#include <windows.h>

#include <string>
#include <utility>

#include "base/logging.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/secure_named_object.h"

namespace installer {

namespace {

constexpr wchar_t kBackendClaimName[] = L"TavroInstaller/Backend";

}  // namespace

std::wstring GetBackendClaimName(const base::FilePath& install_folder) {
  return MakeObjectName(install_folder, kBackendClaimName, true);
}

base::win::ScopedHandle CreateBackendClaim(const base::FilePath& install_folder,
                                           bool inheritable) {
  const std::wstring name = GetBackendClaimName(install_folder);
  // Never signalled: only its existence counts.
  NamedObject claim = CreateNamedEvent(name, true, IfExists::kUseWhenTrusted, inheritable);
  if (!claim.handle.IsValid())
    LOG(ERROR) << "Cannot claim the install folder for the backend: " << name;
  return std::move(claim.handle);
}

BackendClaimState GetBackendClaimState(const base::FilePath& install_folder) {
  const std::wstring name = GetBackendClaimName(install_folder);
  const NamedObject claim = OpenNamedEvent(name, SYNCHRONIZE);
  if (claim.handle.IsValid())
    return BackendClaimState::kHeld;
  if (claim.refused)
    return BackendClaimState::kRefused;
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND)
    return BackendClaimState::kFree;
  ELOG(WARNING, error) << "The backend claim " << name << " cannot be opened: taken as held";
  return BackendClaimState::kHeld;
}

bool IsBackendClaimHeld(const base::FilePath& install_folder) {
  return GetBackendClaimState(install_folder) != BackendClaimState::kFree;
}

}  // namespace installer
