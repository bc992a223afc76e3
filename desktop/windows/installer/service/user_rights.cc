#include "desktop/windows/installer/service/user_rights.h"

#include <windows.h>

#include "base/logging.h"
#include "base/win/scoped_handle.h"

namespace installer {

namespace {

// Whether |token| (null: the calling thread's effective token) has the Administrators
// group enabled.
bool IsAdministratorsMember(HANDLE token) {
  BYTE sid_buffer[SECURITY_MAX_SID_SIZE];
  DWORD sid_size = sizeof(sid_buffer);
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid_buffer, &sid_size)) {
    PLOG(ERROR) << "CreateWellKnownSid failed";
    return false;
  }
  BOOL is_member = FALSE;
  if (!::CheckTokenMembership(token, sid_buffer, &is_member)) {
    PLOG(ERROR) << "CheckTokenMembership failed";
    return false;
  }
  return is_member != FALSE;
}

// Whether the process token is a limited token whose linked (elevated) token is an
// administrator's.
bool LinkedTokenIsAdmin() {
  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw_token)) {
    PLOG(ERROR) << "OpenProcessToken failed";
    return false;
  }
  base::win::ScopedHandle token(raw_token);

  TOKEN_ELEVATION_TYPE elevation_type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (!::GetTokenInformation(token.Get(), TokenElevationType, &elevation_type,
                             sizeof(elevation_type), &size)) {
    PLOG(ERROR) << "GetTokenInformation(TokenElevationType) failed";
    return false;
  }
  if (elevation_type != TokenElevationTypeLimited)
    return false;

  TOKEN_LINKED_TOKEN linked = {};
  if (!::GetTokenInformation(token.Get(), TokenLinkedToken, &linked, sizeof(linked), &size)) {
    PLOG(ERROR) << "GetTokenInformation(TokenLinkedToken) failed";
    return false;
  }
  base::win::ScopedHandle linked_token(linked.LinkedToken);
  // The linked token of a limited token is an identification-level impersonation token,
  // which is what CheckTokenMembership needs.
  return IsAdministratorsMember(linked_token.Get());
}

}  // namespace

bool IsProcessElevated() {
  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw_token)) {
    PLOG(ERROR) << "OpenProcessToken failed";
    return true;
  }
  const base::win::ScopedHandle token(raw_token);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (!::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size)) {
    PLOG(ERROR) << "GetTokenInformation(TokenElevation) failed";
    return true;
  }
  return elevation.TokenIsElevated != 0;
}

bool IsUserAdmin(bool consider_linked_token) {
  if (IsAdministratorsMember(nullptr))
    return true;
  return consider_linked_token && LinkedTokenIsAdmin();
}

bool RequiresElevation(bool all_users, bool has_write_access) {
  if (IsUserAdmin(false))
    return false;
  return all_users || !has_write_access;
}

}  // namespace installer
