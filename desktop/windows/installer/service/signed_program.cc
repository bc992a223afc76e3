#include "desktop/windows/installer/service/signed_program.h"

#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/signature.h"

namespace installer {

bool RunSignedProgram(const base::CommandLine& command_line, base::TimeDelta limit,
                      DWORD* exit_code) {
  const base::FilePath program = command_line.GetProgram();
  base::Process process;
  {
    SignatureCheck signature(program);
    if (!signature.VerifySignedBy(ProductConfig::GetInstance().GetExpectedSigner())) {
      LOG(ERROR) << "Not running " << program << ": it is not signed by us";
      return false;
    }
    process = base::LaunchProcess(command_line, base::LaunchOptions());
  }
  if (!process.IsValid()) {
    LOG(ERROR) << "Cannot run " << command_line.GetCommandLineString();
    return false;
  }
  if (process.WaitForExitWithTimeout(static_cast<DWORD>(limit.InMilliseconds()), exit_code))
    return true;
  LOG(ERROR) << program << " did not end within " << limit.InSeconds() << " seconds: ending it";
  if (!process.Terminate(1))
    PLOG(ERROR) << "Cannot end " << program;
  return false;
}

}  // namespace installer
