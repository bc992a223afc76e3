#include "desktop/windows/crash_reporter/crash_keys.h"

#include <wchar.h>

#include "base/strings/string_number_conversions.h"

namespace crash_reporter {

namespace {

std::wstring_view EntryName(const CustomInfoEntry& entry) {
  return CrashKeyText(entry.name, CustomInfoEntry::kNameLength);
}

std::wstring_view EntryValue(const CustomInfoEntry& entry) {
  return CrashKeyText(entry.value, CustomInfoEntry::kValueLength);
}

// The text of |text| from |*position| to the next |separator|, which |*position| then
// passes; false when there is no separator or the field is empty.
bool TakeField(std::wstring_view text,
               std::wstring_view separator,
               size_t* position,
               std::wstring_view* field) {
  const size_t end = text.find(separator, *position);
  if (end == std::wstring_view::npos || end == *position)
    return false;
  *field = text.substr(*position, end - *position);
  *position = end + separator.size();
  return true;
}

}  // namespace

std::wstring_view CrashKeyText(const wchar_t* field, size_t field_length) {
  return std::wstring_view(field, wcsnlen(field, field_length));
}

const CustomInfoEntry* FindCrashKey(const CustomClientInfo& keys, std::wstring_view name) {
  for (size_t i = 0; i < keys.count; ++i) {
    if (EntryName(keys.entries[i]) == name)
      return &keys.entries[i];
  }
  return nullptr;
}

bool GetCrashKeyValue(const CustomClientInfo& keys, std::wstring_view name, std::wstring* value) {
  const CustomInfoEntry* entry = FindCrashKey(keys, name);
  if (!entry)
    return false;
  value->assign(EntryValue(*entry));
  return true;
}

bool ConcatCrashKeyValues(const CustomClientInfo& keys,
                          std::wstring_view name,
                          std::wstring* value) {
  value->clear();
  for (size_t i = 0; i < keys.count; ++i) {
    if (EntryName(keys.entries[i]) == name)
      value->append(EntryValue(keys.entries[i]));
  }
  return !value->empty();
}

bool IsBrowserProcess(const CustomClientInfo& keys) {
  std::wstring process_type;
  return GetCrashKeyValue(keys, L"process_type", &process_type) && process_type == L"browser";
}

std::wstring GetCrashOrigin(const CustomClientInfo& keys) {
  std::wstring value;
  if (GetCrashKeyValue(keys, L"brixel_test", &value) && !value.empty())
    return kTestAutomationOrigin;
  if (GetCrashKeyValue(keys, L"origin", &value) && value == L"Brixel")
    return value;
  return std::wstring();
}

std::vector<ModuleListEntry> ParseModuleList(std::wstring_view text) {
  std::vector<ModuleListEntry> modules;
  size_t position = 0;
  for (;;) {
    std::wstring_view name, base, size, path;
    ModuleListEntry entry;
    if (!TakeField(text, L":", &position, &name) || !TakeField(text, L":", &position, &base) ||
        !TakeField(text, L":", &position, &size) || !TakeField(text, L"::", &position, &path) ||
        !base::HexStringToUint64(base, &entry.base_address) ||
        !base::HexStringToUint64(size, &entry.size)) {
      return modules;
    }
    entry.name.assign(name);
    entry.path.assign(path);
    modules.push_back(std::move(entry));
  }
}

}  // namespace crash_reporter
