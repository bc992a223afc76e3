#include "desktop/windows/installer/service/object_security.h"

#include <windows.h>

#include <memory>

#include "base/files/scoped_temp_dir.h"
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

}  // namespace
}  // namespace installer
