#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_SECURE_NAMED_OBJECT_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_SECURE_NAMED_OBJECT_H_

#include <windows.h>

#include <string>

#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"

namespace installer {

// The named kernel objects through which installer processes agree (the claims and mutexes
// of a folder, the events that say "package ready", "interrupted" or "permission given",
// the front end's mailslot) decide what an installation does, and any process may make an
// object of a given name first. So each one is made with an access list that lets only the
// installing user, SYSTEM and Administrators at it; and one that exists already is used only
// when its owner is one of them and its access list lets nobody else change it (signal an
// event, take a mutex, write into a mailslot). Otherwise it is refused, with an error that
// names it; the caller stops.
//
// Example: the installer mutex of a folder.
//   NamedObject mutex = CreateNamedMutex(MakeObjectName(folder, L"Tavro/Installer", true),
//                                        IfExists::kUseWhenTrusted, false, false);
//   if (!mutex.handle.IsValid())
//     return Fail(mutex.refused ? "... made by someone else" : "... cannot be made");

// The result of making or opening a named object.
struct NamedObject {
  NamedObject();
  NamedObject(NamedObject&& other);
  NamedObject& operator=(NamedObject&& other);
  ~NamedObject();

  // Invalid when the object could not be made or opened, or was refused.
  base::win::ScopedHandle handle;
  // The object was there before: not made by this call.
  bool existed = false;
  // It exists but is not this installation's to use (see above); the reason, with the
  // object's name, is logged as an error. |handle| is invalid.
  bool refused = false;
};

// What to do with an object of the name that exists already.
enum class IfExists {
  // Use it when it passes the check: a process of this installation may have made it.
  kUseWhenTrusted,
  // Refuse it: only an object made now, with its state as made, will do.
  kRefuse,
};

// The security named objects are made with: the user of this process as owner, and an
// access list, protected from inheritance, of full access for that user, SYSTEM and
// Administrators (an elevated helper of another administrator included).
class NamedObjectSecurity {
 public:
  NamedObjectSecurity();
  // The same with |system_acl| ("S:...", a mandatory label say; may be empty) added.
  explicit NamedObjectSecurity(const std::wstring& system_acl);
  ~NamedObjectSecurity();

  NamedObjectSecurity(const NamedObjectSecurity&) = delete;
  NamedObjectSecurity& operator=(const NamedObjectSecurity&) = delete;

  // False, logged, when the descriptor could not be made.
  bool IsValid() const { return descriptor_.IsValid(); }
  PSECURITY_DESCRIPTOR descriptor() const { return descriptor_.Get(); }
  // Attributes that make an object with this security; |inheritable|: its handle passes to
  // child processes. Valid while this object lives.
  SECURITY_ATTRIBUTES* attributes(bool inheritable);

 private:
  base::win::ScopedLocalAlloc descriptor_;
  SECURITY_ATTRIBUTES attributes_ = {};
};

// Whether |object| (a handle with READ_CONTROL access to an object found, not made, under
// |name|) is owned by the user of this process, SYSTEM or Administrators, and no one else
// is allowed any of |change_rights| or a right to rewrite its security. False, with an error
// that names the object, otherwise or when its security cannot be read.
bool IsTrustedNamedObject(HANDLE object, const std::wstring& name, ACCESS_MASK change_rights);

// IsTrustedNamedObject with |trusted_user| in place of the user of this process: for an
// elevated process that uses the objects of the (maybe other) user whose process asked it to.
bool IsTrustedNamedObject(HANDLE object,
                          const std::wstring& name,
                          ACCESS_MASK change_rights,
                          PSID trusted_user);

// Makes the event |name| (unsignalled) with NamedObjectSecurity, or handles one that exists
// as |if_exists| says; an event used as found keeps its state. |inheritable|: the handle
// passes to child processes.
NamedObject CreateNamedEvent(const std::wstring& name,
                             bool manual_reset,
                             IfExists if_exists,
                             bool inheritable);

// Makes the mutex |name| with NamedObjectSecurity, or handles one that exists as
// |if_exists| says. Taking a mutex counts as changing it: one that others may wait for is
// refused.
// |initially_owned|: a mutex made now is owned by the calling thread (not one found).
NamedObject CreateNamedMutex(const std::wstring& name,
                             IfExists if_exists,
                             bool inheritable,
                             bool initially_owned);

// Opens the existing event |name| with |access| when it passes IsTrustedNamedObject. An
// event that does not exist gives an invalid handle, neither existed nor refused, and
// ERROR_FILE_NOT_FOUND as the last error (not logged: the caller knows what it means);
// other failures are logged and leave their error as the last one.
NamedObject OpenNamedEvent(const std::wstring& name, ACCESS_MASK access);

// OpenNamedEvent for an event that |trusted_user|, SYSTEM or Administrators must own (see
// IsTrustedNamedObject with a trusted user).
NamedObject OpenNamedEvent(const std::wstring& name, ACCESS_MASK access, PSID trusted_user);

// Makes the mailslot |path| ("\\.\mailslot\...") with NamedObjectSecurity, so that only the
// installing user, SYSTEM and Administrators can write into it. A mailslot of that name that
// exists already is another process's: refused.
NamedObject CreateNamedMailslot(const std::wstring& path,
                                DWORD max_message_size,
                                DWORD read_timeout_ms);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_SECURE_NAMED_OBJECT_H_
