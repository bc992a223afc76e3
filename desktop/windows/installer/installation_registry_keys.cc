#include "desktop/windows/installer/installation_registry_keys.h"

#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string_split.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/installer_registry_tables.h"
#include "desktop/windows/installer/installer_variables.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/registry_entry.h"

namespace installer {

namespace {

using Components = std::vector<std::wstring>;

Components Split(const std::wstring& path) {
  return base::SplitString(path, L"\\", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY);
}

// Whether |inner| starts with the components of |outer|, without regard to case.
bool StartsWith(const Components& inner, const Components& outer) {
  if (inner.size() < outer.size())
    return false;
  for (size_t i = 0; i < outer.size(); ++i) {
    if (!base::FilePath::CompareEqualIgnoreCase(inner[i], outer[i]))
      return false;
  }
  return true;
}

// The keys of the registry tables, each with how many levels above it an uninstallation
// removes.
struct TableKey {
  Components key;
  unsigned clean_depth = 0;
};

class TableKeys : public RegistryVariableResolver {
 public:
  TableKeys() {
    std::vector<const RegistryTemplateRow*> rows;
    for (const RegistryTemplateRow& row : GetMainRegistryTable())
      rows.push_back(&row);
    rows.push_back(&kHideFromProgramsAndFeaturesRegOp);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      RegistryRecord record;
      for (const RegistryTemplateRow* row : rows)
        RegistryEntry(*row, this).AddToRecord(root, &record);
      for (const RegistryKeyRecord& key : record)
        keys_.push_back(TableKey{Split(key.key_path), key.clean_depth});
    }
  }

  const std::vector<TableKey>& keys() const { return keys_; }

  // RegistryVariableResolver:
  std::wstring ResolveVariable(const std::wstring& name) override {
    return ResolveInstallerVariable(name, base::FilePath(), Installer::MakeUninstallKey(L""));
  }
  RegistryRecord* GetRegistryRecord(HKEY root) override { return nullptr; }

 private:
  std::vector<TableKey> keys_;
};

}  // namespace

bool IsInstallationRegistryKey(const std::wstring& path, bool as_ancestor) {
  static const TableKeys table;
  const Components key = Split(path);
  // Every uninstall entry of the product, whatever its version or number.
  const Components uninstall = Split(GetUninstallRegistryKey());
  const std::wstring entry_prefix = base::Utf8ToUtf16(ProductInfo::GetProductName()) + L" ";
  if (key.size() > uninstall.size() && StartsWith(key, uninstall) &&
      base::FilePath::CompareEqualIgnoreCase(
          key[uninstall.size()].substr(0, entry_prefix.size()), entry_prefix)) {
    return true;
  }
  if (StartsWith(key, Split(GetCompanyRegistryKey())))
    return true;
  for (const TableKey& owned : table.keys()) {
    // The ancestors that the clean depth gives to the installation, and what is below.
    const size_t levels_up = owned.clean_depth > 0 ? owned.clean_depth - 1 : 0;
    const size_t owned_from = owned.key.size() > levels_up ? owned.key.size() - levels_up : 0;
    const Components top(owned.key.begin(), owned.key.begin() + owned_from);
    // An ancestor is never one this close to the root (the clean-up keeps those too).
    if ((levels_up == 0 || top.size() >= 3) && StartsWith(key, top))
      return true;
    if (as_ancestor && StartsWith(owned.key, key))
      return true;
  }
  return as_ancestor && uninstall.size() >= key.size() && StartsWith(uninstall, key);
}

}  // namespace installer
