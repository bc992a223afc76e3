#include "desktop/windows/installer/service/named_objects.h"

#include <algorithm>
#include <vector>

#include "base/files/file_util.h"

namespace installer {

namespace {

// |full| with its nearest existing ancestor (itself included) in long form.
base::FilePath ToLongForm(const base::FilePath& full) {
  std::vector<std::wstring> missing;
  base::FilePath existing = full;
  for (;;) {
    base::FilePath long_path;
    if (base::MakeLongFilePath(existing, &long_path)) {
      for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        long_path = long_path.Append(*it);
      return long_path;
    }
    const base::FilePath parent = existing.DirName();
    if (parent == existing)
      return full;
    missing.push_back(existing.BaseName().value());
    existing = parent;
  }
}

}  // namespace

std::wstring NormalizeFolderForObjectNames(const base::FilePath& folder) {
  base::FilePath full;
  if (!base::MakeAbsoluteFilePath(folder, &full))
    return base::FilePath::FoldCase(folder.StripTrailingSeparators().value());
  return base::FilePath::FoldCase(ToLongForm(full).StripTrailingSeparators().value());
}

std::wstring MakeObjectName(const base::FilePath& folder,
                            std::wstring_view base_name,
                            bool global) {
  std::wstring name = global ? L"Global\\" : L"Local\\";
  name.append(base_name);
  name.push_back(L'/');
  const size_t folder_start = name.size();
  name.append(NormalizeFolderForObjectNames(folder));
  std::replace(name.begin() + folder_start, name.end(), L'\\', L'/');
  return name;
}

std::wstring MakeInstallerMailslotName(const base::FilePath& folder) {
  return L"tavro_installer\\" + NormalizeFolderForObjectNames(folder);
}

}  // namespace installer
