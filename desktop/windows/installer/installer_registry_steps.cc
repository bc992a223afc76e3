// The registry steps of the Installer: writing the browser's registration from the tables,
// and removing what a previous installation recorded in its status file.

#include <string.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "base/features/feature_registry.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/installer_registry_tables.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/browser_registration.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/installer_features.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/transactions/change_registry_value_operation.h"
#include "desktop/windows/installer/service/transactions/create_registry_key_operation.h"
#include "desktop/windows/installer/service/transactions/delete_registry_key_operation.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

// Suffixes tried for a free uninstall key before giving up.
constexpr int kMaxUninstallKeySuffix = 1000;
// A clean-up never removes a key this close to its root ("Software\Classes" and above).
constexpr size_t kMinCleanedKeyComponents = 3;

bool IsUninstallRow(const RegistryTemplateRow& row) {
  return wcscmp(row.key, L"{Uninstall}") == 0;
}

}  // namespace

void Installer::StepSetupRegistry() {
  if (flag(COPY_ONLY)) {
    ScheduleNextStep();
    return;
  }
  LOG(INFO) << "Setting up the registry";
  const HKEY root = flag(ALL_USERS_FLAG) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  if (!ChooseUninstallKey(root)) {
    LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                              "Failed writing uninstallation information");
    return;
  }

  record_registry_ = true;
  for (const RegistryTemplateRow* row : GetRegistryRows()) {
    // The browser works without any of its registrations, but it must be uninstallable.
    if (!ApplyRegistryRow(*row, root) && IsUninstallRow(*row)) {
      record_registry_ = false;
      LOG(ERROR) << ReportError(IDS_ERROR_INSTALL_FAILED, std::wstring(),
                                "Failed writing uninstallation information");
      return;
    }
  }
  record_registry_ = false;
  ScheduleNextStep();
}

bool Installer::ApplyRegistryRow(const RegistryTemplateRow& row, HKEY root) {
  std::unique_ptr<Operation> change;
  if (!RegistryEntry(row, this).CreateOperation(root, &change))
    return false;
  if (!change) {
    if (row.value_name) {
      VLOG(2) << "Skipping inapplicable operation: value " << row.value_name << " to key "
              << row.key;
    } else {
      VLOG(2) << "Skipping inapplicable operation: default value to key " << row.key;
    }
    return true;
  }
  if (row.value_name)
    VLOG(1) << "Writing value " << row.value_name << " to key " << row.key;
  else
    VLOG(1) << "Writing default value to key " << row.key;
  return Do(std::move(change));
}

bool Installer::ChooseUninstallKey(HKEY root) {
  // The key is created as it is chosen, so that two runs at once never choose the same one.
  for (int suffix = 0; suffix < kMaxUninstallKeySuffix; ++suffix) {
    const std::wstring name =
        MakeUninstallKey(suffix == 0 ? std::wstring() : base::IntToWideString(suffix));
    bool existed = false;
    if (Do(std::make_unique<CreateRegistryKeyOperation>(root, name, KEY_WOW64_32KEY, &existed))) {
      uninstall_key_ = name;
      // The entry names its folder before anything else: one that an ended run left half
      // written is then still known as this folder's, and removed by the next run.
      if (!Do(std::make_unique<ChangeRegistryValueOperation>(
              root, name, L"InstallLocation",
              ChangeRegistryValueOperation::TextData(install_folder().value()), REG_SZ,
              KEY_WOW64_32KEY))) {
        return false;
      }
      VLOG(1) << "Uninstall key: " << uninstall_key_;
      return true;
    }
    if (!existed)
      return false;
  }
  LOG(ERROR) << "No free uninstall key below " << MakeUninstallKey(std::wstring());
  return false;
}

void Installer::StepCleanupRegistry() {
  LOG(INFO) << "Cleaning up registry";
  const InstallStatus& previous = status().install_status();
  if (operation() == OPERATION_UNINSTALLING) {
    RemoveUnrecordedRegistrations(HKEY_CURRENT_USER);
    if (previous.all_users)
      RemoveUnrecordedRegistrations(HKEY_LOCAL_MACHINE);
  }
  for (const RegistryKeyRecord& key : previous.hkcu_keys)
    CleanupRegistryKey(HKEY_CURRENT_USER, key);
  // The record of an installation for the user alone names no key of the machine's.
  if (!previous.all_users && !previous.hklm_keys.empty()) {
    LOG(WARNING) << "Not cleaning up the " << previous.hklm_keys.size()
                 << " machine keys that the record of an installation for one user lists";
  } else {
    for (const RegistryKeyRecord& key : previous.hklm_keys)
      CleanupRegistryKey(HKEY_LOCAL_MACHINE, key);
  }
  ScheduleNextStep();
}

void Installer::CleanupRegistryKey(HKEY root, const RegistryKeyRecord& key) {
  const std::wstring path = ReplaceProductPlaceholders(key.key_path);
  VLOG(1) << "Cleanup for key " << path << " with depth " << key.clean_depth;
  // The record comes from a file in the install folder: only what the tables write, as deep
  // as they own it, goes.
  unsigned max_depth = 0;
  std::vector<std::wstring> value_names;
  if (!FindTableKey(root, path, &max_depth, &value_names)) {
    LOG(WARNING) << "Not cleaning up " << path << ": the installation does not write it";
    return;
  }
  if (key.clean_depth > max_depth) {
    LOG(WARNING) << "Not cleaning up " << path << " with depth " << key.clean_depth
                 << ": the installation owns " << max_depth << " levels of it";
    return;
  }
  const bool uninstall_key =
      base::StartsWith(path, GetUninstallRegistryKey(), base::CompareCase::INSENSITIVE_ASCII);
  const REGSAM view = uninstall_key ? KEY_WOW64_32KEY : 0;

  // A 64-bit build kept its uninstall entry in the 64-bit view; it goes when it is this
  // folder's.
  if (uninstall_key && launcher_bitness_known_ && launcher_is_64_) {
    base::win::RegistryKey entry;
    std::wstring location;
    if (entry.Open(root, path.c_str(), KEY_READ) == ERROR_SUCCESS &&
        entry.ReadValue(L"InstallLocation", &location) == ERROR_SUCCESS &&
        base::FilePath(location) == install_folder()) {
      entry.Close();
      Do(std::make_unique<DeleteRegistryKeyOperation>(root, path, 0));
    }
  }

  if (key.clean_depth == 0) {
    for (const RegistryValueRecord& value : key.values) {
      const std::wstring name = ReplaceProductPlaceholders(value.name);
      bool written = false;
      for (const std::wstring& written_name : value_names)
        written = written || base::FilePath::CompareEqualIgnoreCase(written_name, name);
      if (!written) {
        LOG(WARNING) << "Not deleting " << name << " of " << path
                     << ": the installation does not write it";
        continue;
      }
      Do(std::make_unique<ChangeRegistryValueOperation>(root, path, name, std::vector<uint8_t>(),
                                                        ChangeRegistryValueOperation::kDeleteValue,
                                                        view));
    }
    return;
  }
  std::vector<std::wstring> components =
      base::SplitString(path, L"\\", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY);
  const size_t levels_up = key.clean_depth - 1;
  if (levels_up >= components.size() ||
      components.size() - levels_up < kMinCleanedKeyComponents) {
    LOG(WARNING) << "Not cleaning up " << path << " with depth " << key.clean_depth
                 << ": that would remove a key too close to the root";
    return;
  }
  components.resize(components.size() - levels_up);
  Do(std::make_unique<DeleteRegistryKeyOperation>(root, base::JoinString(components, L"\\"),
                                                  view));
}

bool Installer::FindTableKey(HKEY root,
                             const std::wstring& path,
                             unsigned* max_depth,
                             std::vector<std::wstring>* value_names) {
  bool found = false;
  *max_depth = 0;
  value_names->clear();
  for (const RegistryTemplateRow* row : GetRegistryRows()) {
    // A deletion leaves nothing for a clean-up.
    if ((row->root && row->root != root) || row->type == kRegistryRowDeleteKey)
      continue;
    RegistryEntry entry(*row, this);
    std::wstring key;
    const bool matches =
        IsUninstallRow(*row)
            ? IsOwnUninstallEntry(root, path)
            : entry.Expand(row->key, &key) && base::FilePath::CompareEqualIgnoreCase(key, path);
    std::wstring name;
    if (!matches || (row->value_name && !entry.Expand(row->value_name, &name)))
      continue;
    found = true;
    *max_depth = std::max(*max_depth, row->clean_depth);
    value_names->push_back(name);
  }
  return found;
}

bool Installer::IsOwnUninstallEntry(HKEY root, const std::wstring& path) {
  // "<uninstall key>\<product> <any version and suffix>", naming this install folder.
  const std::wstring prefix =
      GetUninstallRegistryKey() + L"\\" + base::Utf8ToUtf16(ProductInfo::GetProductName()) + L" ";
  if (path.size() <= prefix.size() ||
      !base::FilePath::CompareEqualIgnoreCase(path.substr(0, prefix.size()), prefix) ||
      path.find(L'\\', prefix.size()) != std::wstring::npos) {
    return false;
  }
  base::win::RegistryKey entry;
  std::wstring location;
  if (entry.Open(root, path.c_str(), KEY_READ | KEY_WOW64_32KEY) != ERROR_SUCCESS ||
      entry.ReadValue(L"InstallLocation", &location) != ERROR_SUCCESS ||
      !IsSamePath(base::FilePath(location), install_folder())) {
    LOG(WARNING) << "The uninstall entry " << path << " is not this installation's";
    return false;
  }
  return true;
}

void Installer::RemoveUnrecordedRegistrations(HKEY root) {
  for (const RegistrationRemoval& removal :
       FindRegistrationRemovals(Installation(install_folder()), root)) {
    VLOG(1) << "Taking back the registration " << removal.key << " " << removal.value_name;
    if (removal.delete_key) {
      Do(std::make_unique<DeleteRegistryKeyOperation>(root, removal.key, 0));
    } else if (removal.data.empty()) {
      Do(std::make_unique<ChangeRegistryValueOperation>(
          root, removal.key, removal.value_name, std::vector<uint8_t>(),
          ChangeRegistryValueOperation::kDeleteValue, 0));
    } else {
      Do(std::make_unique<ChangeRegistryValueOperation>(
          root, removal.key, removal.value_name,
          ChangeRegistryValueOperation::TextData(removal.data), REG_SZ, 0));
    }
  }
}

std::vector<const RegistryTemplateRow*> Installer::GetRegistryRows() const {
  std::vector<const RegistryTemplateRow*> rows;
  for (const RegistryTemplateRow& row : GetMainRegistryTable())
    rows.push_back(&row);
  if (base::IsFeatureEnabled(kInstallerHideFromProgramAndFeaturesFeature))
    rows.push_back(&kHideFromProgramsAndFeaturesRegOp);
  return rows;
}

}  // namespace installer
