// The component installers that an installation runs beside the browser's own files.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/strings/string_split.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/signature.h"
#include "desktop/windows/installer/service/transactions/install_program_operation.h"
#include "desktop/windows/installer/settings.h"
#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/verified_launch.h"

namespace installer {

namespace {

// A component installer that takes longer is ended, and its component left out.
constexpr base::TimeDelta kComponentInstallerLimit = base::TimeDelta::FromMinutes(10);

const char* BoolSwitchValue(bool value) {
  return value ? "1" : "0";
}

bool HasComponent(const std::vector<InstallComponent>& components, const std::string& name) {
  for (const InstallComponent& component : components) {
    if (component.name == name)
      return true;
  }
  return false;
}

}  // namespace

// static
base::FilePath Installer::GetComponentInstallerPath(const base::FilePath& folder,
                                                    const std::wstring& name) {
  const base::FilePath installer = folder.Append(name + L"_installer.exe");
  // The suite's installer was renamed; folders of older packages still hold the assistant's.
  if (name == L"suite" && !base::PathExists(installer))
    return folder.Append(L"assistant_installer.exe");
  return installer;
}

void Installer::StepInstallComponents() {
  LOG(INFO) << "Installing Components";
  if (operation() == OPERATION_UPGRADING)
    install_status_.components = status().install_status().components;
  base::FilePath own_file;
  if (!base::PathRegistry::Get(base::FILE_EXE, &own_file) ||
      !command_line().HasSwitch("components")) {
    ScheduleNextStep();
    return;
  }
  const std::wstring components = command_line().GetSwitchValueNative("components");
  LOG(INFO) << "Components present : " << components;
  const std::wstring expected_signer = ProductConfig::GetInstance().GetExpectedSigner();
  for (const std::wstring& part :
       base::SplitString(components, L"|", base::TRIM_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
    LOG(INFO) << "Processing component " << part;
    const std::vector<std::wstring> pieces =
        base::SplitString(part, L":", base::TRIM_WHITESPACE, base::SPLIT_WANT_NONEMPTY);
    if (pieces.size() != 2 || !IsSafeRelativePath(pieces[0]) || !IsSafeRelativePath(pieces[1])) {
      LOG(ERROR) << "Invalid component " << part;
      continue;
    }
    const std::wstring& name = pieces[0];
    const base::FilePath folder = own_folder_.DirName().Append(pieces[1]);
    const base::FilePath own_name = folder.Append(name + L"_installer.exe");
    const base::FilePath installer = GetComponentInstallerPath(folder, name);
    if (installer != own_name) {
      LOG(INFO) << "Rewriting component installer name from " << own_name;
      LOG(INFO) << "to: " << installer;
    }
    if (!base::PathExists(installer)) {
      LOG(ERROR) << "Component installer does not exist " << installer;
      continue;
    }
    // Every component installer must be ours, whatever folder it comes from: the check
    // keeps the file open, so the program started is the one checked.
    SignatureCheck signature(installer);
    const bool signed_by_us = signature.VerifySignedBy(expected_signer);
    if (!signed_by_us) {
      LOG(ERROR) << "Signature error for component installer ";
      LOG(ERROR) << installer << " signed = " << signed_by_us;
      continue;
    }
    const base::FilePath component_folder = install_folder().Append(name);
    base::CommandLine command(installer);
    command.AppendSwitchNative("installfolder", component_folder.value());
    command.AppendSwitchASCII("copyonly", BoolSwitchValue(flag(COPY_ONLY)));
    command.AppendSwitchASCII("allusers", BoolSwitchValue(flag(ALL_USERS_FLAG)));
    // The installed copy removes the component again when the run is undone.
    base::CommandLine undo(component_folder.Append(installer.BaseName()));
    undo.AppendSwitch("uninstall");
    undo.AppendSwitchASCII("copyonly", BoolSwitchValue(flag(COPY_ONLY)));
    undo.AppendSwitchASCII("allusers", BoolSwitchValue(flag(ALL_USERS_FLAG)));
    auto run = std::make_unique<InstallProgramOperation>(command, undo, component_folder,
                                                         kComponentInstallerLimit);
    const InstallProgramOperation* const ran = run.get();
    LOG(INFO) << "Running component installer";
    if (!Do(std::move(run))) {
      LOG(ERROR) << "Component installer " << installer << " could not be run";
      continue;
    }
    const DWORD exit_code = ran->exit_code();
    LOG(INFO) << "Component installer returned " << exit_code;
    const std::string utf8_name = base::Utf16ToUtf8(name);
    if (exit_code == 0 &&
        !(operation() == OPERATION_UPGRADING &&
          HasComponent(install_status_.components, utf8_name))) {
      install_status_.components.push_back({utf8_name, component_folder});
    }
  }
  ScheduleNextStep();
}

void Installer::StartRecordedComponentInstaller(const InstallComponent& component,
                                                base::CommandLine command) {
  // Name and folder come from a file in the install folder.
  const std::wstring name = base::Utf8ToUtf16(component.name);
  if (!IsSafeRelativePath(name) || base::FilePath(name).BaseName().value() != name) {
    LOG(WARNING) << "Not starting the component installer of " << component.name
                 << ": not a component name";
    return;
  }
  command.SetProgram(GetComponentInstallerPath(component.path, name));
  LOG(INFO) << "Launching " << name << " component subinstaller with command line "
            << command.GetCommandLineString();
  LaunchVerifiedProgram(install_folder(), command, base::LaunchOptions(), SignerCheck::kRequired);
}

}  // namespace installer
