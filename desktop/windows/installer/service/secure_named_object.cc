#include "desktop/windows/installer/service/secure_named_object.h"

#include <aclapi.h>
#include <sddl.h>

#include <utility>
#include <vector>

#include "base/logging.h"
#include "desktop/windows/installer/service/object_security.h"
#include "desktop/windows/installer/service/protected_folder.h"

namespace installer {

namespace {

// Who may signal an event: EVENT_MODIFY_STATE is among the rights that change a file.
constexpr ACCESS_MASK kEventChangeRights = 0;
// Whoever may wait for a mutex may take it and keep every installer out.
constexpr ACCESS_MASK kMutexChangeRights = SYNCHRONIZE | MUTEX_MODIFY_STATE | GENERIC_EXECUTE;

// The SID of this process's user, in |buffer|; null, logged, when it cannot be read.
PSID CurrentUserSid(std::vector<BYTE>* buffer) {
  return GetProcessUserSid(::GetCurrentProcess(), buffer);
}

// |object|, which the system says existed before, checked as |if_exists| asks.
NamedObject CheckExisting(base::win::ScopedHandle object,
                          const std::wstring& name,
                          const char* kind,
                          IfExists if_exists,
                          ACCESS_MASK change_rights,
                          PSID trusted_user = nullptr) {
  NamedObject result;
  result.existed = true;
  if (if_exists == IfExists::kRefuse) {
    LOG(ERROR) << "The " << kind << " " << name
               << " exists already: only one made by this installer now will do";
    result.refused = true;
    return result;
  }
  const bool trusted = trusted_user
                           ? IsTrustedNamedObject(object.Get(), name, change_rights, trusted_user)
                           : IsTrustedNamedObject(object.Get(), name, change_rights);
  if (!trusted) {
    result.refused = true;
    return result;
  }
  result.handle = std::move(object);
  return result;
}

// A failure to make or open an object whose last error is |error|: one that exists but
// keeps this user out is not this installation's.
NamedObject Failure(DWORD error) {
  NamedObject result;
  if (error == ERROR_ACCESS_DENIED) {
    result.existed = true;
    result.refused = true;
  }
  return result;
}

// The result of a create call whose handle is |made| and last error |error|.
NamedObject FinishCreate(HANDLE made,
                         DWORD error,
                         const std::wstring& name,
                         const char* kind,
                         IfExists if_exists,
                         ACCESS_MASK change_rights) {
  base::win::ScopedHandle object(made);
  if (!object.IsValid()) {
    ELOG(ERROR, error) << "Cannot make the " << kind << " " << name;
    return Failure(error);
  }
  if (error == ERROR_ALREADY_EXISTS)
    return CheckExisting(std::move(object), name, kind, if_exists, change_rights);
  NamedObject result;
  result.handle = std::move(object);
  return result;
}

}  // namespace

NamedObject::NamedObject() = default;
NamedObject::NamedObject(NamedObject&& other) = default;
NamedObject& NamedObject::operator=(NamedObject&& other) = default;
NamedObject::~NamedObject() = default;

NamedObjectSecurity::NamedObjectSecurity() : NamedObjectSecurity(std::wstring()) {}

NamedObjectSecurity::NamedObjectSecurity(const std::wstring& system_acl) {
  std::vector<BYTE> sid_buffer;
  const PSID user = CurrentUserSid(&sid_buffer);
  if (!user)
    return;
  wchar_t* raw_sid_text = nullptr;
  if (!::ConvertSidToStringSidW(user, &raw_sid_text)) {
    PLOG(ERROR) << "Cannot write the user's SID";
    return;
  }
  const base::win::ScopedLocalAlloc sid_text(raw_sid_text);
  // The owner named, as anyone may name themselves: otherwise what the system puts there
  // (nothing, under Wine) would not pass the check of an object found.
  const std::wstring user_text = raw_sid_text;
  const std::wstring sddl =
      L"O:" + user_text + L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + user_text + L")" + system_acl;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    PLOG(ERROR) << "Cannot make the security of the installer's named objects";
    return;
  }
  descriptor_.Set(descriptor);
}

NamedObjectSecurity::~NamedObjectSecurity() = default;

SECURITY_ATTRIBUTES* NamedObjectSecurity::attributes(bool inheritable) {
  attributes_ = {sizeof(attributes_), descriptor_.Get(), inheritable ? TRUE : FALSE};
  return &attributes_;
}

bool IsTrustedNamedObject(HANDLE object, const std::wstring& name, ACCESS_MASK change_rights) {
  std::vector<BYTE> sid_buffer;
  const PSID user = CurrentUserSid(&sid_buffer);
  return IsTrustedNamedObject(object, name, change_rights, user);
}

bool IsTrustedNamedObject(HANDLE object,
                          const std::wstring& name,
                          ACCESS_MASK change_rights,
                          PSID trusted_user) {
  if (trusted_user &&
      OnlyTrustedCanChange(object, SE_KERNEL_OBJECT, trusted_user, change_rights)) {
    return true;
  }
  LOG(ERROR) << "The named object " << name
             << " was made by another user or may be changed by others: it is not used";
  return false;
}

NamedObject CreateNamedEvent(const std::wstring& name,
                             bool manual_reset,
                             IfExists if_exists,
                             bool inheritable) {
  NamedObjectSecurity security;
  if (!security.IsValid())
    return NamedObject();
  const HANDLE made = ::CreateEventW(security.attributes(inheritable), manual_reset ? TRUE : FALSE,
                                     FALSE, name.c_str());
  const DWORD error = ::GetLastError();
  return FinishCreate(made, error, name, "event", if_exists, kEventChangeRights);
}

NamedObject CreateNamedMutex(const std::wstring& name,
                             IfExists if_exists,
                             bool inheritable,
                             bool initially_owned) {
  NamedObjectSecurity security;
  if (!security.IsValid())
    return NamedObject();
  const HANDLE made = ::CreateMutexW(security.attributes(inheritable),
                                     initially_owned ? TRUE : FALSE, name.c_str());
  const DWORD error = ::GetLastError();
  return FinishCreate(made, error, name, "mutex", if_exists, kMutexChangeRights);
}

NamedObject OpenNamedEvent(const std::wstring& name, ACCESS_MASK access) {
  std::vector<BYTE> sid_buffer;
  const PSID user = CurrentUserSid(&sid_buffer);
  if (!user)
    return NamedObject();
  return OpenNamedEvent(name, access, user);
}

NamedObject OpenNamedEvent(const std::wstring& name, ACCESS_MASK access, PSID trusted_user) {
  // READ_CONTROL to check who made it.
  const HANDLE opened = ::OpenEventW(access | READ_CONTROL, FALSE, name.c_str());
  const DWORD error = ::GetLastError();
  base::win::ScopedHandle event(opened);
  if (!event.IsValid()) {
    if (error != ERROR_FILE_NOT_FOUND)
      ELOG(ERROR, error) << "Cannot open the event " << name;
    ::SetLastError(error);
    return Failure(error);
  }
  return CheckExisting(std::move(event), name, "event", IfExists::kUseWhenTrusted,
                       kEventChangeRights, trusted_user);
}

NamedObject CreateNamedMailslot(const std::wstring& path,
                                DWORD max_message_size,
                                DWORD read_timeout_ms) {
  NamedObjectSecurity security;
  if (!security.IsValid())
    return NamedObject();
  const HANDLE made = ::CreateMailslotW(path.c_str(), max_message_size, read_timeout_ms,
                                        security.attributes(false));
  const DWORD error = ::GetLastError();
  base::win::ScopedHandle mailslot(made == INVALID_HANDLE_VALUE ? nullptr : made);
  NamedObject result;
  if (!mailslot.IsValid()) {
    // A mailslot has one reader: whoever made it first reads what the backend writes.
    if (error == ERROR_ALREADY_EXISTS) {
      result.existed = true;
      result.refused = true;
      LOG(ERROR) << "The mailslot " << path
                 << " exists already: another process reads it, so it is not used";
    } else {
      ELOG(ERROR, error) << "Failed creating " << path;
    }
    return result;
  }
  result.handle = std::move(mailslot);
  return result;
}

}  // namespace installer
