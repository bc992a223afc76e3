#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_USER_RIGHTS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_USER_RIGHTS_H_

namespace installer {

// Whether the process token is a member of the Administrators group. With
// |consider_linked_token|, a limited token (User Account Control) whose linked elevated
// token is an administrator's counts too: the user can become an administrator by
// elevating.
bool IsUserAdmin(bool consider_linked_token);

// Whether the process token is elevated; true too when that cannot be told, so that callers
// then take the stricter way.
bool IsProcessElevated();

// Whether an installation needs an elevated process: never for an administrator; always
// for an all-users installation; otherwise only without write access to the install
// folder.
bool RequiresElevation(bool all_users, bool has_write_access);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_USER_RIGHTS_H_
