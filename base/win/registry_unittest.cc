#include "base/win/registry.h"

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

constexpr wchar_t kTestRoot[] = L"Software\\TavroTest";

// A key of its own below HKCU\Software\TavroTest (or another root), removed with everything
// below it when the test ends.
class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    name_ = L"registry-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(++counter);
    path_ = std::wstring(kTestRoot) + L"\\" + name_;
    ASSERT_EQ(ERROR_SUCCESS, key_.Create(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS));
  }

  void TearDown() override {
    key_.Close();
    for (const auto& [root, view] : cleanups_) {
      RegistryKey parent(root, kTestRoot, KEY_ALL_ACCESS | view);
      if (parent.Valid())
        parent.DeleteKey(name_.c_str());
    }
  }

  // Writes raw bytes, for data that WriteValue would never produce.
  void WriteRaw(const wchar_t* name, const void* data, DWORD size, DWORD type) {
    ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(name, data, size, type));
  }

  std::wstring name_;
  std::wstring path_;
  RegistryKey key_;
  std::vector<std::pair<HKEY, REGSAM>> cleanups_ = {{HKEY_CURRENT_USER, 0}};
};

TEST_F(RegistryTest, ReadsWrittenValuesOfEachType) {
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"text", L"C:\\Program Files\\Tavro"));
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(nullptr, L"default"));
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"number", DWORD{0xDEADBEEF}));
  const int64_t big = -0x123456789ABCLL;
  WriteRaw(L"qword", &big, sizeof(big), REG_QWORD);
  const wchar_t expand[] = L"%SystemRoot%\\x";
  WriteRaw(L"expand", expand, sizeof(expand), REG_EXPAND_SZ);
  const wchar_t multi[] = L"one\0two\0";  // The literal adds the final NUL.
  WriteRaw(L"multi", multi, sizeof(multi), REG_MULTI_SZ);

  std::wstring text;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"text", &text));
  EXPECT_EQ(L"C:\\Program Files\\Tavro", text);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(nullptr, &text));
  EXPECT_EQ(L"default", text);

  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"expand", &text));
  wchar_t expected[MAX_PATH];
  ASSERT_NE(0u, ::ExpandEnvironmentStringsW(expand, expected, MAX_PATH));
  EXPECT_EQ(expected, text);
  EXPECT_EQ(std::wstring::npos, text.find(L'%'));

  DWORD number = 0;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValueDword(L"number", &number));
  EXPECT_EQ(0xDEADBEEFu, number);
  int64_t qword = 0;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadInt64(L"qword", &qword));
  EXPECT_EQ(big, qword);

  std::vector<std::wstring> strings;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValues(L"multi", &strings));
  EXPECT_EQ((std::vector<std::wstring>{L"one", L"two"}), strings);

  // The written text carries its terminating NUL, and an embedded NUL ends it.
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"cut", std::wstring(L"ab\0cd", 5)));
  DWORD type = 0;
  std::vector<uint8_t> raw;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadRawValue(L"cut", &type, &raw));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(3 * sizeof(wchar_t), raw.size());

  // Data larger than the first read buffer.
  const std::wstring long_text(5000, L'x');
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"long", long_text));
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"long", &text));
  EXPECT_EQ(long_text, text);

  EXPECT_TRUE(key_.HasValue(L"text"));
  EXPECT_EQ(8u, key_.GetValueCount());
  EXPECT_EQ(ERROR_SUCCESS, key_.DeleteValue(L"text"));
  EXPECT_FALSE(key_.HasValue(L"text"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.DeleteValue(L"text"));
}

TEST_F(RegistryTest, WrongTypesAndMissingValuesLeaveOutputsAlone) {
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"number", DWORD{7}));
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"text", L"7"));
  const uint8_t three[] = {1, 2, 3};
  WriteRaw(L"short_dword", three, sizeof(three), REG_DWORD);
  const uint64_t eight = 1;
  WriteRaw(L"long_dword", &eight, sizeof(eight), REG_DWORD);
  WriteRaw(L"binary", three, sizeof(three), REG_BINARY);

  std::wstring text = L"unchanged";
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadValue(L"number", &text));
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadValue(L"binary", &text));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.ReadValue(L"missing", &text));
  EXPECT_EQ(L"unchanged", text);

  DWORD number = 42;
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadValueDword(L"text", &number));
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadValueDword(L"short_dword", &number));
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadValueDword(L"long_dword", &number));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.ReadValueDword(L"missing", &number));
  EXPECT_EQ(42u, number);

  int64_t qword = 42;
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadInt64(L"number", &qword));
  EXPECT_EQ(42, qword);
  std::vector<std::wstring> strings = {L"unchanged"};
  EXPECT_EQ(ERROR_CANTREAD, key_.ReadValues(L"text", &strings));
  EXPECT_EQ(1u, strings.size());

  EXPECT_FALSE(key_.HasValue(L"missing"));

  // A closed key reports an invalid handle rather than crashing.
  RegistryKey closed;
  EXPECT_NE(ERROR_SUCCESS, closed.ReadValue(L"text", &text));
  EXPECT_EQ(0u, closed.GetValueCount());
}

TEST_F(RegistryTest, ToleratesHostileTextData) {
  // REG_SZ without its terminating NUL, with an odd byte count, with an embedded NUL, empty.
  WriteRaw(L"no_nul", L"abc", 3 * sizeof(wchar_t), REG_SZ);
  WriteRaw(L"odd", L"abc", 3 * sizeof(wchar_t) + 1, REG_SZ);
  WriteRaw(L"embedded", L"ab\0cd", 6 * sizeof(wchar_t), REG_SZ);
  WriteRaw(L"empty", L"", 0, REG_SZ);
  WriteRaw(L"one_byte", "x", 1, REG_SZ);
  WriteRaw(L"expand_no_nul", L"%SystemRoot%", 12 * sizeof(wchar_t), REG_EXPAND_SZ);

  std::wstring text;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"no_nul", &text));
  EXPECT_EQ(L"abc", text);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"odd", &text));
  EXPECT_EQ(L"abc", text);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"embedded", &text));
  EXPECT_EQ(L"ab", text);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"empty", &text));
  EXPECT_EQ(L"", text);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"one_byte", &text));
  EXPECT_EQ(L"", text);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValue(L"expand_no_nul", &text));
  wchar_t expected[MAX_PATH];
  ASSERT_NE(0u, ::ExpandEnvironmentStringsW(L"%SystemRoot%", expected, MAX_PATH));
  EXPECT_EQ(expected, text);

  // REG_MULTI_SZ without terminators keeps its last string; an empty string ends the list.
  WriteRaw(L"multi_open", L"a\0bc", 4 * sizeof(wchar_t) + 1, REG_MULTI_SZ);
  WriteRaw(L"multi_gap", L"a\0\0b\0", 6 * sizeof(wchar_t), REG_MULTI_SZ);
  WriteRaw(L"multi_empty", L"", 0, REG_MULTI_SZ);
  std::vector<std::wstring> strings;
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValues(L"multi_open", &strings));
  EXPECT_EQ((std::vector<std::wstring>{L"a", L"bc"}), strings);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValues(L"multi_gap", &strings));
  EXPECT_EQ((std::vector<std::wstring>{L"a"}), strings);
  EXPECT_EQ(ERROR_SUCCESS, key_.ReadValues(L"multi_empty", &strings));
  EXPECT_TRUE(strings.empty());
}

TEST_F(RegistryTest, CreateOpenAndMove) {
  const std::wstring sub = path_ + L"\\a\\b";
  RegistryKey key;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_CURRENT_USER, sub.c_str(), KEY_READ));
  EXPECT_FALSE(key.Valid());

  DWORD disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Create(HKEY_CURRENT_USER, sub.c_str(), KEY_ALL_ACCESS, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"v", L"1"));
  ASSERT_EQ(ERROR_SUCCESS,
            key.Create(HKEY_CURRENT_USER, sub.c_str(), KEY_ALL_ACCESS, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);

  // Relative to an open key, and replacing the key that serves as the root.
  RegistryKey relative(key_.Handle(), L"a", KEY_READ);
  ASSERT_TRUE(relative.Valid());
  EXPECT_EQ(ERROR_SUCCESS, relative.Open(relative.Handle(), L"b", KEY_READ));
  EXPECT_TRUE(relative.HasValue(L"v"));

  RegistryKey moved(std::move(relative));
  EXPECT_FALSE(relative.Valid());
  EXPECT_TRUE(moved.HasValue(L"v"));
  key = std::move(moved);
  EXPECT_TRUE(key.HasValue(L"v"));
  HKEY taken = key.Take();
  EXPECT_FALSE(key.Valid());
  RegistryKey adopted(taken);
  EXPECT_TRUE(adopted.HasValue(L"v"));
}

TEST_F(RegistryTest, IteratesValuesAndSubkeys) {
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"text", L"hello"));
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"number", DWORD{5}));
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(nullptr, L"default"));
  const std::vector<uint8_t> big(3000, 0xAB);
  WriteRaw(L"big", big.data(), static_cast<DWORD>(big.size()), REG_BINARY);
  WriteRaw(L"none", nullptr, 0, REG_NONE);
  RegistryKey child;
  for (const wchar_t* name : {L"first", L"second", L"third"})
    ASSERT_EQ(ERROR_SUCCESS, child.Create(key_.Handle(), name, KEY_ALL_ACCESS));
  ASSERT_EQ(ERROR_SUCCESS, child.Create(key_.Handle(), L"first\\nested", KEY_ALL_ACCESS));
  child.Close();

  std::map<std::wstring, std::pair<DWORD, std::vector<uint8_t>>> values;
  RegistryValueIterator values_it(HKEY_CURRENT_USER, path_.c_str());
  EXPECT_EQ(5u, values_it.ValueCount());
  for (; values_it.Valid(); ++values_it)
    values[values_it.Name()] = {values_it.Type(), values_it.Data()};
  ASSERT_EQ(5u, values.size());
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), values[L"text"].first);
  EXPECT_EQ(6 * sizeof(wchar_t), values[L"text"].second.size());
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), values[L"number"].first);
  EXPECT_EQ((std::vector<uint8_t>{5, 0, 0, 0}), values[L"number"].second);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), values[L""].first);  // The default value.
  EXPECT_EQ(big, values[L"big"].second);
  EXPECT_EQ(static_cast<DWORD>(REG_NONE), values[L"none"].first);
  EXPECT_TRUE(values[L"none"].second.empty());

  std::set<std::wstring> subkeys;
  RegistryKeyIterator keys_it(HKEY_CURRENT_USER, path_.c_str());
  EXPECT_EQ(3u, keys_it.SubkeyCount());
  for (; keys_it.Valid(); ++keys_it)
    subkeys.insert(keys_it.Name());
  EXPECT_EQ((std::set<std::wstring>{L"first", L"second", L"third"}), subkeys);

  const std::wstring missing = path_ + L"\\missing";
  EXPECT_FALSE(RegistryValueIterator(HKEY_CURRENT_USER, missing.c_str()).Valid());
  EXPECT_FALSE(RegistryKeyIterator(HKEY_CURRENT_USER, missing.c_str()).Valid());
  const std::wstring empty = path_ + L"\\second";
  EXPECT_FALSE(RegistryValueIterator(HKEY_CURRENT_USER, empty.c_str()).Valid());
  EXPECT_FALSE(RegistryKeyIterator(HKEY_CURRENT_USER, empty.c_str()).Valid());
}

TEST_F(RegistryTest, DeleteKeyRemovesTheWholeTree) {
  RegistryKey child;
  ASSERT_EQ(ERROR_SUCCESS, child.Create(key_.Handle(), L"tree\\a\\b", KEY_ALL_ACCESS));
  ASSERT_EQ(ERROR_SUCCESS, child.WriteValue(L"deep", L"x"));
  ASSERT_EQ(ERROR_SUCCESS, child.Create(key_.Handle(), L"tree\\c", KEY_ALL_ACCESS));
  ASSERT_EQ(ERROR_SUCCESS, child.Create(key_.Handle(), L"tree", KEY_ALL_ACCESS));
  ASSERT_EQ(ERROR_SUCCESS, child.WriteValue(L"top", DWORD{1}));
  child.Close();
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteValue(L"sibling", L"kept"));

  EXPECT_EQ(ERROR_SUCCESS, key_.DeleteKey(L"tree"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, child.Open(key_.Handle(), L"tree", KEY_READ));
  EXPECT_TRUE(key_.HasValue(L"sibling"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key_.DeleteKey(L"tree"));

  // A path of several levels deletes only its last key; an empty name deletes nothing.
  ASSERT_EQ(ERROR_SUCCESS, child.Create(key_.Handle(), L"x\\y\\z", KEY_ALL_ACCESS));
  child.Close();
  EXPECT_EQ(ERROR_SUCCESS, key_.DeleteKey(L"x\\y"));
  EXPECT_EQ(ERROR_SUCCESS, child.Open(key_.Handle(), L"x", KEY_READ));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, child.Open(key_.Handle(), L"x\\y", KEY_READ));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, key_.DeleteKey(L""));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, key_.DeleteKey(nullptr));
  EXPECT_TRUE(key_.HasValue(L"sibling"));
}

// HKLM\Software has separate 32-bit and 64-bit views; HKCU\Software is shared by both.
TEST_F(RegistryTest, ViewFlagsSelectTheRegistryView) {
  cleanups_.push_back({HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY});
  cleanups_.push_back({HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY});
  RegistryKey key32;
  const LONG created =
      key32.Create(HKEY_LOCAL_MACHINE, path_.c_str(), KEY_ALL_ACCESS | KEY_WOW64_32KEY);
  if (created == ERROR_ACCESS_DENIED)
    GTEST_SKIP() << "HKEY_LOCAL_MACHINE needs an administrator";
  ASSERT_EQ(ERROR_SUCCESS, created);
  ASSERT_EQ(ERROR_SUCCESS, key32.WriteValue(L"view", L"32"));
  RegistryKey child;
  ASSERT_EQ(ERROR_SUCCESS, child.Create(key32.Handle(), L"sub\\deeper", KEY_ALL_ACCESS));
  child.Close();

  RegistryKey key64;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            key64.Open(HKEY_LOCAL_MACHINE, path_.c_str(), KEY_READ | KEY_WOW64_64KEY));
  ASSERT_EQ(ERROR_SUCCESS,
            key64.Create(HKEY_LOCAL_MACHINE, path_.c_str(), KEY_ALL_ACCESS | KEY_WOW64_64KEY));
  ASSERT_EQ(ERROR_SUCCESS, key64.WriteValue(L"view", L"64"));
  ASSERT_EQ(ERROR_SUCCESS, child.Create(key64.Handle(), L"sub", KEY_ALL_ACCESS));
  child.Close();

  std::wstring text;
  EXPECT_EQ(ERROR_SUCCESS, key32.ReadValue(L"view", &text));
  EXPECT_EQ(L"32", text);
  EXPECT_EQ(ERROR_SUCCESS, key64.ReadValue(L"view", &text));
  EXPECT_EQ(L"64", text);
  EXPECT_EQ(1u, RegistryValueIterator(HKEY_LOCAL_MACHINE, path_.c_str(), KEY_WOW64_32KEY)
                    .ValueCount());

  // Deleting in the 32-bit view leaves the 64-bit key alone.
  EXPECT_EQ(ERROR_SUCCESS, key32.DeleteKey(L"sub"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, child.Open(key32.Handle(), L"sub", KEY_READ));
  EXPECT_EQ(ERROR_SUCCESS, child.Open(key64.Handle(), L"sub", KEY_READ));

  RegistryKey user32(HKEY_CURRENT_USER, path_.c_str(), KEY_ALL_ACCESS | KEY_WOW64_32KEY);
  ASSERT_TRUE(user32.Valid());
  ASSERT_EQ(ERROR_SUCCESS, user32.WriteValue(L"shared", DWORD{1}));
  EXPECT_TRUE(key_.HasValue(L"shared"));
}

}  // namespace
}  // namespace win
}  // namespace base
