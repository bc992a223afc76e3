#include "desktop/windows/installer/test/scoped_registry_override.h"

#include <shlobj.h>
#include <wrl/client.h>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "desktop/windows/installer/service/signature.h"
#include "desktop/windows/installer/test/installer_process.h"

namespace installer {
namespace test {

namespace {

constexpr wchar_t kTestKeysPath[] = L"Software\\TavroTest";

// The shell resolves the desktop's and the profile's folders once per process, when it first
// makes its desktop folder (for a shortcut, say), and Wine's writes them into the registry
// where they are missing: made here, that lands in the real registry, not in the copy of
// whichever test happens to be the first to save a shortcut.
void MakeTheShellsDesktopFolder() {
  Microsoft::WRL::ComPtr<IShellFolder> desktop;
  const HRESULT hr = ::SHGetDesktopFolder(&desktop);
  if (FAILED(hr))
    ELOG(WARNING, hr) << "SHGetDesktopFolder failed";
}

// The system reads how signatures are checked from the machine's registry once per
// process, at the first check: checked here, a signature check of a later test finds its
// checkers, not an empty copy of the registry.
void CheckASignature() {
  SignatureCheck check(base::FilePath(GetTestBinFolder()).Append(L"signed_by_expected.exe"));
  check.Verify();
}

}  // namespace

ScopedRegistryOverride::ScopedRegistryOverride() {
  MakeTheShellsDesktopFolder();
  CheckASignature();
  static LONG counter = 0;
  test_key_name_ = L"RegistryOverride_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                   std::to_wstring(::GetTickCount64()) + L"_" +
                   std::to_wstring(::InterlockedIncrement(&counter));
  const std::wstring test_key_path = std::wstring(kTestKeysPath) + L"\\" + test_key_name_;
  if (current_user_.Create(HKEY_CURRENT_USER, (test_key_path + L"\\HKCU").c_str(),
                           KEY_ALL_ACCESS) != ERROR_SUCCESS ||
      local_machine_.Create(HKEY_CURRENT_USER, (test_key_path + L"\\HKLM").c_str(),
                            KEY_ALL_ACCESS) != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot create the test keys";
    return;
  }
  const LONG user = ::RegOverridePredefKey(HKEY_CURRENT_USER, current_user_.Handle());
  const LONG machine = ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, local_machine_.Handle());
  overridden_ = user == ERROR_SUCCESS && machine == ERROR_SUCCESS;
  if (!overridden_)
    LOG(ERROR) << "RegOverridePredefKey failed: " << user << ", " << machine;
}

ScopedRegistryOverride::~ScopedRegistryOverride() {
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  current_user_.Close();
  local_machine_.Close();
  base::win::RegistryKey(HKEY_CURRENT_USER, kTestKeysPath, KEY_ALL_ACCESS)
      .DeleteKey(test_key_name_.c_str());
}

bool WriteRegistryDefaultValue(HKEY root, const std::wstring& path, const std::wstring& value) {
  base::win::RegistryKey key;
  return key.Create(root, path.c_str(), KEY_SET_VALUE) == ERROR_SUCCESS &&
         key.WriteValue(nullptr, value) == ERROR_SUCCESS;
}

}  // namespace test
}  // namespace installer
