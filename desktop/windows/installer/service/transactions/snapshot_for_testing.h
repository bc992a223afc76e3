#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_SNAPSHOT_FOR_TESTING_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_SNAPSHOT_FOR_TESTING_H_

// Test support for the undoable operations: snapshots of a folder tree and of a registry
// tree, and a registry key of the test's own. Included by tests only.

#include <windows.h>

#include <stdint.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

// Every entry below a folder: relative path -> kind, the attributes that matter and the
// contents of a file.
using FileSnapshot = std::map<std::wstring, std::string>;

inline FileSnapshot TakeFileSnapshot(const base::FilePath& root) {
  FileSnapshot snapshot;
  base::FileEnumerator entries(root, true,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next()) {
    base::FilePath relative;
    root.AppendRelativePath(entry, &relative);
    const DWORD attributes = entries.GetInfo().find_data().dwFileAttributes &
                             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    std::string description = "attributes " + std::to_string(attributes);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      std::string contents;
      base::ReadFileToString(entry, &contents);
      description += ": " + contents;
    }
    snapshot[relative.value()] = description;
  }
  return snapshot;
}

// The relative paths of a snapshot, in order.
inline std::vector<std::wstring> ListPaths(const FileSnapshot& snapshot) {
  std::vector<std::wstring> paths;
  for (const auto& entry : snapshot)
    paths.push_back(entry.first);
  return paths;
}

// Every key below a key (itself included, as ""): relative path -> value name -> type and
// bytes.
using RegistryValues = std::map<std::wstring, std::pair<DWORD, std::vector<uint8_t>>>;
using RegistrySnapshot = std::map<std::wstring, RegistryValues>;

inline void AddToRegistrySnapshot(HKEY root,
                                  const std::wstring& path,
                                  const std::wstring& relative,
                                  REGSAM view,
                                  RegistrySnapshot* snapshot) {
  base::win::RegistryKey key;
  if (key.Open(root, path.c_str(), KEY_READ | view) != ERROR_SUCCESS)
    return;
  RegistryValues& values = (*snapshot)[relative];
  for (base::win::RegistryValueIterator it(root, path.c_str(), view); it.Valid(); ++it)
    values[it.Name()] = std::make_pair(it.Type(), it.Data());
  std::vector<std::wstring> subkeys;
  for (base::win::RegistryKeyIterator it(root, path.c_str(), view); it.Valid(); ++it)
    subkeys.push_back(it.Name());
  for (const std::wstring& subkey : subkeys) {
    AddToRegistrySnapshot(root, path + L"\\" + subkey,
                          relative.empty() ? subkey : relative + L"\\" + subkey, view, snapshot);
  }
}

// Empty when the key does not exist.
inline RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::wstring& path, REGSAM view = 0) {
  RegistrySnapshot snapshot;
  AddToRegistrySnapshot(root, path, std::wstring(), view, &snapshot);
  return snapshot;
}

// A key of the test's own, root\Software\TavroTest\<prefix>-<unique>, created empty and
// deleted with everything below it at the end.
class ScopedTestRegistryKey {
 public:
  ScopedTestRegistryKey(HKEY root, const wchar_t* prefix, REGSAM view = 0)
      : root_(root), view_(view) {
    static int counter = 0;
    name_ = std::wstring(prefix) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(++counter);
    path_ = std::wstring(kParent) + L"\\" + name_;
    base::win::RegistryKey key;
    result_ = key.Create(root_, path_.c_str(), KEY_ALL_ACCESS | view_);
  }
  ~ScopedTestRegistryKey() {
    base::win::RegistryKey parent(root_, kParent, KEY_ALL_ACCESS | view_);
    if (parent.Valid())
      parent.DeleteKey(name_.c_str());
  }
  ScopedTestRegistryKey(const ScopedTestRegistryKey&) = delete;
  ScopedTestRegistryKey& operator=(const ScopedTestRegistryKey&) = delete;

  // The status of creating the key.
  LONG result() const { return result_; }
  // The key's path below the root.
  const std::wstring& path() const { return path_; }
  // The path of |relative| below the key.
  std::wstring SubkeyPath(const std::wstring& relative) const {
    return relative.empty() ? path_ : path_ + L"\\" + relative;
  }
  RegistrySnapshot Snapshot() const { return TakeRegistrySnapshot(root_, path_, view_); }

  // Writes raw bytes of any type below the key, creating the subkey |relative|.
  LONG WriteRaw(const std::wstring& relative,
                const wchar_t* name,
                DWORD type,
                const std::vector<uint8_t>& data) const {
    base::win::RegistryKey key;
    const LONG result = key.Create(root_, SubkeyPath(relative).c_str(), KEY_ALL_ACCESS | view_);
    if (result != ERROR_SUCCESS)
      return result;
    return key.WriteValue(name, data.data(), static_cast<DWORD>(data.size()), type);
  }
  // The type and bytes of a value below the key; the type is kMissing when it cannot be
  // read.
  static constexpr DWORD kMissing = 0xFFFFFFFF;
  std::pair<DWORD, std::vector<uint8_t>> ReadRaw(const std::wstring& relative,
                                                 const wchar_t* name) const {
    base::win::RegistryKey key(root_, SubkeyPath(relative).c_str(), KEY_READ | view_);
    std::pair<DWORD, std::vector<uint8_t>> value(kMissing, std::vector<uint8_t>());
    if (key.ReadRawValue(name, &value.first, &value.second) != ERROR_SUCCESS)
      value.first = kMissing;
    return value;
  }

 private:
  static constexpr wchar_t kParent[] = L"Software\\TavroTest";

  const HKEY root_;
  const REGSAM view_;
  std::wstring name_;
  std::wstring path_;
  LONG result_ = ERROR_SUCCESS;
};

// A test with a temporary folder of its own, and the files in it.
class TempFolderTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.CreateUniqueTempDir()); }

  base::FilePath Path(const wchar_t* relative) const { return temp_.GetPath().Append(relative); }
  // Writes |contents| to the file |relative|, making its folder.
  void Write(const wchar_t* relative, const std::string& contents) {
    ASSERT_TRUE(base::CreateDirectory(Path(relative).DirName()));
    ASSERT_EQ(static_cast<int>(contents.size()),
              base::WriteFileFromBuffer(Path(relative), contents.data(),
                                        static_cast<int>(contents.size())));
  }
  // The contents of the file |relative|, or "(missing)".
  std::string Read(const wchar_t* relative) const {
    std::string contents;
    return base::ReadFileToString(Path(relative), &contents) ? contents : "(missing)";
  }
  FileSnapshot Snapshot() const { return TakeFileSnapshot(temp_.GetPath()); }

  base::ScopedTempDir temp_;
};

// A test with a registry key of its own under HKEY_CURRENT_USER.
class RegistryKeyTest : public testing::Test {
 protected:
  explicit RegistryKeyTest(const wchar_t* prefix) : key_(HKEY_CURRENT_USER, prefix) {}

  void SetUp() override { ASSERT_EQ(ERROR_SUCCESS, key_.result()); }

  std::wstring Path(const std::wstring& relative) const { return key_.SubkeyPath(relative); }
  void WriteRaw(const std::wstring& relative,
                const wchar_t* name,
                DWORD type,
                const std::vector<uint8_t>& data) {
    ASSERT_EQ(ERROR_SUCCESS, key_.WriteRaw(relative, name, type, data));
  }
  void ExpectValue(const std::wstring& relative,
                   const wchar_t* name,
                   DWORD type,
                   const std::vector<uint8_t>& data) {
    EXPECT_EQ(std::make_pair(type, data), key_.ReadRaw(relative, name));
  }

  ScopedTestRegistryKey key_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_SNAPSHOT_FOR_TESTING_H_
