#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_REGISTRY_SNAPSHOT_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_REGISTRY_SNAPSHOT_H_

#include <windows.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "desktop/windows/installer/test/snapshot_difference.h"

namespace installer {
namespace test {

// One registry tree to capture: |path| below |root| in one view of the registry.
struct RegistryRoot {
  HKEY root;
  std::wstring path;
  // KEY_WOW64_64KEY or KEY_WOW64_32KEY.
  REGSAM view = KEY_WOW64_64KEY;
  // Subkeys (paths relative to |path|) left out with everything below them: large trees
  // the installer never writes, which would only cost time.
  std::vector<std::wstring> skipped;
};

// What registry trees held at one moment: every key below the roots (the roots included)
// with its values. Keys are named "HKCU\<path>" or "HKLM\<path>", with "HKLM32\<path>"
// (or "HKCU32\<path>") for a root captured in the 32-bit view. The 64-bit view of
// HKLM\Software also holds the 32-bit view's keys, below "Wow6432Node".
//
//   RegistrySnapshot before = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
//   ... run the installer ...
//   auto differences = CompareSnapshots(
//       before, RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots()),
//       RegistrySnapshot::DefaultAllowList());
//
// Keys and values that cannot be read are left out.
class RegistrySnapshot {
 public:
  // Registry names are compared without regard to case.
  struct LessIgnoringCase {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
  };
  struct Value {
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    bool operator==(const Value& other) const { return type == other.type && data == other.data; }
    // REG_SZ as quoted text, REG_DWORD in decimal and hexadecimal, and so on.
    std::string ToString() const;
  };
  // By value name; "" is the default value.
  using Values = std::map<std::wstring, Value, LessIgnoringCase>;
  // By key name ("HKCU\Software\Tavro Software").
  using Keys = std::map<std::wstring, Values, LessIgnoringCase>;

  RegistrySnapshot() = default;

  static RegistrySnapshot Capture(const std::vector<RegistryRoot>& roots);

  // HKEY_CURRENT_USER\Software (which holds the user's classes) and
  // HKEY_LOCAL_MACHINE\Software, 64-bit views, without the system's COM registrations
  // (Classes\CLSID, Classes\Interface and Classes\TypeLib, in both views): nine tenths
  // of the keys, and nothing the installer writes.
  static std::vector<RegistryRoot> DefaultRoots();
  // What Wine and the system change on their own while programs run.
  static AllowList DefaultAllowList();

  const Keys& keys() const { return keys_; }
  const Values* FindKey(const std::wstring& key) const;
  // |name| "" is the default value.
  const Value* FindValue(const std::wstring& key, const std::wstring& name) const;

 private:
  // Captures the key |relative| of |root| (|subkey| below the open key |parent|) and its
  // subkeys.
  void CaptureKey(HKEY parent,
                  const std::wstring& subkey,
                  const RegistryRoot& root,
                  const std::wstring& relative);

  Keys keys_;
};

// What |after| added, removed or changed against |before|, apart from the allowed keys and
// values; in key order.
std::vector<SnapshotDifference> CompareSnapshots(const RegistrySnapshot& before,
                                                 const RegistrySnapshot& after,
                                                 const AllowList& allowed = AllowList());

// Deletes the keys and values of the default roots that |before| did not hold (what an
// uninstallation keeps, say), values first, then keys, deepest first, so that a test leaves
// the registry as it found it.
void DeleteAddedRegistryEntries(const RegistrySnapshot& before);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_REGISTRY_SNAPSHOT_H_
