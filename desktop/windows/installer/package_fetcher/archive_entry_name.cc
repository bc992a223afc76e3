#include "desktop/windows/installer/package_fetcher/archive_entry_name.h"

#include <string>

#include "base/files/file_path.h"
#include "base/files/file_util.h"

namespace installer {

namespace {

// Windows drops trailing dots and spaces from a name: "c." and "a " would be written as "c"
// and "a", and a component made only of them (". .") names the folder it is in.
bool EndsInDotOrSpace(std::wstring_view component) {
  return !component.empty() && (component.back() == L'.' || component.back() == L' ');
}

bool IsForbiddenCharacter(wchar_t c) {
  return c < 0x20 || c == L':' || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' ||
         c == L'*';
}

}  // namespace

bool IsSafeArchiveEntryName(std::wstring_view name) {
  if (name.empty() || base::FilePath::IsSeparator(name.front()))
    return false;
  for (wchar_t c : name) {
    if (IsForbiddenCharacter(c))
      return false;
  }
  const base::FilePath path(name);
  if (path.ReferencesParent())
    return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !base::FilePath::IsSeparator(name[end]))
      ++end;
    const std::wstring_view component = name.substr(start, end - start);
    if (base::IsDeviceName(component) || EndsInDotOrSpace(component))
      return false;
    start = end + 1;
  }
  return true;
}

}  // namespace installer
