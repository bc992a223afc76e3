#include "desktop/windows/installer/test/tree_snapshot.h"

#include <algorithm>

#include "base/files/file_enumerator.h"
#include "base/strings/stringprintf.h"
#include "desktop/windows/installer/test/content_hash.h"

namespace installer {
namespace test {

namespace {

constexpr DWORD kComparedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_REPARSE_POINT;

// The difference of two entries at one path; empty when they are the same.
std::string DescribeChange(const TreeSnapshot::Entry& before, const TreeSnapshot::Entry& after) {
  if (before.is_folder != after.is_folder)
    return before.is_folder ? "folder -> file" : "file -> folder";
  std::string detail;
  auto add = [&detail](const std::string& part) { detail += (detail.empty() ? "" : ", ") + part; };
  if (before.size != after.size) {
    add(base::StringPrintf("size %lld -> %lld", static_cast<long long>(before.size),
                           static_cast<long long>(after.size)));
  } else if (before.sha256 != after.sha256) {
    add("content");
  }
  if (before.attributes != after.attributes) {
    add(base::StringPrintf("attributes 0x%lX -> 0x%lX", before.attributes, after.attributes));
  }
  return detail;
}

}  // namespace

TreeSnapshot TreeSnapshot::Capture(const base::FilePath& root) {
  TreeSnapshot snapshot;
  snapshot.root_ = root;
  base::FileEnumerator enumerator(root, true,
                                  base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = enumerator.Next(); !path.empty(); path = enumerator.Next()) {
    base::FilePath relative;
    if (!root.AppendRelativePath(path, &relative))
      continue;
    const base::FileEnumerator::FileInfo info = enumerator.GetInfo();
    Entry entry;
    entry.is_folder = info.IsDirectory();
    entry.attributes = info.find_data().dwFileAttributes & kComparedAttributes;
    if (!entry.is_folder) {
      entry.size = info.GetSize();
      Sha256HexOfFile(path, &entry.sha256);
    }
    snapshot.entries_[relative.value()] = entry;
  }
  return snapshot;
}

const TreeSnapshot::Entry* TreeSnapshot::Find(const std::wstring& relative_path) const {
  const auto found = entries_.find(relative_path);
  return found == entries_.end() ? nullptr : &found->second;
}

std::vector<std::wstring> TreeSnapshot::GetFilePaths() const {
  std::vector<std::wstring> paths;
  for (const auto& entry : entries_) {
    if (!entry.second.is_folder)
      paths.push_back(entry.first);
  }
  return paths;
}

std::vector<SnapshotDifference> CompareSnapshots(const TreeSnapshot& before,
                                                 const TreeSnapshot& after,
                                                 const AllowList& allowed) {
  std::vector<SnapshotDifference> differences;
  for (const auto& entry : before.entries()) {
    if (IsAllowed(entry.first, allowed))
      continue;
    const TreeSnapshot::Entry* now = after.Find(entry.first);
    if (!now) {
      differences.push_back({SnapshotDifference::Kind::kRemoved, entry.first, std::string()});
      continue;
    }
    const std::string change = DescribeChange(entry.second, *now);
    if (!change.empty())
      differences.push_back({SnapshotDifference::Kind::kChanged, entry.first, change});
  }
  for (const auto& entry : after.entries()) {
    if (!before.Find(entry.first) && !IsAllowed(entry.first, allowed))
      differences.push_back({SnapshotDifference::Kind::kAdded, entry.first, std::string()});
  }
  std::stable_sort(
      differences.begin(), differences.end(),
      [](const SnapshotDifference& a, const SnapshotDifference& b) { return a.path < b.path; });
  return differences;
}

}  // namespace test
}  // namespace installer
