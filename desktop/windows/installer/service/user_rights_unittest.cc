#include "desktop/windows/installer/service/user_rights.h"

#include "desktop/windows/installer/service/user_names.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Wine runs every process with a full administrator's token.
TEST(UserRightsTest, AdministratorNeverNeedsElevation) {
  ASSERT_TRUE(IsUserAdmin(false));
  EXPECT_TRUE(IsUserAdmin(true));
  EXPECT_FALSE(RequiresElevation(true, false));
  EXPECT_FALSE(RequiresElevation(false, false));
}

TEST(UserRightsTest, UserNameNamesTheAccount) {
  const std::wstring name = GetCurrentUserName();
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(std::wstring::npos, name.find(L'\0'));
}

}  // namespace
}  // namespace installer
