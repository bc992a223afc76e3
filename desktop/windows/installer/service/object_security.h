#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_OBJECT_SECURITY_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_OBJECT_SECURITY_H_

#include <windows.h>

#include <accctrl.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"

namespace installer {

// The discretionary access list an object had before GrantAccess changed it, and whether
// it was protected from inheriting its parent's entries, so that RestoreSecurity can put it
// back as it was.
class SavedSecurity {
 public:
  // |descriptor| (allocated by the system with LocalAlloc) holds |dacl|, which may be null
  // for an object that had no DACL (everyone has full access).
  SavedSecurity(std::wstring object_name,
                SE_OBJECT_TYPE object_type,
                base::win::ScopedLocalAlloc descriptor,
                PACL dacl,
                bool dacl_protected);
  ~SavedSecurity();

  SavedSecurity(const SavedSecurity&) = delete;
  SavedSecurity& operator=(const SavedSecurity&) = delete;

  const std::wstring& object_name() const { return object_name_; }
  SE_OBJECT_TYPE object_type() const { return object_type_; }
  PACL dacl() const { return dacl_; }
  bool dacl_protected() const { return dacl_protected_; }

 private:
  std::wstring object_name_;
  SE_OBJECT_TYPE object_type_;
  base::win::ScopedLocalAlloc descriptor_;
  PACL dacl_;
  bool dacl_protected_;
};

// The SID of the user of |process|'s token (a handle with PROCESS_QUERY_LIMITED_INFORMATION
// access), kept in |buffer|; null, with the error logged, when it cannot be read.
PSID GetProcessUserSid(HANDLE process, std::vector<BYTE>* buffer);

// Whether the current user (the thread's impersonation token, else the process token) is
// granted every right of |access| (generic rights allowed) on the named object: 1 yes,
// 0 no, a negative value when the object's security or the token cannot be read. Only a
// positive result means access.
int HasAccess(const std::wstring& object_name, SE_OBJECT_TYPE object_type, ACCESS_MASK access);

// Adds an entry granting |access| to the current user (the process token's user) with
// |inheritance| (e.g. CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE, or NO_INHERITANCE) to the
// object's discretionary access list. A list protected from inheritance stays protected,
// an inheriting one keeps inheriting. When |saved_security| is not null it receives the
// previous list (also when the object had no list and nothing was changed). False, with
// the error logged, when the list cannot be read or written.
bool GrantAccess(const std::wstring& object_name,
                 SE_OBJECT_TYPE object_type,
                 ACCESS_MASK access,
                 DWORD inheritance,
                 std::unique_ptr<SavedSecurity>* saved_security);

// GrantAccess for the account named |user_name| ("DOMAIN\user" or "user").
bool GrantAccessToUser(const std::wstring& object_name,
                       SE_OBJECT_TYPE object_type,
                       const std::wstring& user_name,
                       ACCESS_MASK access,
                       DWORD inheritance,
                       std::unique_ptr<SavedSecurity>* saved_security);

// Whether the user of |process| (a handle with PROCESS_QUERY_LIMITED_INFORMATION access) is
// the account named |user_name|. False, with the error logged, when either cannot be told.
bool IsProcessOfUser(HANDLE process, const std::wstring& user_name);

// The SID of the account named |user_name| ("DOMAIN\user" or "user"), kept in |buffer|;
// null, with the error logged, when no account has that name.
PSID GetAccountSid(const std::wstring& user_name, std::vector<BYTE>* buffer);

// Whether |sid| owns the object behind |handle| (READ_CONTROL access). False, with the error
// logged, when its owner cannot be read.
bool IsOwnedBy(HANDLE handle, SE_OBJECT_TYPE object_type, PSID sid);

// Makes the Administrators group the owner of the object behind |handle| (WRITE_OWNER
// access): an owner may always change the object's access list, so an object a user came to
// own stays the user's until its owner changes. With |inherited_only| (and WRITE_DAC access)
// the object's own access entries go too, leaving what it inherits from its parent. False,
// with the error logged, when the system refuses.
bool GiveOwnershipToAdministrators(HANDLE handle, SE_OBJECT_TYPE object_type, bool inherited_only);

// Enables privileges of this process's token for as long as it lives, and then puts them
// back as they were (a privilege it enabled is disabled again; one enabled before stays).
// For an elevated process that must reach what an access list keeps it from (taking
// ownership, writing security past the list), and only for that: every thread of the
// process holds them meanwhile. A token that lacks one of them (a process not elevated)
// enables the others; IsValid says whether all are enabled.
//
//   const ScopedTokenPrivileges privileges({SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME});
//   if (!privileges.IsValid()) ...  // Logged: what the list keeps out stays out.
class ScopedTokenPrivileges {
 public:
  explicit ScopedTokenPrivileges(std::initializer_list<const wchar_t*> names);
  ~ScopedTokenPrivileges();

  ScopedTokenPrivileges(const ScopedTokenPrivileges&) = delete;
  ScopedTokenPrivileges& operator=(const ScopedTokenPrivileges&) = delete;

  // Whether every privilege asked for is enabled. False, logged, otherwise.
  bool IsValid() const { return all_enabled_; }

 private:
  base::win::ScopedHandle token_;
  // TOKEN_PRIVILEGES: the earlier state of those this object changed.
  std::vector<BYTE> previous_;
  bool all_enabled_ = false;
};

// Puts the saved discretionary access list back on its object. False, with the error
// logged, when the system refuses.
bool RestoreSecurity(const SavedSecurity& saved_security);

// RestoreSecurity through |object|, a handle to the same object with WRITE_DAC access: a
// handle opened before the list changed keeps that right whatever the list came to say
// meanwhile.
bool RestoreSecurityOnHandle(HANDLE object, const SavedSecurity& saved_security);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_OBJECT_SECURITY_H_
