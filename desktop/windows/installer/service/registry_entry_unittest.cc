#include "desktop/windows/installer/service/registry_entry.h"

#include <windows.h>

#include <stdint.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/transactions/change_registry_value_operation.h"
#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Resolves from a table (unknown names to themselves) and records into its own lists.
class TestResolver : public RegistryVariableResolver {
 public:
  std::wstring ResolveVariable(const std::wstring& name) override {
    requested.push_back(name);
    const auto it = variables.find(name);
    return it == variables.end() ? name : it->second;
  }
  RegistryRecord* GetRegistryRecord(HKEY root) override {
    if (!recording)
      return nullptr;
    return root == HKEY_LOCAL_MACHINE ? &hklm : &hkcu;
  }

  std::map<std::wstring, std::wstring> variables;
  std::vector<std::wstring> requested;
  bool recording = true;
  RegistryRecord hklm;
  RegistryRecord hkcu;
};

class RegistryEntryTest : public test::RegistryKeyTest {
 protected:
  RegistryEntryTest() : RegistryKeyTest(L"registry-entry") {}

  void SetUp() override {
    RegistryKeyTest::SetUp();
    resolver_.variables = {{L"Test", key_.path()},
                           {L"Product", L"Tavro"},
                           {L"Stream", L"Stable"},
                           {L"InstallFolder", L"C:\\Apps\\Tavro"},
                           {L"Empty", L""}};
  }

  // Converts and performs |row| under HKCU; false when either fails.
  bool Apply(const RegistryTemplateRow& row) {
    RegistryEntry entry(row, &resolver_);
    std::unique_ptr<Operation> operation;
    if (!entry.CreateOperation(HKEY_CURRENT_USER, &operation))
      return false;
    return !operation || operation->Do();
  }
  // The operation of |row| for HKCU, not yet performed.
  std::unique_ptr<Operation> Convert(const RegistryTemplateRow& row) {
    RegistryEntry entry(row, &resolver_);
    std::unique_ptr<Operation> operation;
    EXPECT_TRUE(entry.CreateOperation(HKEY_CURRENT_USER, &operation));
    EXPECT_TRUE(operation);
    return operation;
  }
  // Whether |row| yields an operation for |root|.
  bool Applies(const RegistryTemplateRow& row, HKEY root) {
    RegistryEntry entry(row, &resolver_);
    std::unique_ptr<Operation> operation;
    EXPECT_TRUE(entry.CreateOperation(root, &operation));
    return operation != nullptr;
  }
  static std::vector<uint8_t> Text(const std::wstring& text) {
    return ChangeRegistryValueOperation::TextData(text);
  }

  TestResolver resolver_;
};

constexpr int kXp = base::win::VERSION_XP;

TEST_F(RegistryEntryTest, WritesEachTypeWithVariablesExpanded) {
  const RegistryTemplateRow rows[] = {
      {L"{Test}\\{Product}{Stream}", L"FriendlyTypeName", REG_SZ, L"{Product} Web Document", kXp,
       nullptr, 0, 1, 0},
      {L"{Test}\\{Product}{Stream}\\shell\\open\\command", nullptr, REG_SZ,
       L"\"{InstallFolder}\\Launcher.exe\" -- \"%1\" {Unknown}", kXp, nullptr, 0, 2, 0},
      {L"{Test}\\{Product}{Stream}", L"URL Protocol", REG_SZ, nullptr, kXp, nullptr, 0, 1, 0},
      {L"{Test}\\{Product}{Stream}", L"Expand", REG_EXPAND_SZ, L"%TEMP%{Empty}", kXp, nullptr, 0, 1,
       0},
      {L"{Test}\\{Product}{Stream}", L"IconsVisible", REG_DWORD, 0x01020304, kXp, nullptr, 0, 1, 0},
      {L"{Test}\\.oex\\OpenWithProgIDs", L"{Product}{Stream}", REG_NONE, nullptr, kXp, nullptr, 0,
       0, 0},
      {L"{Test}\\{Product}{Stream}", L"Binary", REG_BINARY, L"00ff{Empty}7A", kXp, nullptr, 0, 1,
       0},
  };
  for (const RegistryTemplateRow& row : rows)
    ASSERT_TRUE(Apply(row)) << row.key;

  ExpectValue(L"TavroStable", L"FriendlyTypeName", REG_SZ, Text(L"Tavro Web Document"));
  ExpectValue(L"TavroStable\\shell\\open\\command", nullptr, REG_SZ,
              Text(L"\"C:\\Apps\\Tavro\\Launcher.exe\" -- \"%1\" Unknown"));
  ExpectValue(L"TavroStable", L"URL Protocol", REG_SZ, Text(L""));
  ExpectValue(L"TavroStable", L"Expand", REG_EXPAND_SZ, Text(L"%TEMP%"));
  ExpectValue(L"TavroStable", L"IconsVisible", REG_DWORD, {4, 3, 2, 1});
  ExpectValue(L".oex\\OpenWithProgIDs", L"TavroStable", REG_NONE, {});
  ExpectValue(L"TavroStable", L"Binary", REG_BINARY, {0x00, 0xFF, 0x7A});
  // The resolver sees the names without braces, exactly as written.
  EXPECT_EQ(1, std::count(resolver_.requested.begin(), resolver_.requested.end(), L"Unknown"));
  EXPECT_EQ(0, std::count(resolver_.requested.begin(), resolver_.requested.end(), L"{Product}"));
}

TEST_F(RegistryEntryTest, RecordsWrittenValuesByKey) {
  const RegistryTemplateRow rows[] = {
      {L"{Test}\\{Product}", L"A", REG_SZ, L"{InstallFolder}", kXp, nullptr, 0, 1, 0},
      {L"{Test}\\{Product}", nullptr, REG_DWORD, 32, kXp, nullptr, 0, 1, 0},
      {L"{Test}\\{Product}", L"A", REG_EXPAND_SZ, L"again", kXp, nullptr, 0, 1, 0},
      {L"{Test}\\Other", L"N", REG_NONE, nullptr, kXp, nullptr, 0, 0, 0},
      {L"{Test}\\Other", L"B", REG_BINARY, L"0A0b", kXp, nullptr, 0, 2, 0},
      {L"{Test}\\Gone", L"N", kRegistryRowDeleteValue, nullptr, kXp, nullptr, 0, 0, 0},
      {L"{Test}\\Gone", nullptr, kRegistryRowDeleteKey, nullptr, kXp, nullptr, 0, 0, 0},
  };
  for (const RegistryTemplateRow& row : rows)
    ASSERT_TRUE(Apply(row));

  const std::wstring product = key_.path() + L"\\Tavro";
  const std::wstring other = key_.path() + L"\\Other";
  const RegistryRecord expected = {
      {1, product, {{L"A", L"REG_EXPAND_SZ", L"again"}, {L"", L"REG_DWORD", L"32"}}},
      {2, other, {{L"N", L"REG_NONE", L""}, {L"B", L"REG_BINARY", L"0A0b"}}},
  };
  EXPECT_EQ(expected, resolver_.hkcu);
  EXPECT_TRUE(resolver_.hklm.empty());

  // Without a record nothing is kept.
  resolver_.recording = false;
  resolver_.hkcu.clear();
  ASSERT_TRUE(Apply(rows[0]));
  EXPECT_TRUE(resolver_.hkcu.empty());
}

TEST_F(RegistryEntryTest, DeleteRowsDeleteValuesAndKeys) {
  const RegistryTemplateRow write[] = {
      {L"{Test}\\Key\\ddeexec\\Topic", nullptr, REG_SZ, nullptr, kXp, nullptr, 0, 1, 0},
      {L"{Test}\\Key", L"Last Stable Install Path x64", REG_SZ, L"x", kXp, nullptr, 0, 0, 0},
  };
  for (const RegistryTemplateRow& row : write)
    ASSERT_TRUE(Apply(row));
  const RegistryTemplateRow remove[] = {
      {L"{Test}\\Key\\ddeexec", nullptr, kRegistryRowDeleteKey, nullptr, kXp, nullptr, 0, 0, 0},
      {L"{Test}\\Key", L"Last {Stream} Install Path x64", kRegistryRowDeleteValue, nullptr, kXp,
       nullptr, 0, 0, 0},
  };
  for (const RegistryTemplateRow& row : remove)
    ASSERT_TRUE(Apply(row));
  const test::RegistrySnapshot after = key_.Snapshot();
  EXPECT_EQ(0u, after.count(L"Key\\ddeexec"));
  ASSERT_EQ(1u, after.count(L"Key"));
  EXPECT_TRUE(after.at(L"Key").empty());
}

TEST_F(RegistryEntryTest, RowsApplyByWindowsVersionRootAndStream) {
  const int windows = base::win::GetWindowsVersion();
  const int stream = GetCurrentStream();
  // The tables' constant roots are the system's.
  auto row = [](int min_windows, RegistryRootFilter root, int min_stream) {
    return RegistryTemplateRow{L"{Test}\\Filtered", L"v", REG_DWORD, 1, min_windows, root,
                               min_stream,          0,    0};
  };
  EXPECT_TRUE(Applies(row(windows, kAnyRegistryRoot, stream), HKEY_CURRENT_USER));
  EXPECT_FALSE(Applies(row(windows + 1, kAnyRegistryRoot, 0), HKEY_CURRENT_USER));
  EXPECT_TRUE(Applies(row(windows, kLocalMachineRegistryRoot, 0), HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(Applies(row(kXp, kLocalMachineRegistryRoot, 0), HKEY_CURRENT_USER));
  EXPECT_TRUE(Applies(row(kXp, kCurrentUserRegistryRoot, 0), HKEY_CURRENT_USER));
  EXPECT_FALSE(Applies(row(kXp, kCurrentUserRegistryRoot, 0), HKEY_LOCAL_MACHINE));
  EXPECT_FALSE(Applies(row(kXp, kAnyRegistryRoot, stream + 1), HKEY_CURRENT_USER));
  // Converting alone records nothing, whether the row applies or not.
  EXPECT_TRUE(resolver_.hkcu.empty());
  EXPECT_TRUE(resolver_.hklm.empty());
}

// An uninstallation deletes what the record lists: it must hold what the registry holds,
// through failed operations and rollbacks.
TEST_F(RegistryEntryTest, RecordKeepsOnlyWhatWasWrittenAndNotUndone) {
  // A key name longer than the registry allows: the write fails.
  const std::wstring too_long = L"{Test}\\" + std::wstring(300, L'k');
  const RegistryTemplateRow first = {L"{Test}\\{Product}", L"A", REG_SZ, L"first", kXp, nullptr,
                                     0, 0, 0};
  const RegistryTemplateRow rows[] = {
      {L"{Test}\\{Product}", L"A", REG_EXPAND_SZ, L"second", kXp, nullptr, 0, 2, 0},
      {L"{Test}\\{Product}", L"B", REG_DWORD, 7, kXp, nullptr, 0, 1, 0},
      {L"{Test}\\New", L"C", REG_SZ, L"c", kXp, nullptr, 0, 1, 0},
  };
  const RegistryTemplateRow failing = {too_long.c_str(), L"D", REG_SZ, L"d", kXp, nullptr, 0, 1, 0};
  const std::wstring product = key_.path() + L"\\Tavro";

  std::unique_ptr<Operation> not_done = Convert(first);
  EXPECT_TRUE(resolver_.hkcu.empty());
  not_done.reset();

  Transaction kept;
  ASSERT_TRUE(kept.Do(Convert(first)));
  const RegistryRecord after_first = {{0, product, {{L"A", L"REG_SZ", L"first"}}}};
  EXPECT_EQ(after_first, resolver_.hkcu);

  Transaction undone;
  for (const RegistryTemplateRow& row : rows)
    ASSERT_TRUE(undone.Do(Convert(row))) << row.key;
  const RegistryRecord after_rows = {
      {2, product, {{L"A", L"REG_EXPAND_SZ", L"second"}, {L"B", L"REG_DWORD", L"7"}}},
      {1, key_.path() + L"\\New", {{L"C", L"REG_SZ", L"c"}}}};
  EXPECT_EQ(after_rows, resolver_.hkcu);
  EXPECT_FALSE(undone.Do(Convert(failing)));
  EXPECT_EQ(after_rows, resolver_.hkcu);

  undone.Rollback();
  EXPECT_EQ(after_first, resolver_.hkcu);
  ExpectValue(L"Tavro", L"A", REG_SZ, Text(L"first"));
  EXPECT_EQ(0u, key_.Snapshot().count(L"New"));
}

TEST_F(RegistryEntryTest, MalformedRowsAreRefused) {
  const RegistryTemplateRow rows[] = {
      {L"{Test}\\{Product", L"v", REG_SZ, L"x", kXp, nullptr, 0, 0, 0},
      {L"{Test}\\x", L"{}", REG_SZ, L"x", kXp, nullptr, 0, 0, 0},
      {L"{Test}\\x", L"v", REG_SZ, L"{a{Product}}", kXp, nullptr, 0, 0, 0},
      {L"{Empty}", L"v", REG_SZ, L"x", kXp, nullptr, 0, 0, 0},
      {L"\\{Empty}\\", nullptr, kRegistryRowDeleteKey, nullptr, kXp, nullptr, 0, 0, 0},
      {nullptr, L"v", REG_SZ, L"x", kXp, nullptr, 0, 0, 0},
      {L"{Test}\\x", L"v", REG_BINARY, L"abc", kXp, nullptr, 0, 0, 0},
      {L"{Test}\\x", L"v", REG_MULTI_SZ, L"x", kXp, nullptr, 0, 0, 0},
  };
  for (const RegistryTemplateRow& row : rows) {
    RegistryEntry entry(row, &resolver_);
    std::unique_ptr<Operation> operation;
    EXPECT_FALSE(entry.CreateOperation(HKEY_CURRENT_USER, &operation))
        << (row.key ? row.key : L"(null)");
    EXPECT_FALSE(operation);
  }
  EXPECT_TRUE(resolver_.hkcu.empty());
  EXPECT_EQ(1u, key_.Snapshot().size());
}

TEST(RegistryEntryViewTest, ThirtyTwoBitRowsLandInThatView) {
  test::ScopedTestRegistryKey key(HKEY_LOCAL_MACHINE, L"entry-view", KEY_WOW64_32KEY);
  if (key.result() == ERROR_ACCESS_DENIED)
    GTEST_SKIP() << "No write access to HKEY_LOCAL_MACHINE";
  ASSERT_EQ(ERROR_SUCCESS, key.result());
  TestResolver resolver;
  resolver.variables[L"Uninstall"] = key.path() + L"\\Tavro Stable 1.0";
  const RegistryTemplateRow row = {L"{Uninstall}",        L"NoModify", REG_DWORD, 1,
                                   base::win::VERSION_XP, nullptr,     0,         1,
                                   KEY_WOW64_32KEY};
  RegistryEntry entry(row, &resolver);
  std::unique_ptr<Operation> operation;
  ASSERT_TRUE(entry.CreateOperation(HKEY_LOCAL_MACHINE, &operation));
  ASSERT_TRUE(operation);
  ASSERT_TRUE(operation->Do());
  const std::wstring path = resolver.variables[L"Uninstall"];
  DWORD value = 0;
  EXPECT_EQ(ERROR_SUCCESS,
            base::win::RegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WOW64_32KEY)
                .ReadValueDword(L"NoModify", &value));
  EXPECT_EQ(1u, value);
  EXPECT_FALSE(
      base::win::RegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WOW64_64KEY).Valid());
  ASSERT_EQ(1u, resolver.hklm.size());
  EXPECT_EQ(path, resolver.hklm[0].key_path);
  operation->Rollback();
}

}  // namespace
}  // namespace installer
