#include "desktop/windows/installer/service/protected_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_local_alloc.h"

namespace installer {

namespace {

// Owner Administrators; SYSTEM and Administrators full control of the folder and of all
// that is made inside it, nothing inherited from the parent. The "owner rights" entry
// (S-1-3-4) leaves whoever owns an object only reading: an owner that is not an
// administrator (a file an elevated process makes is owned by its user when the system does
// not apply the requested owner, as under Wine) cannot rewrite the list.
constexpr wchar_t kAdminsOnlySddl[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;S-1-3-4)";
constexpr wchar_t kUsersReadSddl[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;S-1-3-4)(A;OICI;0x1200a9;;;BU)";

// Rights that change an object or decide who may.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                      FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                      WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The service that owns the system's own files, Program Files included: subfolders made
// there inherit its full control.
constexpr wchar_t kTrustedInstallerSid[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsTrusted(PSID sid, PSID also_trusted) {
  if (!sid || !::IsValidSid(sid))
    return false;
  if (also_trusted && ::EqualSid(sid, also_trusted))
    return true;
  if (::IsWellKnownSid(sid, WinLocalSystemSid) ||
      ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) {
    return true;
  }
  PSID raw = nullptr;
  if (!::ConvertStringSidToSidW(kTrustedInstallerSid, &raw))
    return false;
  base::win::ScopedLocalAlloc trusted_installer(raw);
  return ::EqualSid(sid, raw) != FALSE;
}

}  // namespace

base::win::ScopedLocalAlloc MakeProtectedFolderSecurity(Readers readers) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          readers == Readers::kAdminsOnly ? kAdminsOnlySddl : kUsersReadSddl, SDDL_REVISION_1,
          &descriptor, nullptr)) {
    PLOG(ERROR) << "Cannot make the security of a protected folder";
    return base::win::ScopedLocalAlloc();
  }
  return base::win::ScopedLocalAlloc(descriptor);
}

base::FilePath SystemTempFolder() {
  wchar_t windows_folder[MAX_PATH];
  const UINT length = ::GetSystemWindowsDirectoryW(windows_folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    PLOG(ERROR) << "GetSystemWindowsDirectory failed";
    return base::FilePath();
  }
  return base::FilePath(std::wstring(windows_folder, length)).Append(L"Temp");
}

bool CreateProtectedFolder(const base::FilePath& folder, Readers readers) {
  base::win::ScopedLocalAlloc descriptor = MakeProtectedFolderSecurity(readers);
  if (!descriptor.IsValid())
    return false;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
  if (!::CreateDirectoryW(folder.value().c_str(), &attributes)) {
    PLOG(ERROR) << "Cannot create the protected folder " << folder;
    return false;
  }
  return true;
}

bool CreateUniqueProtectedFolder(const base::FilePath& parent,
                                 const std::wstring& prefix,
                                 Readers readers,
                                 base::FilePath* folder) {
  if (parent.empty())
    return false;
  base::win::ScopedLocalAlloc descriptor = MakeProtectedFolderSecurity(readers);
  if (!descriptor.IsValid())
    return false;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
  for (int attempt = 0; attempt < 16; ++attempt) {
    const base::FilePath candidate =
        parent.Append(prefix + base::AsciiToUtf16(base::Uint64ToString(base::RandUint64())));
    if (::CreateDirectoryW(candidate.value().c_str(), &attributes)) {
      *folder = candidate;
      return true;
    }
    // A folder of that name may be anybody's: only a new one is ours.
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      PLOG(ERROR) << "Cannot create a protected folder in " << parent;
      return false;
    }
  }
  LOG(ERROR) << "No free name for a protected folder in " << parent;
  return false;
}

bool ProtectFolder(HANDLE folder, Readers readers) {
  base::win::ScopedLocalAlloc descriptor = MakeProtectedFolderSecurity(readers);
  if (!descriptor.IsValid())
    return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  if (!::GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) ||
      !::GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted)) {
    PLOG(ERROR) << "Cannot read the protected security";
    return false;
  }
  const DWORD error = ::SetSecurityInfo(
      folder, SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
      owner, nullptr, dacl, nullptr);
  if (error != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot protect a folder: " << logging::SystemErrorCodeToString(error);
    return false;
  }
  return true;
}

bool OnlyTrustedCanChange(HANDLE handle,
                          SE_OBJECT_TYPE object_type,
                          PSID also_trusted,
                          ACCESS_MASK also_counted) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  const DWORD error = ::GetSecurityInfo(handle, object_type,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &owner, nullptr, &dacl, nullptr, &raw_descriptor);
  base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  if (error != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot read an object's security: " << logging::SystemErrorCodeToString(error);
    return false;
  }
  if (!dacl) {
    LOG(ERROR) << "The object has no access list: everyone may change it";
    return false;
  }
  SID_IDENTIFIER_AUTHORITY creator_authority = SECURITY_CREATOR_SID_AUTHORITY;
  SID owner_rights = {};
  ::InitializeSid(&owner_rights, &creator_authority, 1);
  *::GetSidSubAuthority(&owner_rights, 0) = SECURITY_CREATOR_OWNER_RIGHTS_RID;
  // The owner may always rewrite the list unless an "owner rights" entry says what it may.
  bool owner_limited = false;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* raw_ace = nullptr;
    if (!::GetAce(dacl, index, &raw_ace)) {
      PLOG(ERROR) << "Cannot read an access list entry";
      return false;
    }
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(raw_ace);
    // Entries that only deny, or only apply to what is made inside, grant nothing here.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
      continue;
    const ACCESS_ALLOWED_ACE* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw_ace);
    PSID sid = const_cast<DWORD*>(&ace->SidStart);
    if ((ace->Mask & (kChangeRights | also_counted)) != 0 && !IsTrusted(sid, also_trusted)) {
      LOG(ERROR) << "The object's access list lets others change it";
      return false;
    }
    if (::EqualSid(sid, &owner_rights))
      owner_limited = true;
  }
  if (!owner_limited && !IsTrusted(owner, also_trusted)) {
    LOG(ERROR) << "The object's owner is not trusted and may change its access list";
    return false;
  }
  return true;
}

}  // namespace installer
