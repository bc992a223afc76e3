#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_USER_NAMES_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_USER_NAMES_H_

#include <string>

namespace installer {

// The logon name of the process's user, "DOMAIN\user" where the system knows the domain,
// else the bare user name. Usable as a trustee name in access-control entries. Empty when
// the system cannot tell.
std::wstring GetCurrentUserName();

// The user's display name ("Jane Doe"). Empty when the system has none; callers that must
// show something fall back to GetCurrentUserName.
std::wstring GetCurrentUserDisplayName();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_USER_NAMES_H_
