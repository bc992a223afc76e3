#include "desktop/windows/installer/installer_main.h"

#include <stdarg.h>
#include <stdio.h>

#include "base/command_line.h"
#include "desktop/windows/installer/service/product_info.h"

namespace installer {

void PrintOut(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stdout, format, arguments);
  va_end(arguments);
  fflush(stdout);
}

}  // namespace installer

unsigned char RunInstaller() {
  using installer::PrintOut;
  using installer::ProductInfo;

  base::CommandLine::InitForCurrentProcess();
  const base::CommandLine& command_line = *base::CommandLine::ForCurrentProcess();

  // Informational switches answer at once: no COM, no crash handling, no log file.
  if (command_line.HasSwitch("version")) {
    PrintOut("%s", ProductInfo::GetVersion().c_str());
    return 1;
  }
  if (command_line.HasSwitch("internal-version")) {
    PrintOut("%s", ProductInfo::GetInternalVersion().c_str());
    return 1;
  }
  if (command_line.HasSwitch("stream")) {
    PrintOut("%s", ProductInfo::GetStream().c_str());
    return 1;
  }

  fprintf(stderr, "The installer roles are not built yet.\n");
  return 0;
}
