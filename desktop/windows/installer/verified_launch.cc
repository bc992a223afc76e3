#include "desktop/windows/installer/verified_launch.h"

#include <windows.h>

#include <utility>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/pe_image.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/signature.h"

namespace installer {

const wchar_t kInstallerLibraryName[] = L"tavro_installer.dll";

bool IsThisInstallerUnsigned() {
  base::FilePath own_file;
  bool has_table = true;
  return base::PathRegistry::Get(base::FILE_EXE, &own_file) &&
         HasCertificateTable(own_file, &has_table) && !has_table;
}

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

HeldInstallerFiles::HeldInstallerFiles(const base::FilePath& program, SignerCheck check) {
  const bool check_signer = check == SignerCheck::kRequired || !IsThisInstallerUnsigned();
  if (!check_signer)
    VLOG(1) << "This installer is not signed: the signer of " << program << " is not checked";
  if (!Hold(program, check_signer))
    return;
  // A library beside the program is what the program loads: checked like the program, or
  // the check of the program covers nothing it runs.
  const base::FilePath library = program.DirName().Append(kInstallerLibraryName);
  if (base::PathExists(library) && !Hold(library, check_signer))
    return;
  valid_ = true;
}

HeldInstallerFiles::~HeldInstallerFiles() = default;

bool HeldInstallerFiles::Hold(const base::FilePath& file, bool check_signer) {
  if (check_signer) {
    // The check keeps the file open without write or delete sharing while it lives.
    checks_.push_back(std::make_unique<SignatureCheck>(file));
    if (!checks_.back()->VerifySignedBy(ProductConfig::GetInstance().GetExpectedSigner())) {
      LOG(ERROR) << "Refusing " << file << ": it does not carry the product's signature";
      return false;
    }
    return true;
  }
  base::win::ScopedHandle handle(::CreateFileW(file.value().c_str(), GENERIC_READ,
                                               FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.IsValid()) {
    PLOG(ERROR) << "Cannot hold " << file << " open";
    return false;
  }
  handles_.push_back(std::move(handle));
  return true;
}

}  // namespace installer
