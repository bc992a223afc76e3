#include "desktop/windows/installer/service/transactions/registry_tree.h"

#include <limits.h>

#include <utility>

#include "base/logging.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/journal_encoding.h"

namespace installer {

namespace {

// Subkeys are nested this deep at most when read back; the registry itself allows 512.
constexpr int kMaxDepth = 512;

bool FromValueAtDepth(const base::Value& value, int depth, RegistryTree* tree) {
  const base::DictionaryValue* dictionary = nullptr;
  const base::ListValue* values = nullptr;
  const base::ListValue* subkeys = nullptr;
  if (depth > kMaxDepth || !value.GetAsDictionary(&dictionary) ||
      !dictionary->GetString("name", &tree->name) || !dictionary->GetList("values", &values) ||
      !dictionary->GetList("subkeys", &subkeys)) {
    return false;
  }
  for (const std::unique_ptr<base::Value>& entry : *values) {
    const base::ListValue* fields = nullptr;
    RegistryTree::Value saved;
    int type = 0;
    std::string data;
    if (!entry->GetAsList(&fields) || fields->GetSize() != 3 ||
        !fields->GetString(0, &saved.name) || !fields->GetInteger(1, &type) ||
        !fields->GetString(2, &data) || !DecodeJournalBytes(data, &saved.data)) {
      return false;
    }
    saved.type = static_cast<DWORD>(type);
    tree->values.push_back(std::move(saved));
  }
  for (const std::unique_ptr<base::Value>& entry : *subkeys) {
    tree->subkeys.emplace_back();
    if (!FromValueAtDepth(*entry, depth + 1, &tree->subkeys.back()))
      return false;
  }
  return true;
}

}  // namespace

// static
bool RegistryTree::Read(HKEY root,
                        const std::wstring& path,
                        REGSAM access_flags,
                        RegistryTree* tree) {
  const REGSAM view = access_flags & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  base::win::RegistryKey key;
  const LONG result = key.Open(root, path.c_str(), KEY_READ | access_flags);
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot open the registry key " << path;
    return false;
  }
  // The iterators stop quietly on an error: the counts tell whether all was read.
  base::win::RegistryValueIterator values(root, path.c_str(), view);
  const DWORD value_count = values.ValueCount();
  for (; values.Valid(); ++values)
    tree->values.push_back(Value{values.Name(), values.Type(), values.Data()});
  if (tree->values.size() != value_count) {
    LOG(ERROR) << "Read " << tree->values.size() << " of " << value_count
               << " values of the registry key " << path;
    return false;
  }
  base::win::RegistryKeyIterator subkeys(root, path.c_str(), view);
  const DWORD subkey_count = subkeys.SubkeyCount();
  for (; subkeys.Valid(); ++subkeys) {
    tree->subkeys.emplace_back();
    tree->subkeys.back().name = subkeys.Name();
  }
  if (tree->subkeys.size() != subkey_count) {
    LOG(ERROR) << "Read " << tree->subkeys.size() << " of " << subkey_count
               << " subkeys of the registry key " << path;
    return false;
  }
  for (RegistryTree& subkey : tree->subkeys) {
    if (!Read(root, path + L"\\" + subkey.name, access_flags, &subkey))
      return false;
  }
  return true;
}

bool RegistryTree::Write(HKEY parent, REGSAM access_flags) const {
  base::win::RegistryKey key;
  LONG result =
      key.Create(parent, name.c_str(), KEY_SET_VALUE | KEY_CREATE_SUB_KEY | access_flags);
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, result) << "Cannot create the registry key " << name;
    return false;
  }
  bool complete = true;
  for (const Value& value : values) {
    result = key.WriteValue(value.name.c_str(), value.data.data(),
                            static_cast<DWORD>(value.data.size()), value.type);
    if (result != ERROR_SUCCESS) {
      ELOG(ERROR, result) << "Cannot restore the registry value " << value.name << " of "
                          << name;
      complete = false;
    }
  }
  for (const RegistryTree& subkey : subkeys)
    complete = subkey.Write(key.Handle(), access_flags) && complete;
  return complete;
}

std::unique_ptr<base::Value> RegistryTree::ToValue() const {
  auto dictionary = std::make_unique<base::DictionaryValue>();
  dictionary->SetString("name", name);
  auto value_list = std::make_unique<base::ListValue>();
  for (const Value& value : values) {
    auto fields = std::make_unique<base::ListValue>();
    fields->AppendString(value.name);
    fields->AppendInteger(static_cast<int>(value.type));
    fields->AppendString(EncodeJournalBytes(value.data.data(), value.data.size()));
    value_list->Append(std::move(fields));
  }
  dictionary->Set("values", std::move(value_list));
  auto subkey_list = std::make_unique<base::ListValue>();
  for (const RegistryTree& subkey : subkeys)
    subkey_list->Append(subkey.ToValue());
  dictionary->Set("subkeys", std::move(subkey_list));
  return dictionary;
}

// static
bool RegistryTree::FromValue(const base::Value& value, RegistryTree* tree) {
  *tree = RegistryTree();
  return FromValueAtDepth(value, 0, tree);
}

}  // namespace installer
