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

// Opens the folder |path| so that nobody can rename, move or delete it while the handle
// lives. The handle reads the folder's listing: the system checks sharing only against
// handles that read, write or delete, never against one opened for its attributes alone.
HostHandle HoldFolder(const std::wstring& path) {
  return HostHandle(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// Where the open |handle| lies as the system resolves it; empty when it cannot tell.
std::wstring GetFinalPath(HANDLE handle) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(),
                                                     static_cast<DWORD>(buffer.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0)
      return std::wstring();
    if (length < buffer.size())
      return std::wstring(buffer.data(), length);
    buffer.resize(length + 1);
  }
  return std::wstring();
}

// Whether the final path |file| names an entry directly inside the final path |folder|.
bool IsDirectlyInside(const std::wstring& file, const std::wstring& folder) {
  size_t name_start = folder.size();
  if (folder.empty() || file.size() <= name_start ||
      ::CompareStringOrdinal(folder.c_str(), static_cast<int>(folder.size()), file.c_str(),
                             static_cast<int>(folder.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  // A drive root ends with its separator; any other folder is followed by one.
  if (folder.back() != L'\\') {
    if (file[name_start] != L'\\')
      return false;
    ++name_start;
  }
  return name_start < file.size() &&
         file.find_first_of(L"\\/", name_start) == std::wstring::npos;
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
  // The folder is held first: renamed and replaced by another folder between the check and
  // the load, it would lead the loader to a library nobody checked.
  const size_t separator = library.find_last_of(L"\\/");
  if (separator == std::wstring::npos) {
    *reason = ToUtf8(library) + " is not a full path";
    return false;
  }
  HostHandle folder = HoldFolder(library.substr(0, separator));
  if (!folder.IsValid()) {
    *reason = DescribeError("cannot hold the folder of " + ToUtf8(library), ::GetLastError());
    return false;
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
  if (!IsDirectlyInside(GetFinalPath(file.Get()), GetFinalPath(folder.Get()))) {
    *reason = ToUtf8(library) + " does not lie in the folder held for it";
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
  folder_ = std::move(folder);
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
