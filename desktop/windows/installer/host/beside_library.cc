#include "desktop/windows/installer/host/beside_library.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "desktop/windows/installer/host/embedded_library.h"

namespace installer_host {

namespace {

struct ModuleTraits : base::win::NullIsInvalid<HMODULE> {
  static void Free(HMODULE module) { ::FreeLibrary(module); }
};
using ScopedModule = base::win::ScopedOwner<ModuleTraits>;

// The system's Authenticode verification. Loaded from the system folder only when a library
// lies beside the host: a lone installer.exe, the common case, starts without it.
class Authenticode {
 public:
  bool Load() {
    module_.Set(::LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    // Windows 7 without the update that brought the search flags refuses them; the library
    // search was limited to the system folder already (RestrictLibrarySearch), or the
    // system takes a known DLL from there in any case.
    if (!module_.IsValid() && ::GetLastError() == ERROR_INVALID_PARAMETER)
      module_.Set(::LoadLibraryExW(L"wintrust.dll", nullptr, 0));
    if (!module_.IsValid())
      return false;
    verify_ = reinterpret_cast<decltype(&::WinVerifyTrust)>(
        reinterpret_cast<void*>(::GetProcAddress(module_.Get(), "WinVerifyTrust")));
    provider_data_ = reinterpret_cast<decltype(&::WTHelperProvDataFromStateData)>(
        reinterpret_cast<void*>(::GetProcAddress(module_.Get(), "WTHelperProvDataFromStateData")));
    signer_ = reinterpret_cast<decltype(&::WTHelperGetProvSignerFromChain)>(
        reinterpret_cast<void*>(::GetProcAddress(module_.Get(), "WTHelperGetProvSignerFromChain")));
    return verify_ && provider_data_ && signer_;
  }

  // The encoded certificate that made the valid signature of |file| (open at |path|); false,
  // with the verdict or system error in |error|, when the file has no valid signature.
  bool GetSigningCertificate(const std::wstring& path,
                             HANDLE file,
                             std::vector<BYTE>* certificate,
                             DWORD* error) const {
    WINTRUST_FILE_INFO file_info = {};
    file_info.cbStruct = sizeof(file_info);
    file_info.pcwszFilePath = path.c_str();
    file_info.hFile = file;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file_info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG verdict = verify_(no_window, &action, &data);
    bool found = false;
    *error = static_cast<DWORD>(verdict);
    if (verdict == ERROR_SUCCESS) {
      // The signer's certificate comes from the same verification as the verdict.
      CRYPT_PROVIDER_DATA* provider = provider_data_(data.hWVTStateData);
      CRYPT_PROVIDER_SGNR* signer = provider ? signer_(provider, 0, FALSE, 0) : nullptr;
      const CERT_CONTEXT* leaf = signer && signer->csCertChain > 0 && signer->pasCertChain
                                     ? signer->pasCertChain[0].pCert
                                     : nullptr;
      if (leaf && leaf->pbCertEncoded && leaf->cbCertEncoded > 0) {
        certificate->assign(leaf->pbCertEncoded, leaf->pbCertEncoded + leaf->cbCertEncoded);
        found = true;
      } else {
        *error = static_cast<DWORD>(TRUST_E_NOSIGNATURE);
      }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify_(no_window, &action, &data);
    return found;
  }

 private:
  ScopedModule module_;
  decltype(&::WinVerifyTrust) verify_ = nullptr;
  decltype(&::WTHelperProvDataFromStateData) provider_data_ = nullptr;
  decltype(&::WTHelperGetProvSignerFromChain) signer_ = nullptr;
};

// Opens |path| for reading, sharing it with readers only: nobody can change, replace or
// rename it while the handle lives.
HostHandle OpenDenyingWriters(const std::wstring& path) {
  return HostHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

bool BesideLibrary::Open(const std::wstring& host,
                         const std::wstring& library,
                         std::string* reason) {
  Authenticode authenticode;
  if (!authenticode.Load()) {
    *reason = DescribeError("cannot load the signature check", ::GetLastError());
    return false;
  }
  std::vector<BYTE> host_certificate;
  DWORD error = 0;
  {
    // The running image cannot change; its file is held only during the check.
    const HostHandle host_file = OpenDenyingWriters(host);
    if (!host_file.IsValid()) {
      *reason = DescribeError("cannot open " + ToUtf8(host), ::GetLastError());
      return false;
    }
    if (!authenticode.GetSigningCertificate(host, host_file.Get(), &host_certificate, &error)) {
      *reason = DescribeError(
          ToUtf8(host) + " carries no valid signature to trust " + ToUtf8(library) + " by", error);
      return false;
    }
  }
  HostHandle file = OpenDenyingWriters(library);
  if (!file.IsValid()) {
    *reason = DescribeError("cannot open " + ToUtf8(library), ::GetLastError());
    return false;
  }
  FILE_ATTRIBUTE_TAG_INFO info = {};
  if (!::GetFileInformationByHandleEx(file.Get(), FileAttributeTagInfo, &info, sizeof(info))) {
    *reason = DescribeError("cannot examine " + ToUtf8(library), ::GetLastError());
    return false;
  }
  // A link could lead the loader to another file than the one checked.
  if ((info.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    *reason = ToUtf8(library) + " is not a plain file";
    return false;
  }
  std::vector<BYTE> library_certificate;
  if (!authenticode.GetSigningCertificate(library, file.Get(), &library_certificate, &error)) {
    *reason = DescribeError(ToUtf8(library) + " carries no valid signature", error);
    return false;
  }
  // The very certificate, not just its name: anyone can make a certificate of any name.
  if (library_certificate != host_certificate) {
    *reason = ToUtf8(library) + " is not signed by the signer of " + ToUtf8(host);
    return false;
  }
  file_ = std::move(file);
  return true;
}

bool IsProcessElevated() {
  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw_token))
    return true;
  const HostHandle token(raw_token);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (!::GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size))
    return true;
  return elevation.TokenIsElevated != 0;
}

}  // namespace installer_host
