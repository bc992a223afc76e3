#include "desktop/windows/installer/package_fetcher/archive_entry_name.h"

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string_util.h"

namespace installer {

namespace {

// Superscript one, two and three: Windows reads "COM¹" as a device like "COM1".
bool IsDeviceDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

// Windows ignores everything from the first dot, and trailing spaces, when it matches a
// component against the device names.
bool IsDeviceName(std::wstring_view component) {
  std::wstring_view stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ')
    stem.remove_suffix(1);
  const std::wstring upper = base::ToUpperAscii(stem);
  if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL" ||
      upper == L"CONIN$" || upper == L"CONOUT$") {
    return true;
  }
  return upper.size() == 4 &&
         (upper.compare(0, 3, L"COM") == 0 || upper.compare(0, 3, L"LPT") == 0) &&
         IsDeviceDigit(upper[3]);
}

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
    if (IsDeviceName(component) || EndsInDotOrSpace(component))
      return false;
    start = end + 1;
  }
  return true;
}

}  // namespace installer
