#include "desktop/windows/installer/service/object_security.h"

#include <aclapi.h>

#include <utility>
#include <vector>

#include "base/logging.h"
#include "base/win/scoped_handle.h"

namespace installer {

namespace {

GENERIC_MAPPING GetGenericMapping(SE_OBJECT_TYPE object_type) {
  if (object_type == SE_REGISTRY_KEY || object_type == SE_REGISTRY_WOW64_32KEY)
    return GENERIC_MAPPING{KEY_READ, KEY_WRITE, KEY_EXECUTE, KEY_ALL_ACCESS};
  return GENERIC_MAPPING{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                         FILE_ALL_ACCESS};
}

// An impersonation token of the current user, as AccessCheck wants it: the thread's own
// when it impersonates, else a duplicate of the process token.
bool OpenImpersonationToken(base::win::ScopedHandle* token) {
  HANDLE raw_token = nullptr;
  if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &raw_token)) {
    token->Set(raw_token);
    return true;
  }
  if (::GetLastError() != ERROR_NO_TOKEN) {
    PLOG(ERROR) << "OpenThreadToken failed";
    return false;
  }
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &raw_token)) {
    PLOG(ERROR) << "OpenProcessToken failed";
    return false;
  }
  base::win::ScopedHandle process_token(raw_token);
  HANDLE duplicate = nullptr;
  if (!::DuplicateToken(process_token.Get(), SecurityImpersonation, &duplicate)) {
    PLOG(ERROR) << "DuplicateToken failed";
    return false;
  }
  token->Set(duplicate);
  return true;
}


// Without either protection flag the system would decide the protection itself: a list
// that was protected from its parent's entries would take them on again.
SECURITY_INFORMATION DaclInformation(bool dacl_protected) {
  return DACL_SECURITY_INFORMATION | (dacl_protected ? PROTECTED_DACL_SECURITY_INFORMATION
                                                     : UNPROTECTED_DACL_SECURITY_INFORMATION);
}

bool SetDacl(const std::wstring& object_name,
             SE_OBJECT_TYPE object_type,
             PACL dacl,
             bool dacl_protected) {
  std::wstring name = object_name;  // The function wants a writable string.
  const SECURITY_INFORMATION information = DaclInformation(dacl_protected);
  const DWORD error = ::SetNamedSecurityInfoW(&name[0], object_type, information, nullptr,
                                              nullptr, dacl, nullptr);
  if (error != ERROR_SUCCESS) {
    ELOG(ERROR, error) << "SetNamedSecurityInfo failed for " << object_name;
    return false;
  }
  return true;
}

// Merges |entry| into the object's discretionary access list.
bool GrantAccessToTrustee(const std::wstring& object_name,
                          SE_OBJECT_TYPE object_type,
                          EXPLICIT_ACCESS_W* entry,
                          std::unique_ptr<SavedSecurity>* saved_security) {
  PACL old_dacl = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  DWORD error =
      ::GetNamedSecurityInfoW(object_name.c_str(), object_type, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &old_dacl, nullptr, &raw_descriptor);
  base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  if (error != ERROR_SUCCESS) {
    ELOG(ERROR, error) << "GetNamedSecurityInfo failed for " << object_name;
    return false;
  }

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!::GetSecurityDescriptorControl(descriptor.Get(), &control, &revision)) {
    PLOG(ERROR) << "GetSecurityDescriptorControl failed for " << object_name;
    return false;
  }
  const bool dacl_protected = (control & SE_DACL_PROTECTED) != 0;

  // Without a list everyone has every right already; a new list holding only |entry|
  // would take them away from everyone else.
  if (old_dacl) {
    PACL raw_new_dacl = nullptr;
    error = ::SetEntriesInAclW(1, entry, old_dacl, &raw_new_dacl);
    base::win::ScopedLocalAlloc new_dacl(raw_new_dacl);
    if (error != ERROR_SUCCESS) {
      ELOG(ERROR, error) << "SetEntriesInAcl failed for " << object_name;
      return false;
    }
    if (!SetDacl(object_name, object_type, raw_new_dacl, dacl_protected))
      return false;
  } else {
    VLOG(1) << object_name << " has no access list; nothing to grant";
  }

  if (saved_security) {
    saved_security->reset(new SavedSecurity(object_name, object_type, std::move(descriptor),
                                            old_dacl, dacl_protected));
  }
  return true;
}

}  // namespace

PSID GetProcessUserSid(HANDLE process, std::vector<BYTE>* buffer) {
  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &raw_token)) {
    PLOG(ERROR) << "OpenProcessToken failed";
    return nullptr;
  }
  base::win::ScopedHandle token(raw_token);
  DWORD size = 0;
  ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) {
    PLOG(ERROR) << "GetTokenInformation(TokenUser) failed";
    return nullptr;
  }
  buffer->resize(size);
  if (!::GetTokenInformation(token.Get(), TokenUser, buffer->data(), size, &size)) {
    PLOG(ERROR) << "GetTokenInformation(TokenUser) failed";
    return nullptr;
  }
  return reinterpret_cast<TOKEN_USER*>(buffer->data())->User.Sid;
}

SavedSecurity::SavedSecurity(std::wstring object_name,
                             SE_OBJECT_TYPE object_type,
                             base::win::ScopedLocalAlloc descriptor,
                             PACL dacl,
                             bool dacl_protected)
    : object_name_(std::move(object_name)),
      object_type_(object_type),
      descriptor_(std::move(descriptor)),
      dacl_(dacl),
      dacl_protected_(dacl_protected) {}

SavedSecurity::~SavedSecurity() = default;

int HasAccess(const std::wstring& object_name, SE_OBJECT_TYPE object_type, ACCESS_MASK access) {
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  // AccessCheck refuses a descriptor without owner and group.
  const DWORD error = ::GetNamedSecurityInfoW(
      object_name.c_str(), object_type,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
      nullptr, nullptr, nullptr, nullptr, &raw_descriptor);
  base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  if (error != ERROR_SUCCESS) {
    ELOG(WARNING, error) << "GetNamedSecurityInfo failed for " << object_name;
    return -1;
  }

  base::win::ScopedHandle token;
  if (!OpenImpersonationToken(&token))
    return -1;

  GENERIC_MAPPING mapping = GetGenericMapping(object_type);
  DWORD desired = access;
  ::MapGenericMask(&desired, &mapping);

  std::vector<BYTE> privileges(sizeof(PRIVILEGE_SET));
  DWORD privileges_size = static_cast<DWORD>(privileges.size());
  DWORD granted = 0;
  BOOL access_status = FALSE;
  BOOL checked = ::AccessCheck(descriptor.Get(), token.Get(), desired, &mapping,
                               reinterpret_cast<PPRIVILEGE_SET>(privileges.data()),
                               &privileges_size, &granted, &access_status);
  if (!checked && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
      privileges_size > privileges.size()) {
    privileges.resize(privileges_size);
    checked = ::AccessCheck(descriptor.Get(), token.Get(), desired, &mapping,
                            reinterpret_cast<PPRIVILEGE_SET>(privileges.data()),
                            &privileges_size, &granted, &access_status);
  }
  if (!checked) {
    PLOG(ERROR) << "AccessCheck failed for " << object_name;
    return -1;
  }
  return access_status ? 1 : 0;
}

bool GrantAccess(const std::wstring& object_name,
                 SE_OBJECT_TYPE object_type,
                 ACCESS_MASK access,
                 DWORD inheritance,
                 std::unique_ptr<SavedSecurity>* saved_security) {
  std::vector<BYTE> sid_buffer;
  PSID user_sid = GetProcessUserSid(::GetCurrentProcess(), &sid_buffer);
  if (!user_sid)
    return false;
  EXPLICIT_ACCESS_W entry = {};
  entry.grfAccessPermissions = access;
  entry.grfAccessMode = GRANT_ACCESS;
  entry.grfInheritance = inheritance;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = TRUSTEE_IS_USER;
  entry.Trustee.ptstrName = static_cast<LPWSTR>(user_sid);
  return GrantAccessToTrustee(object_name, object_type, &entry, saved_security);
}

bool GrantAccessToUser(const std::wstring& object_name,
                       SE_OBJECT_TYPE object_type,
                       const std::wstring& user_name,
                       ACCESS_MASK access,
                       DWORD inheritance,
                       std::unique_ptr<SavedSecurity>* saved_security) {
  if (user_name.empty()) {
    LOG(ERROR) << "No user to grant access to " << object_name;
    return false;
  }
  std::wstring trustee_name = user_name;  // The trustee wants a writable string.
  EXPLICIT_ACCESS_W entry = {};
  ::BuildExplicitAccessWithNameW(&entry, &trustee_name[0], access, GRANT_ACCESS, inheritance);
  entry.Trustee.TrusteeType = TRUSTEE_IS_USER;
  return GrantAccessToTrustee(object_name, object_type, &entry, saved_security);
}

PSID GetAccountSid(const std::wstring& user_name, std::vector<BYTE>* buffer) {
  DWORD sid_size = 0;
  DWORD domain_size = 0;
  SID_NAME_USE use = SidTypeUnknown;
  ::LookupAccountNameW(nullptr, user_name.c_str(), nullptr, &sid_size, nullptr, &domain_size, &use);
  if (sid_size == 0) {
    PLOG(ERROR) << "No account is named " << user_name;
    return nullptr;
  }
  buffer->resize(sid_size);
  std::wstring domain(domain_size + 1, L'\0');
  if (!::LookupAccountNameW(nullptr, user_name.c_str(), buffer->data(), &sid_size, &domain[0],
                            &domain_size, &use)) {
    PLOG(ERROR) << "Cannot look up the account " << user_name;
    return nullptr;
  }
  return buffer->data();
}

bool IsProcessOfUser(HANDLE process, const std::wstring& user_name) {
  std::vector<BYTE> process_sid_buffer;
  const PSID process_sid = GetProcessUserSid(process, &process_sid_buffer);
  if (!process_sid)
    return false;
  std::vector<BYTE> user_sid_buffer;
  const PSID user_sid = GetAccountSid(user_name, &user_sid_buffer);
  return user_sid && ::EqualSid(process_sid, user_sid) != FALSE;
}

bool IsOwnedBy(HANDLE handle, SE_OBJECT_TYPE object_type, PSID sid) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  const DWORD error = ::GetSecurityInfo(handle, object_type, OWNER_SECURITY_INFORMATION, &owner,
                                        nullptr, nullptr, nullptr, &raw_descriptor);
  base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  if (error != ERROR_SUCCESS) {
    ELOG(ERROR, error) << "Cannot read the owner of an object";
    return false;
  }
  return owner && ::EqualSid(owner, sid) != FALSE;
}

bool GiveOwnershipToAdministrators(HANDLE handle, SE_OBJECT_TYPE object_type, bool inherited_only) {
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(administrators);
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) {
    PLOG(ERROR) << "Cannot make the SID of Administrators";
    return false;
  }
  DWORD error = ::SetSecurityInfo(handle, object_type, OWNER_SECURITY_INFORMATION,
                                  administrators, nullptr, nullptr, nullptr);
  if (error != ERROR_SUCCESS) {
    ELOG(ERROR, error) << "Cannot give an object to Administrators";
    return false;
  }
  if (!inherited_only)
    return true;
  // An empty list that is not protected: the system adds what the parent passes down.
  ACL empty;
  if (!::InitializeAcl(&empty, sizeof(empty), ACL_REVISION)) {
    PLOG(ERROR) << "InitializeAcl failed";
    return false;
  }
  error = ::SetSecurityInfo(handle, object_type,
                            DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, &empty, nullptr);
  if (error != ERROR_SUCCESS) {
    ELOG(ERROR, error) << "Cannot reset the access list of an object";
    return false;
  }
  return true;
}

ScopedTokenPrivileges::ScopedTokenPrivileges(std::initializer_list<const wchar_t*> names) {
  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          &raw_token)) {
    PLOG(ERROR) << "Cannot open this process's token to enable privileges";
    return;
  }
  token_.Set(raw_token);
  const DWORD count = static_cast<DWORD>(names.size());
  // TOKEN_PRIVILEGES holds one entry of its own: room for the others after it.
  const DWORD size =
      sizeof(TOKEN_PRIVILEGES) + (count ? count - 1 : 0) * sizeof(LUID_AND_ATTRIBUTES);
  std::vector<BYTE> wanted_buffer(size);
  TOKEN_PRIVILEGES* wanted = reinterpret_cast<TOKEN_PRIVILEGES*>(wanted_buffer.data());
  wanted->PrivilegeCount = count;
  DWORD index = 0;
  for (const wchar_t* name : names) {
    if (!::LookupPrivilegeValueW(nullptr, name, &wanted->Privileges[index].Luid)) {
      PLOG(ERROR) << "The privilege " << name << " is unknown";
      return;
    }
    wanted->Privileges[index++].Attributes = SE_PRIVILEGE_ENABLED;
  }
  previous_.resize(size);
  DWORD previous_size = 0;
  if (!::AdjustTokenPrivileges(token_.Get(), FALSE, wanted, size,
                               reinterpret_cast<TOKEN_PRIVILEGES*>(previous_.data()),
                               &previous_size)) {
    PLOG(ERROR) << "Cannot enable privileges in this process's token";
    previous_.clear();
    return;
  }
  // It succeeds also when the token lacks some: what it enabled is in |previous_|.
  if (::GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
    LOG(ERROR) << "This process's token lacks privileges it needs: it is not elevated";
    return;
  }
  all_enabled_ = true;
}

ScopedTokenPrivileges::~ScopedTokenPrivileges() {
  if (previous_.empty() ||
      reinterpret_cast<const TOKEN_PRIVILEGES*>(previous_.data())->PrivilegeCount == 0) {
    return;
  }
  if (!::AdjustTokenPrivileges(token_.Get(), FALSE,
                               reinterpret_cast<TOKEN_PRIVILEGES*>(previous_.data()), 0, nullptr,
                               nullptr)) {
    PLOG(ERROR) << "Cannot put this process's privileges back as they were";
  }
}

bool RestoreSecurity(const SavedSecurity& saved_security) {
  if (!saved_security.dacl()) {
    // GrantAccess changed nothing on an object without a list.
    return true;
  }
  return SetDacl(saved_security.object_name(), saved_security.object_type(),
                 saved_security.dacl(), saved_security.dacl_protected());
}

bool RestoreSecurityOnHandle(HANDLE object, const SavedSecurity& saved_security) {
  if (!saved_security.dacl())
    return true;
  const DWORD error = ::SetSecurityInfo(object, saved_security.object_type(),
                                        DaclInformation(saved_security.dacl_protected()),
                                        nullptr, nullptr, saved_security.dacl(), nullptr);
  if (error != ERROR_SUCCESS) {
    ELOG(ERROR, error) << "Cannot put the access list of " << saved_security.object_name()
                       << " back";
    return false;
  }
  return true;
}

}  // namespace installer
