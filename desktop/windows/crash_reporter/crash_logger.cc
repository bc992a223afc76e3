#include "desktop/windows/crash_reporter/crash_logger.h"

#include <windows.h>
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/scoped_file.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/thread_local_slot.h"
#include "desktop/windows/crash_reporter/crash_folders.h"
#include "desktop/windows/installer/service/elevated_run.h"
#include "desktop/windows/installer/service/product_config.h"

namespace crash_reporter {

namespace {

constexpr size_t kMaxLogPathLength = MAX_PATH + 1;

base::LazyThreadLocalSlot g_current_logger;

CrashLogger* CurrentLogger() {
  return static_cast<CrashLogger*>(g_current_logger.Get().Get());
}

std::wstring GetReporterLogFileName() {
  std::string product = installer::ProductConfig::GetInstance().GetProductName();
  for (char& c : product)
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  const std::wstring file_name = base::Utf8ToUtf16(product) + L"_crashreporter.log";
  // The reporter of an elevated run writes where no user can lead it.
  const base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  if (command_line && installer::IsElevatedRun(*command_line)) {
    base::FilePath folder;
    if (!installer::GetElevatedLogFolder(&folder))
      return std::wstring();
    const std::wstring name = folder.Append(file_name).value();
    return name.size() < kMaxLogPathLength ? name : std::wstring();
  }
  wchar_t temp[kMaxLogPathLength] = {};
  const DWORD length = ::GetTempPathW(kMaxLogPathLength, temp);
  if (length == 0 || length >= kMaxLogPathLength)
    return std::wstring();
  const std::wstring name = std::wstring(temp, length) + file_name;
  return name.size() < kMaxLogPathLength ? name : std::wstring();
}

}  // namespace

void InitCrashReporterLogging() {
  g_current_logger.Get();
  logging::LoggingSettings settings;
  settings.log_file = GetReporterLogFileName();
  settings.logging_dest =
      settings.log_file.empty() ? logging::LOG_TO_SYSTEM_DEBUG_LOG : logging::LOG_TO_FILE;
  settings.delete_old = logging::APPEND_TO_OLD_LOG_FILE;
  const base::CommandLine* command_line = base::CommandLine::ForCurrentProcess();
  if (!installer::InitLoggingWithoutLinks(
          command_line ? *command_line : base::CommandLine(base::FilePath()), settings)) {
    PLOG(ERROR) << "Cannot open the crash reporter log " << settings.log_file;
  }
  logging::SetLogItems(true, true, true, true);
  logging::SetLogMessageHandler(&CrashLogger::CaptureLine);
  logging::SetMinLogLevel(logging::LOG_INFO);
}

CrashLogger::CrashLogger() : previous_(CurrentLogger()) {
  g_current_logger.Get().Set(this);
}

CrashLogger::~CrashLogger() {
  g_current_logger.Get().Set(previous_);
}

bool CrashLogger::AppendTo(const base::FilePath& path) {
  const std::string text = captured_.str();
  if (text.empty())
    return true;
  base::ScopedFILE file = OpenCrashFile(path, "a");
  if (!file)
    return false;
  const bool written = fputs("\nCrash Logger:\n", file.get()) >= 0 &&
                       fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  const bool closed = fclose(file.release()) == 0;
  if (!written || !closed)
    return false;
  captured_.str(std::string());
  return true;
}

// static
bool CrashLogger::CaptureLine(int severity,
                              const char* file,
                              int line,
                              size_t message_start,
                              const std::string& text) {
  CrashLogger* logger = CurrentLogger();
  if (!logger)
    return false;
  // Source paths may use either separator, depending on the compiler.
  const char* base_name = file;
  for (const char* c = file; *c; ++c) {
    if (*c == '\\' || *c == '/')
      base_name = c + 1;
  }
  logger->captured_ << base_name << ":" << line << ":"
                    << (message_start < text.size() ? text.c_str() + message_start : "");
  return true;
}

}  // namespace crash_reporter
