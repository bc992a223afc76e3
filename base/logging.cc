#include "base/logging.h"

#include <windows.h>
#include <stdio.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_without_links.h"
#include "base/log_file_lock.h"
#include "base/strings/pattern.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"

namespace logging {

namespace {

const char* const kSeverityNames[LOG_NUM_SEVERITIES] = {"INFO", "WARNING", "ERROR", "FATAL"};

// Verbose levels beyond this are meaningless; larger values in "v" or "vmodule" are refused.
constexpr int kMaxVlogLevel = 1000000;

std::atomic<int> g_min_log_level{LOG_INFO};
std::atomic<LogMessageHandlerFunction> g_handler{nullptr};
std::atomic<FatalMessageRecorderFunction> g_fatal_recorder{nullptr};

std::atomic<bool> g_log_process_id{false};
std::atomic<bool> g_log_thread_id{false};
std::atomic<bool> g_log_timestamp{false};
std::atomic<bool> g_log_tickcount{false};

// A slim reader/writer lock held exclusively or shared for one scope. The lock itself is a
// plain SRWLOCK so that it works before any constructor ran and after every destructor did.
class ScopedSrwLock {
 public:
  enum Mode { kExclusive, kShared };
  ScopedSrwLock(SRWLOCK* lock, Mode mode) : lock_(lock), mode_(mode) {
    if (mode_ == kExclusive)
      ::AcquireSRWLockExclusive(lock_);
    else
      ::AcquireSRWLockShared(lock_);
  }
  ~ScopedSrwLock() {
    if (mode_ == kExclusive)
      ::ReleaseSRWLockExclusive(lock_);
    else
      ::ReleaseSRWLockShared(lock_);
  }
  ScopedSrwLock(const ScopedSrwLock&) = delete;
  ScopedSrwLock& operator=(const ScopedSrwLock&) = delete;

 private:
  SRWLOCK* lock_;
  Mode mode_;
};

// The destination, the log file and the lock that lines up the file's writers across
// processes, all guarded by g_file_lock. InitLogging changes them together under it and every
// line reads them under it, so a line goes wholly by the old settings or by the new ones.
// The handle and the lock are plain, not closed by a destructor at unload: a thread still
// logging then would write through a closed (or reused) handle. Only InitLogging and CloseLogFile
// close them, under the lock; the end of the process closes what is left.
SRWLOCK g_file_lock = SRWLOCK_INIT;
uint32_t g_logging_destination = LOG_TO_SYSTEM_DEBUG_LOG;
HANDLE g_log_file = nullptr;
LogFileLock* g_log_file_lock = nullptr;
// Where this process's lines go while another process holds the lock past its bound: a file
// of this process alone beside the log, made on first use, so that such a line is neither
// torn nor lost. The log names it once, with the next line that gets the lock.
std::wstring* g_side_file_path = nullptr;
HANDLE g_side_file = nullptr;
enum class SideFileState { kUnused, kUsed, kNamedInLog };
SideFileState g_side_file_state = SideFileState::kUnused;
// The thread holding g_file_lock to change the settings: a line it logs on the way (a failed
// close, say) must not wait for the lock it holds, and goes to the debug log.
std::atomic<DWORD> g_settings_thread{0};

// Holds g_file_lock to change the settings.
class ScopedSettingsChange {
 public:
  ScopedSettingsChange() : lock_(&g_file_lock, ScopedSrwLock::kExclusive) {
    g_settings_thread.store(::GetCurrentThreadId(), std::memory_order_relaxed);
  }
  ~ScopedSettingsChange() { g_settings_thread.store(0, std::memory_order_relaxed); }
  ScopedSettingsChange(const ScopedSettingsChange&) = delete;
  ScopedSettingsChange& operator=(const ScopedSettingsChange&) = delete;

 private:
  ScopedSrwLock lock_;
};

struct VmodulePattern {
  std::string pattern;
  int level;
  bool match_path;  // The pattern holds a separator: it is matched against the whole path.
};
using VmodulePatterns = std::vector<VmodulePattern>;

// "v" is read without a lock; "vmodule" under g_vlog_lock in shared mode. The pattern list
// stays allocated while it is in force so that threads logging during process exit never
// see it freed.
SRWLOCK g_vlog_lock = SRWLOCK_INIT;
std::atomic<int> g_vlog_default_level{0};
std::atomic<bool> g_has_vmodule{false};
VmodulePatterns* g_vmodule = nullptr;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

const char* BaseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (IsSeparator(*p))
      name = p + 1;
  }
  return name;
}

// A decimal integer with an optional sign and nothing else, within +-kMaxVlogLevel.
bool ParseVlogLevel(std::string_view text, int* level) {
  int value = 0;
  if (!base::StringToInt(base::TrimWhitespaceASCII(text, base::TRIM_ALL), &value) ||
      value > kMaxVlogLevel || value < -kMaxVlogLevel) {
    return false;
  }
  *level = value;
  return true;
}

// Both separator kinds match each other; letters match without regard to ASCII case.
bool PatternCharMatches(char pattern_char, char text_char) {
  if (IsSeparator(pattern_char))
    return IsSeparator(text_char);
  return base::ToLowerAscii(pattern_char) == base::ToLowerAscii(text_char);
}

bool MatchVlogPattern(std::string_view text, std::string_view pattern) {
  return base::MatchPattern(text, pattern, PatternCharMatches);
}

std::unique_ptr<VmodulePatterns> ParseVmodule(std::string_view vmodule) {
  auto patterns = std::make_unique<VmodulePatterns>();
  while (!vmodule.empty()) {
    const size_t comma = vmodule.find(',');
    const std::string_view entry = vmodule.substr(0, comma);
    vmodule = comma == std::string_view::npos ? std::string_view() : vmodule.substr(comma + 1);

    // Entries without a pattern or without a valid level are ignored.
    const size_t equals = entry.rfind('=');
    if (equals == std::string_view::npos)
      continue;
    const std::string_view pattern =
        base::TrimWhitespaceASCII(entry.substr(0, equals), base::TRIM_ALL);
    int level = 0;
    if (pattern.empty() || !ParseVlogLevel(entry.substr(equals + 1), &level))
      continue;
    const bool match_path = pattern.find_first_of("\\/") != std::string_view::npos;
    patterns->push_back(VmodulePattern{std::string(pattern), level, match_path});
  }
  return patterns;
}

// The name a module pattern is matched against: the base name without its extension.
std::string_view ModuleName(const char* file) {
  std::string_view name(BaseName(file));
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos)
    name = name.substr(0, dot);
  return name;
}

// Under g_file_lock.
void CloseLogFileLocked() {
  base::win::ScopedHandle file(std::exchange(g_log_file, nullptr));
  std::unique_ptr<LogFileLock> lock(std::exchange(g_log_file_lock, nullptr));
  base::win::ScopedHandle side_file(std::exchange(g_side_file, nullptr));
  std::unique_ptr<std::wstring> side_file_path(std::exchange(g_side_file_path, nullptr));
  g_side_file_state = SideFileState::kUnused;
}

// Under g_file_lock: whether InitLogging was asked to refuse links.
bool g_refuse_links = false;

HANDLE OpenForAppending(const std::wstring& path) {
  if (g_refuse_links) {
    base::win::ScopedHandle file = base::OpenForAppendingWithoutLinks(base::FilePath(path));
    return file.IsValid() ? file.Take() : INVALID_HANDLE_VALUE;
  }
  // Append-only access keeps every write at the end of the file; the sharing lets other
  // processes read the file and append to it while it is open here.
  return ::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void WriteText(HANDLE file, const std::string& text) {
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Under g_file_lock, while another process holds the log past the bound of a wait. False when
// the side file cannot be made.
bool WriteToSideFileLocked(const std::string& text) {
  if (!g_side_file && g_side_file_path) {
    const HANDLE file = OpenForAppending(*g_side_file_path);
    if (file != INVALID_HANDLE_VALUE)
      g_side_file = file;
  }
  if (!g_side_file)
    return false;
  WriteText(g_side_file, text);
  if (g_side_file_state == SideFileState::kUnused)
    g_side_file_state = SideFileState::kUsed;
  return true;
}

// Under g_file_lock.
void WriteToLogFileLocked(const std::string& text) {
  if (!g_log_file)
    return;
  if (!g_log_file_lock) {
    WriteText(g_log_file, text);
    return;
  }
  if (!g_log_file_lock->Acquire()) {
    if (WriteToSideFileLocked(text))
      return;
    // Without a side file, a line that might be torn is better than one surely lost.
    WriteText(g_log_file, text);
    return;
  }
  if (g_side_file_state == SideFileState::kUsed) {
    g_side_file_state = SideFileState::kNamedInLog;
    WriteText(g_log_file,
              "[WARNING:logging] Another process held this log for more than " +
                  std::to_string(LogFileLock::kMaxWaitMs / 1000) + " s; lines of process " +
                  std::to_string(::GetCurrentProcessId()) + " that could not wait for it are in " +
                  base::Utf16ToUtf8(*g_side_file_path) + "\n");
  }
  WriteText(g_log_file, text);
  g_log_file_lock->Release();
}

void WriteToDestinations(const std::string& text) {
  uint32_t destination = LOG_TO_SYSTEM_DEBUG_LOG;
  if (g_settings_thread.load(std::memory_order_relaxed) != ::GetCurrentThreadId()) {
    ScopedSrwLock lock(&g_file_lock, ScopedSrwLock::kExclusive);
    destination = g_logging_destination;
    if (destination & LOG_TO_FILE)
      WriteToLogFileLocked(text);
  }
  // Outside the lock: a debugger may hold this up.
  if (destination & LOG_TO_SYSTEM_DEBUG_LOG)
    ::OutputDebugStringW(base::Utf8ToUtf16(text).c_str());
}

void WriteToStandardError(const std::string& text) {
  const HANDLE error_handle = ::GetStdHandle(STD_ERROR_HANDLE);
  if (!base::win::HandleTraits::IsValid(error_handle))
    return;  // A process without a console or redirected standard error.
  DWORD written = 0;
  ::WriteFile(error_handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

bool InitLogging(const LoggingSettings& settings) {
  if (const base::CommandLine* command_line = base::CommandLine::ForCurrentProcess()) {
    if (command_line->HasSwitch("v") || command_line->HasSwitch("vmodule")) {
      int default_level = 0;  // Also for a missing or malformed "v".
      ParseVlogLevel(base::Utf16ToUtf8(command_line->GetSwitchValueNative("v")),
                     &default_level);
      SetVlogLevels(default_level,
                    base::Utf16ToUtf8(command_line->GetSwitchValueNative("vmodule")));
    }
  }

  // Lines of other threads wait meanwhile, then go by the new settings.
  ScopedSettingsChange change;
  g_logging_destination = settings.logging_dest;
  CloseLogFileLocked();
  g_refuse_links = settings.refuse_links;
  if (!(settings.logging_dest & LOG_TO_FILE))
    return true;
  if (settings.log_file.empty()) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }

  std::unique_ptr<LogFileLock> lock;
  if (settings.lock_log == LOCK_LOG_FILE)
    lock = LogFileLock::Create(settings.log_file);
  if (settings.delete_old == DELETE_OLD_LOG_FILE)
    ::DeleteFileW(settings.log_file.c_str());
  base::win::ScopedHandle file(OpenForAppending(settings.log_file));
  if (!file.IsValid())
    return false;  // The lock goes with its scope, keeping the last error.
  g_log_file = file.Take();
  // The side file is opened under g_file_lock, where the checks of a link-free open could
  // not log what they find: without one, a line that cannot wait for the lock is written
  // at once (see WriteToLogFileLocked).
  if (lock && !settings.refuse_links) {
    g_side_file_path = new std::wstring(
        base::FilePath(settings.log_file)
            .InsertBeforeExtensionASCII("." + std::to_string(::GetCurrentProcessId()))
            .value());
  }
  g_log_file_lock = lock.release();
  return true;
}

void CloseLogFile() {
  ScopedSettingsChange change;
  CloseLogFileLocked();
}

void SetLogItems(bool enable_process_id,
                 bool enable_thread_id,
                 bool enable_timestamp,
                 bool enable_tickcount) {
  g_log_process_id.store(enable_process_id);
  g_log_thread_id.store(enable_thread_id);
  g_log_timestamp.store(enable_timestamp);
  g_log_tickcount.store(enable_tickcount);
}

void SetLogMessageHandler(LogMessageHandlerFunction handler) {
  g_handler.store(handler);
}

LogMessageHandlerFunction GetLogMessageHandler() {
  return g_handler.load();
}

void SetFatalMessageRecorder(FatalMessageRecorderFunction recorder) {
  g_fatal_recorder.store(recorder);
}

void SetMinLogLevel(int level) {
  g_min_log_level.store(level);
}

int GetMinLogLevel() {
  return g_min_log_level.load();
}

bool ShouldCreateLogMessage(LogSeverity severity) {
  return severity >= LOG_FATAL || severity >= g_min_log_level.load(std::memory_order_relaxed);
}

int GetVlogLevel(const char* file) {
  if (!g_has_vmodule.load(std::memory_order_acquire) || !file)
    return g_vlog_default_level.load(std::memory_order_relaxed);

  const std::string_view module_name = ModuleName(file);
  ScopedSrwLock lock(&g_vlog_lock, ScopedSrwLock::kShared);
  if (g_vmodule) {
    for (const VmodulePattern& entry : *g_vmodule) {
      if (MatchVlogPattern(entry.match_path ? std::string_view(file) : module_name,
                           entry.pattern)) {
        return entry.level;
      }
    }
  }
  return g_vlog_default_level.load(std::memory_order_relaxed);
}

void SetVlogLevels(int default_level, std::string_view vmodule) {
  std::unique_ptr<VmodulePatterns> patterns = ParseVmodule(vmodule);
  if (patterns->empty())
    patterns.reset();
  {
    ScopedSrwLock lock(&g_vlog_lock, ScopedSrwLock::kExclusive);
    g_vlog_default_level.store(default_level);
    g_has_vmodule.store(patterns != nullptr, std::memory_order_release);
    VmodulePatterns* old_patterns = g_vmodule;
    g_vmodule = patterns.release();
    patterns.reset(old_patterns);
  }
  // The replaced list is freed here, outside the lock.
}

std::string SystemErrorCodeToString(unsigned long error_code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error_code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  base::win::ScopedLocalAllocTyped<wchar_t> owned_buffer(buffer);
  if (length == 0) {
    char text[64];
    snprintf(text, sizeof(text), "Error (0x%lX) while retrieving error.", ::GetLastError());
    return text;
  }
  std::wstring_view text(buffer, length);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.remove_suffix(1);
  return base::Utf16ToUtf8(text);
}

unsigned long GetLastSystemErrorCode() {
  return ::GetLastError();
}

[[noreturn]] void ImmediateCrash() {
  __debugbreak();
  // Reached only when a debugger or handler resumed after the trap.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(EXCEPTION_BREAKPOINT));
  for (;;) {
  }
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity), file_(file), line_(line) {
  Init(file, line);
}

LogMessage::LogMessage(const char* file, int line, const char* condition)
    : severity_(LOG_FATAL), file_(file), line_(line) {
  Init(file, line);
  stream_ << "Check failed: " << condition << ". ";
}

void LogMessage::Init(const char* file, int line) {
  // Writing the line must not disturb the caller's error state (e.g. a PLOG followed by a
  // GetLastError()); it is given back when the statement ends.
  last_error_ = ::GetLastError();

  stream_ << '[';
  if (g_log_process_id.load(std::memory_order_relaxed))
    stream_ << ::GetCurrentProcessId() << ':';
  if (g_log_thread_id.load(std::memory_order_relaxed))
    stream_ << ::GetCurrentThreadId() << ':';
  if (g_log_timestamp.load(std::memory_order_relaxed)) {
    SYSTEMTIME local_time;
    ::GetLocalTime(&local_time);
    char text[32];
    snprintf(text, sizeof(text), "%02d%02d/%02d%02d%02d.%03d:", local_time.wMonth,
             local_time.wDay, local_time.wHour, local_time.wMinute, local_time.wSecond,
             local_time.wMilliseconds);
    stream_ << text;
  }
  if (g_log_tickcount.load(std::memory_order_relaxed))
    stream_ << ::GetTickCount() << ':';

  if (severity_ < 0)
    stream_ << "VERBOSE" << -severity_;
  else if (severity_ < LOG_NUM_SEVERITIES)
    stream_ << kSeverityNames[severity_];
  else
    stream_ << kSeverityNames[LOG_FATAL];
  stream_ << ':' << BaseName(file ? file : "") << '(' << line << ")] ";
  message_start_ = static_cast<size_t>(stream_.tellp());
}

LogMessage::~LogMessage() {
  Flush();
  ::SetLastError(last_error_);
}

void LogMessage::Flush() {
  if (flushed_)
    return;
  flushed_ = true;
  stream_ << '\n';
  const std::string text = stream_.str();

  const LogMessageHandlerFunction handler = g_handler.load();
  if (!handler || !handler(severity_, file_, line_, message_start_, text)) {
    WriteToDestinations(text);
    if (severity_ >= LOG_ERROR)
      WriteToStandardError(text);
  }

  if (severity_ >= LOG_FATAL) {
    // Kept for post-mortem readers, when something keeps it.
    if (const FatalMessageRecorderFunction recorder = g_fatal_recorder.load())
      recorder(text.data(), text.size());
    ImmediateCrash();
  }
}

ErrorLogMessage::ErrorLogMessage(const char* file,
                                 int line,
                                 LogSeverity severity,
                                 unsigned long error_code)
    : LogMessage(file, line, severity), error_code_(error_code) {}

ErrorLogMessage::~ErrorLogMessage() {
  char code[24];
  snprintf(code, sizeof(code), " (0x%lX)", error_code_);
  stream() << ": " << SystemErrorCodeToString(error_code_) << code;
  Flush();
}

std::ostream& operator<<(std::ostream& out, const wchar_t* text) {
  return out << base::Utf16ToUtf8(text ? std::wstring_view(text) : std::wstring_view());
}

std::ostream& operator<<(std::ostream& out, const std::wstring& text) {
  return out << base::Utf16ToUtf8(text);
}

std::ostream& operator<<(std::ostream& out, std::wstring_view text) {
  return out << base::Utf16ToUtf8(text);
}

}  // namespace logging
