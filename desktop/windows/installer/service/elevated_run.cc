#include "desktop/windows/installer/service/elevated_run.h"

#include <windows.h>
#include <stdio.h>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/service/user_rights.h"

namespace installer {

namespace {

// Whether |folder| is a folder of its own (no link), lies where its path says, and only
// administrators and the system can change it.
bool IsProtectedFolder(const base::FilePath& folder) {
  const base::win::ScopedHandle handle(::CreateFileW(
      folder.value().c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.IsValid()) {
    PLOG(WARNING) << "Cannot open " << folder;
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!::GetFileInformationByHandle(handle.Get(), &information)) {
    PLOG(WARNING) << "Cannot read what " << folder << " is";
    return false;
  }
  if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    LOG(WARNING) << folder << " is no folder of its own";
    return false;
  }
  const base::FilePath final_path = base::GetFinalPath(handle.Get());
  if (!base::FilePath::CompareEqualIgnoreCase(final_path.value(), folder.value())) {
    LOG(WARNING) << folder << " leads to " << final_path;
    return false;
  }
  return OnlyTrustedCanChange(handle.Get(), SE_FILE_OBJECT, nullptr);
}

}  // namespace

bool IsElevatedRun(const base::CommandLine& command_line) {
  return command_line.HasSwitch("run-elevated") || command_line.HasSwitch("set-folder-permission");
}

bool OpenElevatedLogFolder(const base::FilePath& parent,
                           const std::wstring& name,
                           base::FilePath* folder) {
  if (parent.empty())
    return false;
  const base::FilePath shared = parent.Append(name);
  if (CreateProtectedFolder(shared, Readers::kAdminsOnly) || IsProtectedFolder(shared)) {
    *folder = shared;
    return true;
  }
  LOG(WARNING) << "Not writing into " << shared << ": a folder of this run's own instead";
  return CreateUniqueProtectedFolder(parent, name + L" ", Readers::kAdminsOnly, folder);
}

bool GetElevatedLogFolder(base::FilePath* folder) {
  // Magic statics: the first caller chooses, on any thread.
  static const base::FilePath chosen = [] {
    base::FilePath result;
    OpenElevatedLogFolder(SystemTempFolder(),
                          base::AsciiToUtf16(ProductInfo::GetProductName()) + L" Installer",
                          &result);
    return result;
  }();
  if (chosen.empty())
    return false;
  *folder = chosen;
  return true;
}

bool IsElevatedByHand(const base::CommandLine& command_line) {
  return !IsElevatedRun(command_line) && IsProcessElevated();
}

bool InitLoggingWithoutLinks(const base::CommandLine& command_line,
                             logging::LoggingSettings settings) {
  settings.refuse_links = IsElevatedByHand(command_line);
  if (logging::InitLogging(settings))
    return true;
  if (!settings.refuse_links)
    return false;
  const base::FilePath refused(settings.log_file);
  base::FilePath folder;
  if (::GetLastError() == ERROR_CANT_ACCESS_FILE && GetElevatedLogFolder(&folder)) {
    settings.log_file = folder.Append(refused.BaseName()).value();
    if (logging::InitLogging(settings)) {
      LOG(WARNING) << "Not logging through a link at " << refused;
      return true;
    }
  }
  const std::string message = "Cannot open the log file " + base::Utf16ToUtf8(refused.value()) +
                              " but through a link\n";
  ::OutputDebugStringA(message.c_str());
  fputs(message.c_str(), stderr);
  return false;
}

}  // namespace installer
