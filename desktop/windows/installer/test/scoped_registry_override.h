#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_SCOPED_REGISTRY_OVERRIDE_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_SCOPED_REGISTRY_OVERRIDE_H_

#include <windows.h>

#include <string>

#include "base/win/registry.h"

namespace installer {
namespace test {

// Redirects HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process to two fresh keys
// below HKEY_CURRENT_USER\Software\TavroTest\<unique name>, so that code writing the
// machine's or the user's registration can be tested without touching them. Everything
// is undone and deleted when the object goes.
class ScopedRegistryOverride {
 public:
  ScopedRegistryOverride();
  ~ScopedRegistryOverride();

  ScopedRegistryOverride(const ScopedRegistryOverride&) = delete;
  ScopedRegistryOverride& operator=(const ScopedRegistryOverride&) = delete;

  bool IsValid() const { return overridden_; }

 private:
  std::wstring test_key_name_;  // Below HKEY_CURRENT_USER\Software\TavroTest.
  base::win::RegistryKey current_user_;
  base::win::RegistryKey local_machine_;
  bool overridden_ = false;
};

// Writes the default value of the key |path| below |root|, creating the key.
bool WriteRegistryDefaultValue(HKEY root, const std::wstring& path, const std::wstring& value);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_SCOPED_REGISTRY_OVERRIDE_H_
