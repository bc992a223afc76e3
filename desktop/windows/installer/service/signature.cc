#include "desktop/windows/installer/service/signature.h"

#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <utility>

#include "base/logging.h"
#include "desktop/windows/installer/service/product_config.h"

namespace installer {

// What one WinVerifyTrust verification keeps until it is closed: the signer's certificate
// is read from here, not from the file again.
struct SignatureCheck::TrustState {
  TrustState(const base::FilePath& path, HANDLE file) {
    file_info.cbStruct = sizeof(file_info);
    file_info.pcwszFilePath = path.value().c_str();
    file_info.hFile = file;
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file_info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
  }
  TrustState(const TrustState&) = delete;
  TrustState& operator=(const TrustState&) = delete;

  // Frees what the verification kept, whatever its result.
  ~TrustState() {
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  }

  LONG Verify() { return ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data); }

  WINTRUST_FILE_INFO file_info = {};
  WINTRUST_DATA data = {};
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  bool verified = false;
};

SignatureCheck::SignatureCheck(const base::FilePath& path) : path_(path) {}

SignatureCheck::SignatureCheck(const base::FilePath& path, base::win::ScopedHandle file)
    : path_(path), file_(std::move(file)), given_file_(true) {}

SignatureCheck::~SignatureCheck() = default;

bool SignatureCheck::Verify() {
  if (trust_) {
    LOG(ERROR) << "The signature of " << path_ << " is checked once per check";
    return false;
  }
  // No write or delete sharing: the bytes verified are the bytes of the file for as long as
  // the check lives.
  if (!given_file_) {
    file_.Set(::CreateFileW(path_.value().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  if (!file_.IsValid()) {
    PLOG(ERROR) << "Cannot open " << path_ << " to check its signature";
    return false;
  }
  trust_ = std::make_unique<TrustState>(path_, file_.Get());
  const LONG result = trust_->Verify();
  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, static_cast<DWORD>(result)) << "The signature of " << path_ << " is not valid";
    return false;
  }
  trust_->verified = true;
  return true;
}

bool SignatureCheck::GetSignerName(std::wstring* signer) const {
  if (!trust_ || !trust_->verified) {
    LOG(ERROR) << "No verified signature of " << path_ << " to name the signer of";
    return false;
  }
  CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(trust_->data.hWVTStateData);
  CRYPT_PROVIDER_SGNR* signer_data =
      provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* certificate =
      signer_data ? ::WTHelperGetProvCertFromChain(signer_data, 0) : nullptr;
  if (!certificate || !certificate->pCert) {
    LOG(ERROR) << "The verification of " << path_ << " names no signing certificate";
    return false;
  }
  // The length includes the terminator; 1 means an empty name.
  const DWORD length = ::CertGetNameStringW(certificate->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0,
                                            nullptr, nullptr, 0);
  if (length <= 1) {
    LOG(ERROR) << "The signing certificate of " << path_ << " has no name";
    return false;
  }
  std::wstring name(length, L'\0');
  ::CertGetNameStringW(certificate->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, &name[0],
                       length);
  name.resize(length - 1);
  *signer = name;
  return true;
}

bool SignatureCheck::VerifySignedBy(const std::wstring& expected_signer) {
  if (expected_signer.empty()) {
    LOG(ERROR) << "No expected signer to check " << path_ << " against";
    return false;
  }
  std::wstring signer;
  if (!Verify() || !GetSignerName(&signer))
    return false;
  if (signer != expected_signer) {
    LOG(ERROR) << path_ << " is signed by " << signer << ", not by " << expected_signer;
    return false;
  }
  return true;
}

bool VerifySigner(const base::FilePath& path, const std::wstring& expected_signer) {
  return SignatureCheck(path).VerifySignedBy(expected_signer);
}

bool VerifySigner(const base::FilePath& path) {
  return VerifySigner(path, ProductConfig::GetInstance().GetExpectedSigner());
}

}  // namespace installer
