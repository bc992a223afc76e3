#include "desktop/windows/crash_reporter/crash_key_table.h"

#include <windows.h>

#include <string>

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/crash_config.h"
#include "desktop/windows/installer/service/product_info.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

std::wstring Name(const CrashKeyTableInfo& info, int slot) {
  return info.entries[slot].name;
}

std::wstring Value(const CrashKeyTableInfo& info, int slot) {
  return info.entries[slot].value;
}

TEST(CrashKeyTableTest, HoldsTheNamedSlotsInAReadOnlyBlock) {
  CrashKeyTable table;
  const CrashKeyTableInfo info = table.GetInfo();
  ASSERT_TRUE(info.entries);
  ASSERT_EQ(97u, info.count);

  // Every slot of a range carries the range's name.
  const std::pair<int, const wchar_t*> kNames[] = {{0, L"Version"},
                                                   {1, L"build_number"},
                                                   {2, L"BuildID"},
                                                   {3, L"process_type"},
                                                   {4, L"crash_guid"},
                                                   {5, L"URL"},
                                                   {20, L"URL"},
                                                   {25, L"gpu_vertex_shader_version"},
                                                   {26, L"is_wow64"},
                                                   {27, L"exception_policy"},
                                                   {31, L"brixel_test"},
                                                   {32, L"origin"},
                                                   {48, L"enabled_extensions"},
                                                   {49, L"disabled_extensions"},
                                                   {76, L"third_party_installs"},
                                                   {77, L"modules"},
                                                   {92, L"modules"},
                                                   {96, L"ab_tests"}};
  for (const auto& [slot, name] : kNames)
    EXPECT_EQ(name, Name(info, slot)) << slot;

  // What the table knows at once.
  EXPECT_EQ(base::Utf8ToUtf16(installer::ProductInfo::GetVersion()), Value(info, 0));
  EXPECT_EQ(std::to_wstring(installer::ProductInfo::GetBuildNumber()), Value(info, 1));
  EXPECT_EQ(GetBuildId(), Value(info, 2));
  EXPECT_EQ(L"0", Value(info, 26));  // A 64-bit process.
  // Wine has no user-mode exception policy: the key stays empty there.
  const bool has_policy = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"),
                                           "GetProcessUserModeExceptionPolicy") != nullptr;
  EXPECT_EQ(has_policy, !Value(info, 27).empty());
  EXPECT_EQ(L"", Value(info, 3));

  // The reporter reads the block at any time; a stray write cannot change it.
  MEMORY_BASIC_INFORMATION region = {};
  ASSERT_NE(0u, ::VirtualQuery(info.entries, &region, sizeof(region)));
  EXPECT_EQ(static_cast<DWORD>(PAGE_READONLY), region.Protect);
  table.SetCrashKey(CRASH_KEY_PROCESS_TYPE, L"installer");
  ASSERT_NE(0u, ::VirtualQuery(info.entries, &region, sizeof(region)));
  EXPECT_EQ(static_cast<DWORD>(PAGE_READONLY), region.Protect);
  EXPECT_EQ(L"installer", Value(info, 3));
}

TEST(CrashKeyTableTest, CutsValuesToTheSlotsTheyFit) {
  CrashKeyTable table;
  const CrashKeyTableInfo info = table.GetInfo();

  table.SetCrashKey(CRASH_KEY_ORIGIN, std::wstring(64, L'o').c_str());
  EXPECT_EQ(std::wstring(63, L'o'), Value(info, CRASH_KEY_ORIGIN));
  table.SetCrashKey(CRASH_KEY_ORIGIN, nullptr);
  EXPECT_EQ(L"", Value(info, CRASH_KEY_ORIGIN));

  // 100 characters: 63 in the first slot, 37 in the second, the rest of the range empty.
  std::wstring modules;
  for (int i = 0; i < 100; ++i)
    modules += static_cast<wchar_t>(L'a' + i % 26);
  table.SetCrashKeyRange(CRASH_KEY_MODULES_FIRST, CRASH_KEY_MODULES_LAST, modules);
  EXPECT_EQ(modules.substr(0, 63), Value(info, 77));
  EXPECT_EQ(modules.substr(63), Value(info, 78));
  for (int slot = 79; slot <= 92; ++slot)
    EXPECT_EQ(L"", Value(info, slot));
  EXPECT_EQ(L"ab_tests", Name(info, 93));
  EXPECT_EQ(L"", Value(info, 93));

  // A shorter value empties what a longer one left; text beyond the range is dropped.
  table.SetCrashKeyRange(CRASH_KEY_MODULES_FIRST, CRASH_KEY_MODULES_LAST, L"short");
  EXPECT_EQ(L"short", Value(info, 77));
  EXPECT_EQ(L"", Value(info, 78));
  table.SetCrashKeyRange(CRASH_KEY_BRIXEL_TEST_FIRST, CRASH_KEY_BRIXEL_TEST_LAST,
                         std::wstring(300, L'b'));
  for (int slot = 28; slot <= 31; ++slot)
    EXPECT_EQ(std::wstring(63, L'b'), Value(info, slot));
  EXPECT_EQ(L"", Value(info, CRASH_KEY_ORIGIN));
}

}  // namespace
}  // namespace crash_reporter
