#include "desktop/windows/installer/package_fetcher/entry_path_set.h"

#include <windows.h>

#include <vector>

#include "base/files/file_path.h"

namespace installer {

bool EntryPathSet::NameLess::operator()(const std::wstring& a, const std::wstring& b) const {
  // The system's own case folding, as the file system applies it to names.
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

EntryPathSet::EntryPathSet() = default;
EntryPathSet::~EntryPathSet() = default;

bool EntryPathSet::Add(std::wstring_view name, bool folder) {
  // Windows drops a component's trailing dots and spaces; "." is no component at all.
  std::vector<std::wstring_view> components;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !base::FilePath::IsSeparator(name[end]))
      ++end;
    std::wstring_view component = name.substr(start, end - start);
    while (!component.empty() && (component.back() == L'.' || component.back() == L' '))
      component.remove_suffix(1);
    if (!component.empty())
      components.push_back(component);
    start = end + 1;
  }
  // A file whose name comes to nothing would be the destination folder itself.
  if (components.empty())
    return folder;

  std::wstring path;
  for (size_t i = 0; i < components.size(); ++i) {
    if (i != 0)
      path += L'\\';
    path += components[i];
    const bool file = !folder && i + 1 == components.size();
    const auto [place, added] = paths_.emplace(path, file);
    if (!added && (file || place->second))
      return false;
  }
  return true;
}

}  // namespace installer
