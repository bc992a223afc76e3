#include "desktop/windows/crash_reporter/crash_folders.h"

#include <windows.h>
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <memory>

#include "base/command_line.h"
#include "base/environment.h"
#include "base/files/file_util.h"
#include "base/files/file_without_links.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/elevated_run.h"
#include "desktop/windows/installer/service/product_config.h"

namespace crash_reporter {

namespace {

constexpr int kUserDataDirKey = 1002;
constexpr char kUserDataDirSwitch[] = "user-data-dir";
constexpr char kCrashLogDirVariable[] = "TAVRO_CRASH_LOG_DIR";

struct CrashFolders {
  base::FilePath crash_log_folder;
  base::FilePath crash_counts_path;
  base::FilePath preferences_path;
  base::FilePath guid_record_path;
  bool custom_folder = false;
  bool refuse_links = false;
};

base::Lock g_lock;
CrashFolders* g_folders = nullptr;  // Under |g_lock|; never freed.
std::atomic<uint32_t> g_sequence_number{0};

CrashFolders GetFolders() {
  base::AutoLock lock(g_lock);
  return g_folders ? *g_folders : CrashFolders();
}

std::string FormatCrashFileName(uint32_t sequence_number, const char* extension) {
  std::string product = installer::ProductConfig::GetInstance().GetProductName();
  for (char& c : product)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return base::StringPrintf("%s-crashlog-%lu-%lu%s", product.c_str(), ::GetCurrentProcessId(),
                            static_cast<unsigned long>(sequence_number), extension);
}

// |folder|, made when missing, for a process whose token is elevated only when no link
// leads it elsewhere: the folder a user names, or the user's temporary folder, may be a
// link to anywhere. The nearest folder above that exists is held while the missing ones
// are made, so that it stays what was checked.
bool UseCrashFolder(const base::FilePath& folder, bool refuse_links) {
  if (!refuse_links)
    return base::CreateDirectory(folder);
  base::FilePath existing = folder;
  while (!base::DirectoryExists(existing) && existing != existing.DirName())
    existing = existing.DirName();
  const base::win::ScopedHandle held = base::HoldFolderWithoutLinks(existing);
  if (!held.IsValid() || !base::CreateDirectory(folder) ||
      !base::HoldFolderWithoutLinks(folder).IsValid()) {
    LOG(WARNING) << "An elevated process writes no crash files through a link at " << folder;
    return false;
  }
  return true;
}

}  // namespace

bool PrepareCrashFolders() {
  CrashFolders folders;
  const base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  const base::FilePath user_data_dir =
      command_line ? command_line->GetSwitchValuePath(kUserDataDirSwitch) : base::FilePath();
  if (!user_data_dir.empty() &&
      !base::PathRegistry::OverrideAndCreateIfNeeded(kUserDataDirKey, user_data_dir, false,
                                                     true)) {
    LOG(ERROR) << "Cannot use the user data folder " << user_data_dir;
  }
  base::PathRegistry::Get(base::FILE_CRASH_COUNTS, &folders.crash_counts_path);
  base::PathRegistry::Get(base::FILE_PREFERENCES, &folders.preferences_path);
  base::PathRegistry::Get(base::FILE_CRASH_ID_RECORD, &folders.guid_record_path);

  // The reporter of an elevated run writes where no user can lead it: the variable and the
  // temporary folder are the user's.
  const bool elevated = command_line && installer::IsElevatedRun(*command_line);
  if (elevated && !installer::GetElevatedLogFolder(&folders.crash_log_folder))
    LOG(ERROR) << "No protected folder for the crash logs of an elevated run";
  // A run the user elevated by hand has the user's variable and temporary folder, and uses
  // them only where no link leads.
  const bool refuse_links = installer::IsElevatedByHand(
      command_line ? *command_line : base::CommandLine(base::FilePath()));
  folders.refuse_links = refuse_links;
  std::string custom_folder;
  if (!elevated && base::Environment::Create()->GetVar(kCrashLogDirVariable, &custom_folder) &&
      !custom_folder.empty()) {
    const base::FilePath folder(base::Utf8ToUtf16(custom_folder));
    if (UseCrashFolder(folder, refuse_links)) {
      folders.crash_log_folder = folder;
      // Without a record path there is nothing to move into the folder: joining an empty
      // name would make the folder itself the record.
      if (!folders.guid_record_path.empty())
        folders.guid_record_path = folder.Append(folders.guid_record_path.BaseName());
      folders.custom_folder = true;
    } else {
      LOG(WARNING) << "Not using the crash log folder " << folder << ": it cannot be created";
    }
  }
  bool result = true;
  base::FilePath temp;
  if (folders.crash_log_folder.empty() && !elevated && base::GetTempDir(&temp)) {
    if (UseCrashFolder(temp, refuse_links))
      folders.crash_log_folder = temp;
    else if (!installer::GetElevatedLogFolder(&folders.crash_log_folder))
      LOG(ERROR) << "No folder for the crash logs of an elevated process";
  }
  if (folders.crash_log_folder.empty())
    result = false;

  base::AutoLock lock(g_lock);
  if (!g_folders)
    g_folders = new CrashFolders();
  *g_folders = folders;
  return result;
}

base::FilePath GetCrashLogFolder() {
  return GetFolders().crash_log_folder;
}

base::FilePath GetCrashCountsPath() {
  return GetFolders().crash_counts_path;
}

base::FilePath GetPreferencesPath() {
  return GetFolders().preferences_path;
}

base::ScopedFILE OpenCrashFile(const base::FilePath& path, const char* mode) {
  base::ScopedFILE file;
  if (!GetFolders().refuse_links) {
    file.reset(_wfopen(path.value().c_str(), base::AsciiToUtf16(mode).c_str()));
  } else {
    file = base::StreamOf(strchr(mode, 'a') ? base::OpenForAppendingWithoutLinks(path)
                                             : base::CreateNewWithoutLinks(path),
                          mode);
  }
  if (!file)
    PLOG(ERROR) << "Cannot open the crash file " << path;
  return file;
}

base::win::ScopedHandle CreateCrashFile(const base::FilePath& path) {
  base::win::ScopedHandle file(
      GetFolders().refuse_links
          ? base::CreateNewWithoutLinks(path)
          : base::win::ScopedHandle(::CreateFileW(path.value().c_str(), GENERIC_WRITE,
                                                  FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                                                  nullptr)));
  if (!file.IsValid())
    PLOG(ERROR) << "Cannot create the crash file " << path;
  return file;
}

bool IsCustomCrashFolder() {
  return GetFolders().custom_folder;
}

uint32_t NextCrashSequenceNumber() {
  return g_sequence_number.fetch_add(1) + 1;
}

std::string GetCrashTextLogName(uint32_t sequence_number) {
  return FormatCrashFileName(sequence_number, ".txt");
}

std::string GetCrashDumpName(uint32_t sequence_number) {
  return FormatCrashFileName(sequence_number, ".dmp");
}

base::FilePath GetCrashGuidRecordPath(uint32_t sequence_number) {
  const CrashFolders folders = GetFolders();
  if (!folders.custom_folder || folders.guid_record_path.empty())
    return folders.guid_record_path;
  return folders.guid_record_path.InsertBeforeExtensionASCII(
      base::StringPrintf("-%lu-%lu", ::GetCurrentProcessId(),
                         static_cast<unsigned long>(sequence_number)));
}

}  // namespace crash_reporter
