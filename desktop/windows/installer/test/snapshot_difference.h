#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_SNAPSHOT_DIFFERENCE_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_SNAPSHOT_DIFFERENCE_H_

#include <string>
#include <string_view>
#include <vector>

namespace installer {
namespace test {

// One difference between two snapshots (of a folder tree or of the registry), as a test
// shows it.
struct SnapshotDifference {
  enum class Kind { kAdded, kRemoved, kChanged };

  Kind kind;
  // A relative file path, or a registry key path ("HKCU\Software\Tavro") or value path
  // (the key path, a backslash and the value name; "(Default)" for the default value).
  std::wstring path;
  // What changed, for kChanged ("size 10 -> 12, content"); the value for added or removed
  // registry values.
  std::string detail;
};

// Patterns of paths that may differ: '*' matches any run of characters (backslashes
// included), '?' any one character, everything else itself, ignoring case.
//   {L"Tavro Installer\\*", L"*.log", L"HKCU\\Software\\Wine\\*"}
using AllowList = std::vector<std::wstring>;

bool MatchesPattern(std::wstring_view path, std::wstring_view pattern);
bool IsAllowed(std::wstring_view path, const AllowList& allowed);

// One line per difference: "+ path", "- path", "~ path: detail"; "(no differences)" when
// there are none.
std::string FormatDifferences(const std::vector<SnapshotDifference>& differences);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_SNAPSHOT_DIFFERENCE_H_
