#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/registry_snapshot.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

bool Write(const base::FilePath& path, const std::string& text) {
  return base::WriteFileFromBuffer(path, text.data(), static_cast<int>(text.size())) ==
         static_cast<int>(text.size());
}

TEST(TreeSnapshotTest, ShowsAddedRemovedAndChangedFilesOutsideTheAllowList) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath root = temp.GetPath();
  ASSERT_TRUE(base::CreateDirectory(root.Append(L"sub")));
  ASSERT_TRUE(Write(root.Append(L"kept.txt"), "kept"));
  ASSERT_TRUE(Write(root.Append(L"removed.txt"), "removed"));
  ASSERT_TRUE(Write(root.Append(L"sub\\same size.txt"), "abc"));
  ASSERT_TRUE(Write(root.Append(L"sub\\grows.txt"), "a"));
  ASSERT_TRUE(Write(root.Append(L"sub\\read only.txt"), "r"));
  const TreeSnapshot before = TreeSnapshot::Capture(root);
  ASSERT_NE(nullptr, before.Find(L"sub\\same size.txt"));
  EXPECT_EQ(3, before.Find(L"sub\\same size.txt")->size);

  ASSERT_TRUE(base::DeletePath(root.Append(L"removed.txt"), false));
  ASSERT_TRUE(Write(root.Append(L"sub\\same size.txt"), "abd"));
  ASSERT_TRUE(Write(root.Append(L"sub\\grows.txt"), "ab"));
  ASSERT_TRUE(::SetFileAttributesW(root.Append(L"sub\\read only.txt").value().c_str(),
                                   FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(base::CreateDirectory(root.Append(L"added\\deeper")));
  ASSERT_TRUE(Write(root.Append(L"added\\deeper\\new.txt"), "new"));
  ASSERT_TRUE(Write(root.Append(L"sub\\installer.log"), "allowed"));

  const std::vector<SnapshotDifference> differences =
      CompareSnapshots(before, TreeSnapshot::Capture(root), {L"*.LOG"});
  EXPECT_EQ(
      "+ added\n"
      "+ added\\deeper\n"
      "+ added\\deeper\\new.txt\n"
      "- removed.txt\n"
      "~ sub\\grows.txt: size 1 -> 2\n"
      "~ sub\\read only.txt: attributes 0x0 -> 0x1\n"
      "~ sub\\same size.txt: content\n",
      FormatDifferences(differences));
  ::SetFileAttributesW(root.Append(L"sub\\read only.txt").value().c_str(), FILE_ATTRIBUTE_NORMAL);

  // A tree that is gone left everything removed; one that never was has nothing.
  EXPECT_TRUE(TreeSnapshot::Capture(root.Append(L"missing")).entries().empty());
}

TEST(RegistrySnapshotTest, ShowsAddedRemovedAndChangedValuesOutsideTheAllowList) {
  const std::wstring path =
      L"Software\\TavroTest\\Snapshot_" + std::to_wstring(::GetCurrentProcessId());
  base::win::RegistryKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path.c_str(), KEY_ALL_ACCESS));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"Kept", L"same"));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"Removed", L"gone soon"));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"Counter", DWORD{1}));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(nullptr, L"default"));
  const std::vector<RegistryRoot> roots = {{HKEY_CURRENT_USER, path}};
  const RegistrySnapshot before = RegistrySnapshot::Capture(roots);
  ASSERT_NE(nullptr, before.FindValue(L"HKCU\\" + path, L"counter"));
  EXPECT_EQ("dword 1 (0x1)", before.FindValue(L"HKCU\\" + path, L"Counter")->ToString());

  ASSERT_EQ(ERROR_SUCCESS, key.DeleteValue(L"Removed"));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"Counter", DWORD{2}));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(nullptr, L"changed"));
  const wchar_t multi[] = L"a\0b\0";
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"Added", multi, sizeof(multi), REG_MULTI_SZ));
  base::win::RegistryKey subkey;
  ASSERT_EQ(ERROR_SUCCESS,
            subkey.Create(HKEY_CURRENT_USER, (path + L"\\Sub").c_str(), KEY_ALL_ACCESS));
  ASSERT_EQ(ERROR_SUCCESS, subkey.WriteValue(L"Path", L"C:\\x"));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"Noise", L"allowed"));
  subkey.Close();

  const std::vector<SnapshotDifference> differences =
      CompareSnapshots(before, RegistrySnapshot::Capture(roots), {L"HKCU\\*\\noise"});
  const std::string key_name =
      "HKCU\\Software\\TavroTest\\Snapshot_" + std::to_string(::GetCurrentProcessId());
  EXPECT_EQ("~ " + key_name + "\\(Default): \"default\" -> \"changed\"\n" + "+ " + key_name +
                "\\Added: [\"a\", \"b\"]\n" + "~ " + key_name +
                "\\Counter: dword 1 (0x1) -> dword 2 (0x2)\n" + "- " + key_name +
                "\\Removed: \"gone soon\"\n" + "+ " + key_name + "\\Sub\n" + "+ " + key_name +
                "\\Sub\\Path: \"C:\\x\"\n",
            FormatDifferences(differences));

  key.Close();
  base::win::RegistryKey(HKEY_CURRENT_USER, L"Software\\TavroTest", KEY_ALL_ACCESS)
      .DeleteKey(path.substr(path.find_last_of(L'\\') + 1).c_str());
}

TEST(RegistrySnapshotTest, AnInstallerRunThatChangesNothingShowsNoDifference) {
  // The whole of both default roots, before and after a real process ran: the default
  // allow list hides what the system changes on its own.
  const RegistrySnapshot before = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
  EXPECT_GT(before.keys().size(), 100u);
  EXPECT_TRUE(RunInstallerExe(L"--version").Succeeded());
  const std::vector<SnapshotDifference> differences =
      CompareSnapshots(before, RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots()),
                       RegistrySnapshot::DefaultAllowList());
  EXPECT_TRUE(differences.empty()) << FormatDifferences(differences);
}

}  // namespace
}  // namespace test
}  // namespace installer
