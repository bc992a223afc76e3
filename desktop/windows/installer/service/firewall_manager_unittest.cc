#include "desktop/windows/installer/service/firewall_manager.h"

#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class FirewallManagerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(com_.Succeeded()); }

  base::win::ScopedComInitializer com_;
};

TEST_F(FirewallManagerTest, AddsAndRemovesTheMdnsRule) {
  const base::FilePath program(L"C:\\TavroTest\\Application\\tavro.exe");
  std::unique_ptr<FirewallManager> manager =
      FirewallManager::Create(ProductNaming::GetInstance(), program);
  ASSERT_TRUE(manager);
  EXPECT_EQ(L"Tavro (mDNS-In)", manager->mdns_rule_name());
  EXPECT_EQ(L"Inbound rule for Tavro to allow mDNS traffic.", manager->mdns_rule_description());
  EXPECT_EQ(L"Tavro", manager->group_name());
  // Wine's firewall accepts the changes and keeps nothing, so only the results show.
  EXPECT_TRUE(manager->AddFirewallRules());
  EXPECT_TRUE(manager->AddFirewallRules());
  EXPECT_TRUE(manager->RemoveFirewallRules());
  EXPECT_TRUE(manager->RemoveFirewallRules());
}

TEST_F(FirewallManagerTest, NoManagerWithoutProgram) {
  EXPECT_FALSE(FirewallManager::Create(ProductNaming::GetInstance(), base::FilePath()));
}

}  // namespace
}  // namespace installer
