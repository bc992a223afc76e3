#include "desktop/windows/installer/test/snapshot_difference.h"

#include <windows.h>

#include "base/strings/pattern.h"
#include "base/strings/utf_string_conversions.h"

namespace installer {
namespace test {

namespace {

bool SameCharacterIgnoringCase(wchar_t a, wchar_t b) {
  return ::CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool MatchesPattern(std::wstring_view path, std::wstring_view pattern) {
  return base::MatchPattern(path, pattern, SameCharacterIgnoringCase);
}

bool IsAllowed(std::wstring_view path, const AllowList& allowed) {
  for (const std::wstring& pattern : allowed) {
    if (MatchesPattern(path, pattern))
      return true;
  }
  return false;
}

std::string FormatDifferences(const std::vector<SnapshotDifference>& differences) {
  if (differences.empty())
    return "(no differences)\n";
  std::string text;
  for (const SnapshotDifference& difference : differences) {
    switch (difference.kind) {
      case SnapshotDifference::Kind::kAdded:
        text += "+ ";
        break;
      case SnapshotDifference::Kind::kRemoved:
        text += "- ";
        break;
      case SnapshotDifference::Kind::kChanged:
        text += "~ ";
        break;
    }
    text += base::Utf16ToUtf8(difference.path);
    if (!difference.detail.empty())
      text += ": " + difference.detail;
    text += "\n";
  }
  return text;
}

}  // namespace test
}  // namespace installer
