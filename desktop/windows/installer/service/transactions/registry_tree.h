#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REGISTRY_TREE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REGISTRY_TREE_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

namespace base {
class Value;
}

namespace installer {

// A registry key as it was read: its values with their exact types and bytes, and its
// subkeys, each a tree of its own. What a deletion keeps so that the key can be created
// again exactly; it also travels as JSON (ToValue, FromValue) in the undo journal.
struct RegistryTree {
  struct Value {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
  };

  // The key's own name (the last component of its path), as the registry spells it.
  std::wstring name;
  std::vector<Value> values;
  std::vector<RegistryTree> subkeys;

  // Reads the key |path| below |root| and everything below it; |access_flags| are added to
  // every access (KEY_WOW64_32KEY selects the 32-bit view). |name| is left to the caller.
  // False, logged, when any part of the tree cannot be read.
  static bool Read(HKEY root, const std::wstring& path, REGSAM access_flags, RegistryTree* tree);

  // Creates the tree as the subkey |name| of |parent|, keys that exist already included:
  // every value written over what is there. False, logged, when a part of it could not be.
  bool Write(HKEY parent, REGSAM access_flags) const;

  // {"name": .., "values": [[name, type, hex data], ..], "subkeys": [..]}.
  std::unique_ptr<base::Value> ToValue() const;
  // False for anything that is not such a value.
  static bool FromValue(const base::Value& value, RegistryTree* tree);
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_REGISTRY_TREE_H_
