#include "desktop/windows/installer/service/transactions/delete_registry_key_operation.h"

#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class DeleteRegistryKeyOperationTest : public test::RegistryKeyTest {
 protected:
  DeleteRegistryKeyOperationTest() : RegistryKeyTest(L"delete-key") {}
};

TEST_F(DeleteRegistryKeyOperationTest, DeletedTreeIsRestoredExactly) {
  WriteRaw(L"Tree", nullptr, REG_SZ, {'d', 0, 0, 0});
  WriteRaw(L"Tree", L"Expand", REG_EXPAND_SZ, {'%', 0, 'x', 0, '%', 0, 0, 0});
  WriteRaw(L"Tree", L"Dword", REG_DWORD, {1, 2, 3, 4});
  WriteRaw(L"Tree", L"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
  WriteRaw(L"Tree", L"Binary", REG_BINARY, {0, 255, 7});
  WriteRaw(L"Tree", L"None", REG_NONE, {});
  WriteRaw(L"Tree\\Sub\\Deeper", L"Multi", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0});
  WriteRaw(L"Tree\\Sub", L"Odd", REG_SZ, {'a', 0, 'b'});
  base::win::RegistryKey empty;
  ASSERT_EQ(ERROR_SUCCESS,
            empty.Create(HKEY_CURRENT_USER, Path(L"Tree\\Empty").c_str(), KEY_ALL_ACCESS));
  empty.Close();
  const test::RegistrySnapshot before = key_.Snapshot();

  DeleteRegistryKeyOperation operation(HKEY_CURRENT_USER, Path(L"tree"), 0);
  ASSERT_TRUE(operation.Do());
  EXPECT_EQ(1u, key_.Snapshot().size());  // Only the test key itself is left.
  operation.Rollback();
  EXPECT_EQ(before, key_.Snapshot());
  // The key keeps its spelling.
  base::win::RegistryKeyIterator names(HKEY_CURRENT_USER, key_.path().c_str());
  ASSERT_TRUE(names.Valid());
  EXPECT_EQ(L"Tree", names.Name());
}

TEST_F(DeleteRegistryKeyOperationTest, MissingKeySucceedsAndEmptyPathFails) {
  const test::RegistrySnapshot before = key_.Snapshot();
  DeleteRegistryKeyOperation missing(HKEY_CURRENT_USER, Path(L"missing\\key"), 0);
  EXPECT_TRUE(missing.Do());
  missing.Rollback();
  DeleteRegistryKeyOperation root(HKEY_CURRENT_USER, L"\\", 0);
  EXPECT_FALSE(root.Do());
  root.Rollback();
  EXPECT_EQ(before, key_.Snapshot());
}

TEST(DeleteRegistryKeyOperationViewTest, Wow64FlagDeletesInTheThirtyTwoBitView) {
  test::ScopedTestRegistryKey key(HKEY_LOCAL_MACHINE, L"delete-view", KEY_WOW64_32KEY);
  if (key.result() == ERROR_ACCESS_DENIED)
    GTEST_SKIP() << "No write access to HKEY_LOCAL_MACHINE";
  ASSERT_EQ(ERROR_SUCCESS, key.result());
  const std::wstring path = key.SubkeyPath(L"Sub");
  ASSERT_EQ(ERROR_SUCCESS, key.WriteRaw(L"Sub", L"v", REG_DWORD, {3, 2, 0, 0}));
  const test::RegistrySnapshot before = key.Snapshot();
  // In the 64-bit view the key does not exist: nothing to delete there.
  DeleteRegistryKeyOperation other_view(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY);
  EXPECT_TRUE(other_view.Do());
  EXPECT_EQ(before, key.Snapshot());
  DeleteRegistryKeyOperation operation(HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY);
  ASSERT_TRUE(operation.Do());
  EXPECT_EQ(0u, key.Snapshot().count(L"Sub"));
  operation.Rollback();
  EXPECT_EQ(before, key.Snapshot());
}

}  // namespace
}  // namespace installer
