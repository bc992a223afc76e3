#include "desktop/windows/installer/service/object_security.h"

#include <windows.h>
#include <aclapi.h>

#include <memory>
#include <vector>

#include "base/files/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/user_names.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Under Wine SetNamedSecurityInfoW succeeds without keeping the new list, and access lists
// are not enforced: these tests check that the calls succeed and fail where they must, not
// what the folder's list holds afterwards.
constexpr ACCESS_MASK kReadWriteExecute = 0x1201BF;
constexpr DWORD kInherit = CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE;

class ObjectSecurityTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    folder_ = temp_dir_.GetPath().value();
    missing_ = temp_dir_.GetPath().Append(L"missing").value();
  }

  base::ScopedTempDir temp_dir_;
  std::wstring folder_;
  std::wstring missing_;
};

TEST_F(ObjectSecurityTest, HasAccessToOwnFolder) {
  EXPECT_EQ(1, HasAccess(folder_, SE_FILE_OBJECT, kReadWriteExecute));
  EXPECT_EQ(1, HasAccess(folder_, SE_FILE_OBJECT, FILE_ADD_SUBDIRECTORY));
  EXPECT_EQ(1, HasAccess(folder_, SE_FILE_OBJECT, GENERIC_READ | GENERIC_WRITE));
  EXPECT_LT(HasAccess(missing_, SE_FILE_OBJECT, kReadWriteExecute), 0);
}

TEST_F(ObjectSecurityTest, GrantAndRestore) {
  std::unique_ptr<SavedSecurity> saved;
  ASSERT_TRUE(GrantAccess(folder_, SE_FILE_OBJECT, kReadWriteExecute, kInherit, &saved));
  ASSERT_TRUE(saved);
  EXPECT_EQ(folder_, saved->object_name());
  EXPECT_EQ(SE_FILE_OBJECT, saved->object_type());
  EXPECT_EQ(1, HasAccess(folder_, SE_FILE_OBJECT, kReadWriteExecute));
  EXPECT_TRUE(RestoreSecurity(*saved));

  // A permanent grant keeps nothing to restore.
  EXPECT_TRUE(GrantAccess(folder_, SE_FILE_OBJECT, GENERIC_ALL, kInherit, nullptr));

  std::unique_ptr<SavedSecurity> not_saved;
  EXPECT_FALSE(GrantAccess(missing_, SE_FILE_OBJECT, GENERIC_ALL, kInherit, &not_saved));
  EXPECT_FALSE(not_saved);
}

TEST_F(ObjectSecurityTest, GrantToNamedUser) {
  const std::wstring user = GetCurrentUserName();
  ASSERT_FALSE(user.empty());
  std::unique_ptr<SavedSecurity> saved;
  ASSERT_TRUE(GrantAccessToUser(folder_, SE_FILE_OBJECT, user, GENERIC_ALL, kInherit, &saved));
  ASSERT_TRUE(saved);
  EXPECT_TRUE(RestoreSecurity(*saved));

  std::unique_ptr<SavedSecurity> not_saved;
  EXPECT_FALSE(GrantAccessToUser(folder_, SE_FILE_OBJECT, L"NoSuchUser-7f3a9c", GENERIC_ALL,
                                 kInherit, &not_saved));
  EXPECT_FALSE(GrantAccessToUser(folder_, SE_FILE_OBJECT, L"", GENERIC_ALL, kInherit,
                                 &not_saved));
  EXPECT_FALSE(not_saved);
}

// Wine keeps the owner of kernel objects as set (of files it makes one up), so the change of
// owner shows on an event.
TEST_F(ObjectSecurityTest, GivesAnObjectOfTheUserToAdministrators) {
  const base::win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.IsValid());
  std::vector<BYTE> user_buffer;
  const PSID user = GetAccountSid(GetCurrentUserName(), &user_buffer);
  ASSERT_NE(nullptr, user);
  // An object the user's own (unelevated) process made.
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            ::SetSecurityInfo(event.Get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, user,
                              nullptr, nullptr, nullptr));
  ASSERT_TRUE(IsOwnedBy(event.Get(), SE_KERNEL_OBJECT, user));

  EXPECT_TRUE(GiveOwnershipToAdministrators(event.Get(), SE_KERNEL_OBJECT, false));
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(administrators);
  ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
  EXPECT_TRUE(IsOwnedBy(event.Get(), SE_KERNEL_OBJECT, administrators));
  EXPECT_FALSE(IsOwnedBy(event.Get(), SE_KERNEL_OBJECT, user));
  EXPECT_EQ(nullptr, GetAccountSid(L"no such account 7f3a", &user_buffer));
}

// Whether the privilege |name| is enabled in this process's token (false when the token
// does not hold it).
bool IsEnabled(const wchar_t* name) {
  HANDLE raw_token = nullptr;
  PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {{{0, 0}, 0}}};
  BOOL enabled = FALSE;
  if (!::LookupPrivilegeValueW(nullptr, name, &set.Privilege[0].Luid) ||
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw_token)) {
    return false;
  }
  const base::win::ScopedHandle token(raw_token);
  return ::PrivilegeCheck(token.Get(), &set, &enabled) && enabled;
}

// Sets the privilege |name| of this process's token enabled or not.
bool SetPrivilege(const wchar_t* name, bool enabled) {
  TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, enabled ? SE_PRIVILEGE_ENABLED : 0u}}};
  HANDLE raw_token = nullptr;
  if (!::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) ||
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &raw_token)) {
    return false;
  }
  const base::win::ScopedHandle token(raw_token);
  return ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) &&
         ::GetLastError() == ERROR_SUCCESS;
}

// The privileges are enabled only while held, and then put back as they were: one that was
// enabled before stays enabled.
TEST_F(ObjectSecurityTest, PrivilegesAreEnabledOnlyWhileHeld) {
  ASSERT_TRUE(SetPrivilege(SE_TAKE_OWNERSHIP_NAME, false));
  ASSERT_TRUE(SetPrivilege(SE_RESTORE_NAME, true));
  {
    const ScopedTokenPrivileges privileges({SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME});
    EXPECT_TRUE(privileges.IsValid());
    EXPECT_TRUE(IsEnabled(SE_TAKE_OWNERSHIP_NAME) && IsEnabled(SE_RESTORE_NAME));
  }
  EXPECT_FALSE(IsEnabled(SE_TAKE_OWNERSHIP_NAME));
  EXPECT_TRUE(IsEnabled(SE_RESTORE_NAME));
  ASSERT_TRUE(SetPrivilege(SE_RESTORE_NAME, false));
  EXPECT_FALSE(ScopedTokenPrivileges({SE_RESTORE_NAME, L"SeNoSuchPrivilege"}).IsValid());
  EXPECT_FALSE(IsEnabled(SE_RESTORE_NAME));
}

}  // namespace
}  // namespace installer
