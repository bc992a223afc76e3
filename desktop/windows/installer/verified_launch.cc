#include "desktop/windows/installer/verified_launch.h"

#include "base/command_line.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/pe_image.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/signature.h"

namespace installer {

namespace {

// Whether the running installer carries no certificate table: a build not meant to be
// trusted, whose packages carry none either.
bool IsThisInstallerUnsigned() {
  base::FilePath own_file;
  bool has_table = true;
  return base::PathRegistry::Get(base::FILE_EXE, &own_file) &&
         HasCertificateTable(own_file, &has_table) && !has_table;
}

}  // namespace

base::Process LaunchVerifiedProgram(const base::FilePath& folder,
                                    const base::CommandLine& command,
                                    const base::LaunchOptions& options,
                                    SignerCheck check) {
  const base::FilePath& program = command.GetProgram();
  if (!IsPathInside(program, folder)) {
    LOG(ERROR) << "Not starting " << program << ": it is not below " << folder;
    return base::Process();
  }
  if (check == SignerCheck::kAsThisInstaller && IsThisInstallerUnsigned()) {
    VLOG(1) << "This installer is not signed: the signer of " << program << " is not checked";
    return base::LaunchProcess(command, options);
  }
  // The check keeps the file open without write or delete sharing until the process runs.
  SignatureCheck signature(program);
  if (!signature.VerifySignedBy(ProductConfig::GetInstance().GetExpectedSigner())) {
    LOG(ERROR) << "Not starting " << program << ": it does not carry the product's signature";
    return base::Process();
  }
  return base::LaunchProcess(command, options);
}

}  // namespace installer
