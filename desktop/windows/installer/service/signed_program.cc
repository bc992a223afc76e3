#include "desktop/windows/installer/service/signed_program.h"

#include "base/logging.h"
#include "desktop/windows/installer/service/limited_process.h"
#include "desktop/windows/installer/service/product_config.h"
#include "desktop/windows/installer/service/signature.h"

namespace installer {

bool RunSignedProgram(const base::CommandLine& command_line, base::TimeDelta limit,
                      DWORD* exit_code) {
  const base::FilePath program = command_line.GetProgram();
  LimitedProcess process;
  {
    SignatureCheck signature(program);
    if (!signature.VerifySignedBy(ProductConfig::GetInstance().GetExpectedSigner())) {
      LOG(ERROR) << "Not running " << program << ": it is not signed by us";
      return false;
    }
    if (!process.Start(command_line))
      return false;
  }
  return process.WaitForExit(limit, exit_code);
}

}  // namespace installer
