#include "desktop/windows/installer/service/transactions/change_registry_value_operation.h"

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class ChangeRegistryValueOperationTest : public test::RegistryKeyTest {
 protected:
  ChangeRegistryValueOperationTest() : RegistryKeyTest(L"change-value") {}
};

TEST_F(ChangeRegistryValueOperationTest, WriteIntoMissingKeysIsUndone) {
  const test::RegistrySnapshot before = key_.Snapshot();
  ChangeRegistryValueOperation operation(HKEY_CURRENT_USER, Path(L"a\\b\\c"), L"Name",
                                         ChangeRegistryValueOperation::TextData(L"text"),
                                         REG_EXPAND_SZ, 0);
  ASSERT_TRUE(operation.Do());
  ExpectValue(L"a\\b\\c", L"Name", REG_EXPAND_SZ, ChangeRegistryValueOperation::TextData(L"text"));
  operation.Rollback();
  EXPECT_EQ(before, key_.Snapshot());
}

TEST_F(ChangeRegistryValueOperationTest, RollbackRestoresTypeAndBytesExactly) {
  // Text without its terminating NUL, and an odd number of bytes.
  const std::vector<uint8_t> odd = {'a', 0, 'b', 0, 'c'};
  WriteRaw(L"k", L"", REG_SZ, odd);
  WriteRaw(L"k", L"Number", REG_BINARY, {1, 2, 3});
  const test::RegistrySnapshot before = key_.Snapshot();

  ChangeRegistryValueOperation default_value(HKEY_CURRENT_USER, Path(L"k"), L"",
                                             ChangeRegistryValueOperation::DwordData(32), REG_DWORD,
                                             0);
  ASSERT_TRUE(default_value.Do());
  ExpectValue(L"k", nullptr, REG_DWORD, {32, 0, 0, 0});
  ChangeRegistryValueOperation none(HKEY_CURRENT_USER, Path(L"k"), L"Number", {}, REG_NONE, 0);
  ASSERT_TRUE(none.Do());
  ExpectValue(L"k", L"Number", REG_NONE, {});
  none.Rollback();
  default_value.Rollback();
  EXPECT_EQ(before, key_.Snapshot());
}

TEST_F(ChangeRegistryValueOperationTest, DeleteModeRestoresTheValue) {
  WriteRaw(L"k", L"Old", REG_MULTI_SZ, {'x', 0, 0, 0, 0, 0});
  const test::RegistrySnapshot before = key_.Snapshot();
  ChangeRegistryValueOperation operation(HKEY_CURRENT_USER, Path(L"k"), L"Old", {},
                                         ChangeRegistryValueOperation::kDeleteValue, 0);
  ASSERT_TRUE(operation.Do());
  EXPECT_FALSE(
      base::win::RegistryKey(HKEY_CURRENT_USER, Path(L"k").c_str(), KEY_READ).HasValue(L"Old"));
  operation.Rollback();
  EXPECT_EQ(before, key_.Snapshot());

  // A missing value or key is nothing to delete.
  ChangeRegistryValueOperation missing_value(HKEY_CURRENT_USER, Path(L"k"), L"None", {},
                                             ChangeRegistryValueOperation::kDeleteValue, 0);
  EXPECT_TRUE(missing_value.Do());
  ChangeRegistryValueOperation missing_key(HKEY_CURRENT_USER, Path(L"x\\y"), L"None", {},
                                           ChangeRegistryValueOperation::kDeleteValue, 0);
  EXPECT_TRUE(missing_key.Do());
  missing_key.Rollback();
  missing_value.Rollback();
  EXPECT_EQ(before, key_.Snapshot());
}

TEST_F(ChangeRegistryValueOperationTest, CreatedKeysWithForeignContentsStay) {
  ChangeRegistryValueOperation operation(HKEY_CURRENT_USER, Path(L"a\\b"), L"Mine",
                                         ChangeRegistryValueOperation::DwordData(1), REG_DWORD, 0);
  ASSERT_TRUE(operation.Do());
  WriteRaw(L"a", L"Foreign", REG_DWORD, {1, 0, 0, 0});
  operation.Rollback();
  const test::RegistrySnapshot after = key_.Snapshot();
  EXPECT_EQ(0u, after.count(L"a\\b"));
  ASSERT_EQ(1u, after.count(L"a"));
  EXPECT_EQ(1u, after.at(L"a").count(L"Foreign"));
}

// The 32-bit view of HKCU\Software is shared with the 64-bit one under Wine (and on
// Windows 7 and later), so the view is checked under HKLM.
TEST(ChangeRegistryValueOperationViewTest, Wow64FlagWritesTheThirtyTwoBitView) {
  test::ScopedTestRegistryKey key(HKEY_LOCAL_MACHINE, L"view", KEY_WOW64_32KEY);
  if (key.result() == ERROR_ACCESS_DENIED)
    GTEST_SKIP() << "No write access to HKEY_LOCAL_MACHINE";
  ASSERT_EQ(ERROR_SUCCESS, key.result());
  const test::RegistrySnapshot before = key.Snapshot();
  const std::wstring path = key.path() + L"\\Uninstall";
  ChangeRegistryValueOperation operation(HKEY_LOCAL_MACHINE, path, L"DisplayName",
                                         ChangeRegistryValueOperation::TextData(L"x"), REG_SZ,
                                         KEY_WOW64_32KEY);
  ASSERT_TRUE(operation.Do());
  EXPECT_TRUE(base::win::RegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WOW64_32KEY)
                  .HasValue(L"DisplayName"));
  EXPECT_FALSE(
      base::win::RegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WOW64_64KEY).Valid());
  operation.Rollback();
  EXPECT_EQ(before, key.Snapshot());
}

}  // namespace
}  // namespace installer
