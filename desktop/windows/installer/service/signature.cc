#include "desktop/windows/installer/service/signature.h"

#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <memory>

#include "base/logging.h"
#include "desktop/windows/installer/service/product_config.h"

namespace installer {

namespace {

struct CertStoreCloser {
  void operator()(void* store) const { ::CertCloseStore(static_cast<HCERTSTORE>(store), 0); }
};
struct CryptMsgCloser {
  void operator()(void* message) const { ::CryptMsgClose(static_cast<HCRYPTMSG>(message)); }
};
struct CertContextFreer {
  void operator()(const CERT_CONTEXT* context) const {
    ::CertFreeCertificateContext(context);
  }
};

using ScopedCertStore = std::unique_ptr<void, CertStoreCloser>;
using ScopedCryptMsg = std::unique_ptr<void, CryptMsgCloser>;
using ScopedCertContext = std::unique_ptr<const CERT_CONTEXT, CertContextFreer>;

// Whether the system's Authenticode policy accepts the file's signature.
bool IsSignatureTrusted(const base::FilePath& path) {
  WINTRUST_FILE_INFO file_info = {};
  file_info.cbStruct = sizeof(file_info);
  file_info.pcwszFilePath = path.value().c_str();

  WINTRUST_DATA trust_data = {};
  trust_data.cbStruct = sizeof(trust_data);
  trust_data.dwUIChoice = WTD_UI_NONE;
  trust_data.fdwRevocationChecks = WTD_REVOKE_NONE;
  trust_data.dwUnionChoice = WTD_CHOICE_FILE;
  trust_data.pFile = &file_info;
  trust_data.dwStateAction = WTD_STATEACTION_VERIFY;

  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  HWND no_user = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG result = ::WinVerifyTrust(no_user, &action, &trust_data);
  // Frees what the verification kept in the state data, whatever its result.
  trust_data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(no_user, &action, &trust_data);

  if (result != ERROR_SUCCESS) {
    ELOG(ERROR, static_cast<DWORD>(result)) << "The signature of " << path << " is not valid";
    return false;
  }
  return true;
}

// The simple display name of the certificate that signed |path|, without checking the
// signature. False when the file holds no embedded signature.
bool GetSignerName(const base::FilePath& path, std::wstring* signer) {
  DWORD encoding = 0;
  DWORD content_type = 0;
  DWORD format_type = 0;
  HCERTSTORE raw_store = nullptr;
  HCRYPTMSG raw_message = nullptr;
  const BOOL queried = ::CryptQueryObject(
      CERT_QUERY_OBJECT_FILE, path.value().c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
      CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content_type, &format_type, &raw_store,
      &raw_message, nullptr);
  ScopedCertStore store(raw_store);
  ScopedCryptMsg message(raw_message);
  if (!queried || !store || !message) {
    PLOG(ERROR) << "No embedded signature in " << path;
    return false;
  }

  DWORD signer_info_size = 0;
  if (!::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr,
                          &signer_info_size) ||
      signer_info_size < sizeof(CMSG_SIGNER_INFO)) {
    PLOG(ERROR) << "CryptMsgGetParam failed for " << path;
    return false;
  }
  // operator new[] returns memory aligned for any object of this size.
  std::unique_ptr<BYTE[]> signer_info_buffer(new BYTE[signer_info_size]);
  if (!::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, signer_info_buffer.get(),
                          &signer_info_size)) {
    PLOG(ERROR) << "CryptMsgGetParam failed for " << path;
    return false;
  }
  const CMSG_SIGNER_INFO* signer_info =
      reinterpret_cast<const CMSG_SIGNER_INFO*>(signer_info_buffer.get());

  CERT_INFO certificate_id = {};
  certificate_id.Issuer = signer_info->Issuer;
  certificate_id.SerialNumber = signer_info->SerialNumber;
  ScopedCertContext certificate(::CertFindCertificateInStore(
      store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
      &certificate_id, nullptr));
  if (!certificate) {
    PLOG(ERROR) << "The signing certificate is missing in " << path;
    return false;
  }

  // The length includes the terminator; 1 means an empty name.
  const DWORD length = ::CertGetNameStringW(certificate.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE,
                                            0, nullptr, nullptr, 0);
  if (length <= 1) {
    LOG(ERROR) << "The signing certificate of " << path << " has no name";
    return false;
  }
  std::wstring name(length, L'\0');
  ::CertGetNameStringW(certificate.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, &name[0],
                       length);
  name.resize(length - 1);
  *signer = name;
  return true;
}

}  // namespace

bool VerifySigner(const base::FilePath& path, const std::wstring& expected_signer) {
  if (expected_signer.empty()) {
    LOG(ERROR) << "No expected signer to check " << path << " against";
    return false;
  }
  if (!IsSignatureTrusted(path))
    return false;
  std::wstring signer;
  if (!GetSignerName(path, &signer))
    return false;
  if (signer != expected_signer) {
    LOG(ERROR) << path << " is signed by " << signer << ", not by " << expected_signer;
    return false;
  }
  return true;
}

bool VerifySigner(const base::FilePath& path) {
  return VerifySigner(path, ProductConfig::GetInstance().GetExpectedSigner());
}

}  // namespace installer
