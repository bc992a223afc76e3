#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_H_

#include <windows.h>

#include <stdint.h>

#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>

#include "desktop/windows/installer/service/registry_record.h"

namespace installer {

class Operation;

// Row types beyond the registry's own (REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY and
// REG_DWORD are used as they are).
constexpr uint32_t kRegistryRowDeleteValue = 0xFFFFFFFF;
constexpr uint32_t kRegistryRowDeleteKey = 0xFFFFFFFE;

// The data column of a registry table row: a text template (REG_SZ, REG_EXPAND_SZ, and
// REG_BINARY as pairs of hexadecimal digits) or the number of a REG_DWORD. Either is
// written as it is in a table: L"{Product} {Stream}", 32, or nullptr for no data.
struct RegistryRowData {
  constexpr RegistryRowData() = default;
  constexpr RegistryRowData(const wchar_t* text) : text(text) {}
  template <typename Number, typename = std::enable_if_t<std::is_integral_v<Number>>>
  constexpr RegistryRowData(Number number) : number(static_cast<uint32_t>(number)) {}

  const wchar_t* text = nullptr;
  uint32_t number = 0;
};

// The root column of a registry table row: one predefined root key, or none for any root.
// Held as the key's number, since the HKEY_* constants are casts that no constant table can
// hold; it reads as the HKEY it stands for.
class RegistryRootFilter {
 public:
  constexpr RegistryRootFilter() = default;
  constexpr RegistryRootFilter(std::nullptr_t) {}
  // The predefined key whose HKEY_* constant is |number| (0x80000002 for
  // HKEY_LOCAL_MACHINE), extended as the constant is.
  explicit constexpr RegistryRootFilter(LONG number) : value_(static_cast<ULONG_PTR>(number)) {}
  RegistryRootFilter(HKEY root) : value_(reinterpret_cast<ULONG_PTR>(root)) {}

  operator HKEY() const { return reinterpret_cast<HKEY>(value_); }

 private:
  ULONG_PTR value_ = 0;
};

constexpr RegistryRootFilter kAnyRegistryRoot;
constexpr RegistryRootFilter kLocalMachineRegistryRoot(static_cast<LONG>(0x80000002));
constexpr RegistryRootFilter kCurrentUserRegistryRoot(static_cast<LONG>(0x80000001));

// One row of a static registry operation table. Templates may hold variables written in
// braces ("{InstallFolder}"), expanded by a RegistryVariableResolver.
struct RegistryTemplateRow {
  // The key path below the root.
  const wchar_t* key;
  // The value name; null for the key's default value.
  const wchar_t* value_name;
  // REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, kRegistryRowDeleteValue or
  // kRegistryRowDeleteKey.
  uint32_t type;
  RegistryRowData data;
  // The lowest base::win::WindowsVersion on which the row applies.
  int32_t min_windows_version;
  // The only root for which the row applies; kAnyRegistryRoot for any root.
  RegistryRootFilter root;
  // The lowest build stream id (see GetCurrentStream) for which the row applies.
  int32_t min_stream;
  // Recorded with the written value: 0 means only the values belong to the installation,
  // 1 the key itself, n the ancestor n - 1 levels above the key.
  uint32_t clean_depth;
  // Added to the registry access; KEY_WOW64_32KEY selects the 32-bit view.
  uint32_t access_flags;
};

// Supplies the values of template variables and, optionally, the record that keeps what
// is written.
class RegistryVariableResolver {
 public:
  virtual ~RegistryVariableResolver() = default;

  // The value of the variable |name| (given without braces).
  virtual std::wstring ResolveVariable(const std::wstring& name) = 0;
  // The record of the keys written under |root|, or null when nothing is recorded.
  virtual RegistryRecord* GetRegistryRecord(HKEY root) = 0;
};

// A table row bound to a resolver, turned into an operation for one root.
class RegistryEntry {
 public:
  // |resolver| must outlive the entry.
  RegistryEntry(const RegistryTemplateRow& row, RegistryVariableResolver* resolver);
  ~RegistryEntry();

  RegistryEntry(const RegistryEntry&) = delete;
  RegistryEntry& operator=(const RegistryEntry&) = delete;

  // Makes the row's operation for |root| with every template expanded: a change of the
  // value (a deletion for kRegistryRowDeleteValue) or the deletion of the key. When the
  // resolver hands out a record for |root|, a written value enters that record, with the
  // row's clean depth, once the operation has been performed, and leaves it again when the
  // operation is rolled back; values of the same key are kept together in one key entry.
  // The record must outlive the operation. Deletions are not recorded: they leave nothing
  // for an uninstallation to remove.
  //
  // True with a null |operation| when the row does not apply: the Windows version is
  // below the row's minimum, the row is for another root, or the build's stream is below
  // the row's minimum. False, logged, when the row cannot be converted (a "{" without its
  // "}", an empty variable name, a key that expands to nothing, bad binary data or an
  // unknown type).
  bool CreateOperation(HKEY root, std::unique_ptr<Operation>* operation);

  // Enters into |record| what the row's operation for |root| records once performed,
  // without performing it: for an installation whose record must be made anew from what
  // it registered. False as for CreateOperation; a row that does not apply, or a deletion,
  // adds nothing.
  bool AddToRecord(HKEY root, RegistryRecord* record);

  const RegistryTemplateRow& row() const { return row_; }

  // Replaces every "{name}" of |text| with the resolver's value for it; false for a "{"
  // without its "}" or an empty name.
  bool Expand(const wchar_t* text, std::wstring* expanded);

 private:
  const RegistryTemplateRow row_;
  RegistryVariableResolver* const resolver_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_H_
