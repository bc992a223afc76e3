#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_SIGNATURE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_SIGNATURE_H_

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace installer {

// One check of a file's Authenticode signature (revocation not checked, no user
// interface). The file is opened once and kept open, shared for reading only, as long as
// the check lives: nobody can change, replace or rename it meanwhile. The signer is taken
// from the same verification as the verdict, so both answers concern the same bytes.
// Failures are logged.
class SignatureCheck {
 public:
  explicit SignatureCheck(const base::FilePath& path);
  // The check of the open |file| (read access), which |path| names: the bytes verified are
  // those of the file the caller holds, whatever its path names by now.
  SignatureCheck(const base::FilePath& path, base::win::ScopedHandle file);
  ~SignatureCheck();

  SignatureCheck(const SignatureCheck&) = delete;
  SignatureCheck& operator=(const SignatureCheck&) = delete;

  // Whether the system's Authenticode policy accepts the file's signature. Call once.
  bool Verify();

  // The simple display name (usually the common name) of the certificate that made the
  // signature Verify accepted. False when Verify has not succeeded.
  bool GetSignerName(std::wstring* signer) const;
  // Verify, and whether the signer's name is exactly |expected_signer| (an empty one
  // accepts nothing). Call once, instead of Verify.
  bool VerifySignedBy(const std::wstring& expected_signer);

 private:
  struct TrustState;

  const base::FilePath path_;
  base::win::ScopedHandle file_;
  // The caller gave |file_|: it is not opened by path.
  bool given_file_ = false;
  // Closed before |file_|, which it reads through.
  std::unique_ptr<TrustState> trust_;
};

// Whether |path| carries a valid Authenticode signature made by the expected signer of the
// product configuration. An empty expected signer accepts nothing.
bool VerifySigner(const base::FilePath& path);

// The same with the signer's name given: the simple display name of the signing
// certificate must equal |expected_signer| exactly.
bool VerifySigner(const base::FilePath& path, const std::wstring& expected_signer);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_SIGNATURE_H_
