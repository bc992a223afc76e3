#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_TREE_SNAPSHOT_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_TREE_SNAPSHOT_H_

#include <windows.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/test/snapshot_difference.h"

namespace installer {
namespace test {

// What a folder tree held at one moment: every file and folder below the root, by path
// relative to it, with size, content hash and attributes. Taken before and after an
// installer run, two snapshots show what the run changed:
//
//   TreeSnapshot before = TreeSnapshot::Capture(folder);
//   ... run the installer ...
//   auto differences = CompareSnapshots(before, TreeSnapshot::Capture(folder),
//                                       {L"Tavro Installer\\*"});
//   EXPECT_TRUE(differences.empty()) << FormatDifferences(differences);
//
// Folders reached through links are listed, not entered.
class TreeSnapshot {
 public:
  struct Entry {
    bool is_folder = false;
    int64_t size = 0;
    std::string sha256;  // Files only; empty when the file could not be read.
    // Read-only, hidden, system and link: the archive bit and the like change with
    // every write and say nothing of their own.
    DWORD attributes = 0;
  };

  TreeSnapshot() = default;

  // A missing root gives an empty snapshot: nothing is there.
  static TreeSnapshot Capture(const base::FilePath& root);

  const base::FilePath& root() const { return root_; }
  // By relative path ("1.0\\tavro.exe"); folders included.
  const std::map<std::wstring, Entry>& entries() const { return entries_; }
  const Entry* Find(const std::wstring& relative_path) const;
  // The relative paths of the files (not the folders), in order.
  std::vector<std::wstring> GetFilePaths() const;

 private:
  base::FilePath root_;
  std::map<std::wstring, Entry> entries_;
};

// What |after| added, removed or changed against |before|, apart from the allowed paths;
// in path order.
std::vector<SnapshotDifference> CompareSnapshots(const TreeSnapshot& before,
                                                 const TreeSnapshot& after,
                                                 const AllowList& allowed = AllowList());

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_TREE_SNAPSHOT_H_
