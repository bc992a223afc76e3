#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATED_REGISTRY_KEYS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATED_REGISTRY_KEYS_H_

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace base {
namespace win {
class RegistryKey;
}
}  // namespace base

namespace installer {

// The registry keys that an operation created below one root, so that its undo can remove
// them again. |access_flags| are added to every access, so KEY_WOW64_32KEY or
// KEY_WOW64_64KEY selects the view.
class CreatedRegistryKeys {
 public:
  // Records the undo of the creation of the key |path| before it is made; false when it
  // could not be recorded.
  using JournalCallback = std::function<bool(const std::wstring& path)>;

  CreatedRegistryKeys(HKEY root, REGSAM access_flags);
  CreatedRegistryKeys(const CreatedRegistryKeys&) = delete;
  CreatedRegistryKeys& operator=(const CreatedRegistryKeys&) = delete;
  ~CreatedRegistryKeys();

  // Opens the key of |components| (at least one) with |access| into |key|, creating what is
  // missing of its path one key at a time, each recorded by |journal| first (a key that
  // cannot be recorded is not made: ERROR_CANNOT_MAKE). |disposition| (may be null)
  // receives the key's own: REG_CREATED_NEW_KEY, or REG_OPENED_EXISTING_KEY when it was
  // there before (made meanwhile by another process, say).
  LONG Create(const std::vector<std::wstring>& components,
              REGSAM access,
              const JournalCallback& journal,
              base::win::RegistryKey* key,
              DWORD* disposition);

  // Removes the keys created, the deepest first, as long as each is empty; forgets them.
  void RemoveEmpty();

 private:
  const HKEY root_;
  const REGSAM access_flags_;
  // Outermost first.
  std::vector<std::wstring> created_;
};

// |components| joined with backslashes, the first |count| of them.
std::wstring JoinRegistryKeyPath(const std::vector<std::wstring>& components, size_t count);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_CREATED_REGISTRY_KEYS_H_
