#include "desktop/windows/installer/service/named_objects.h"

#include <algorithm>

namespace installer {

std::wstring MakeObjectName(const base::FilePath& folder,
                            std::wstring_view base_name,
                            bool global) {
  std::wstring name = global ? L"Global\\" : L"Local\\";
  name.append(base_name);
  name.push_back(L'/');
  const size_t folder_start = name.size();
  name.append(folder.value());
  std::replace(name.begin() + folder_start, name.end(), L'\\', L'/');
  return name;
}

}  // namespace installer
