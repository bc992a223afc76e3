#include "desktop/windows/installer/test/forged_report.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "base/wire_message.h"
#include "desktop/windows/installer/ipc/mailslot_io.h"
#include "desktop/windows/installer/service/named_objects.h"

namespace installer {
namespace test {

bool ForgeReport(const base::FilePath& install_folder,
                 const InstallerMessage& message,
                 base::TimeDelta deadline) {
  const std::wstring path = MakeMailslotPath(MakeInstallerMailslotName(install_folder));
  const base::TimeTicks end = base::TimeTicks::Now() + deadline;
  base::win::ScopedHandle mailslot;
  for (;;) {
    mailslot.Set(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (mailslot.IsValid())
      break;
    if (base::TimeTicks::Now() > end)
      return false;
    ::Sleep(5);
  }
  const std::unique_ptr<base::WireMessage> wire = WriteInstallerMessage(message);
  DWORD written = 0;
  return ::WriteFile(mailslot.Get(), wire->data(), static_cast<DWORD>(wire->size()), &written,
                     nullptr) &&
         written == wire->size();
}

}  // namespace test
}  // namespace installer
