#include "base/logging.h"

#include <windows.h>
#include <stdio.h>

#include "base/strings/utf_string_conversions.h"

// Minimal implementation: lines of ERROR and above go to standard error. The log file,
// prefix items, verbose levels and handler are filled in by the full implementation.

namespace logging {

namespace {

const char* const kSeverityNames[LOG_NUM_SEVERITIES] = {"INFO", "WARNING", "ERROR", "FATAL"};

int g_min_log_level = LOG_INFO;
LogMessageHandlerFunction g_handler = nullptr;

const char* BaseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/')
      name = p + 1;
  }
  return name;
}

}  // namespace

bool InitLogging(const LoggingSettings& settings) { return true; }
void CloseLogFile() {}
void SetLogItems(bool, bool, bool, bool) {}
void SetLogMessageHandler(LogMessageHandlerFunction handler) { g_handler = handler; }
LogMessageHandlerFunction GetLogMessageHandler() { return g_handler; }
void SetMinLogLevel(int level) { g_min_log_level = level < LOG_FATAL ? level : LOG_FATAL; }
int GetMinLogLevel() { return g_min_log_level; }
bool ShouldCreateLogMessage(LogSeverity severity) { return severity >= g_min_log_level; }
int GetVlogLevel(const char*) { return 0; }
void SetVlogLevels(int, std::string_view) {}

std::string SystemErrorCodeToString(unsigned long error_code) {
  wchar_t buffer[256];
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       error_code, 0, buffer, ARRAYSIZE(buffer), nullptr);
  std::wstring text(buffer, length);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  return base::Utf16ToUtf8(text);
}

unsigned long GetLastSystemErrorCode() { return ::GetLastError(); }

[[noreturn]] void ImmediateCrash() {
  __debugbreak();
  ::TerminateProcess(::GetCurrentProcess(), 3);
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
  stream_ << '[';
  if (severity_ >= 0 && severity_ < LOG_NUM_SEVERITIES)
    stream_ << kSeverityNames[severity_];
  else
    stream_ << "VERBOSE" << -severity_;
  stream_ << ':' << BaseName(file) << '(' << line << ")] ";
  message_start_ = static_cast<size_t>(stream_.tellp());
}

LogMessage::~LogMessage() { Flush(); }

void LogMessage::Flush() {
  if (flushed_)
    return;
  flushed_ = true;
  stream_ << '\n';
  const std::string text = stream_.str();
  if (g_handler && g_handler(severity_, file_, line_, message_start_, text))
    return;
  if (severity_ >= LOG_ERROR) {
    fputs(text.c_str(), stderr);
    fflush(stderr);
  }
  if (severity_ == LOG_FATAL)
    ImmediateCrash();
}

ErrorLogMessage::ErrorLogMessage(const char* file,
                                 int line,
                                 LogSeverity severity,
                                 unsigned long error_code)
    : LogMessage(file, line, severity), error_code_(error_code) {}

ErrorLogMessage::~ErrorLogMessage() {
  char code[16];
  snprintf(code, sizeof(code), "%lX", error_code_);
  stream() << ": " << SystemErrorCodeToString(error_code_) << " (0x" << code << ")";
  Flush();
}

}  // namespace logging

std::ostream& operator<<(std::ostream& out, const wchar_t* text) {
  return out << base::Utf16ToUtf8(text ? std::wstring_view(text) : std::wstring_view());
}

std::ostream& operator<<(std::ostream& out, const std::wstring& text) {
  return out << base::Utf16ToUtf8(text);
}

std::ostream& operator<<(std::ostream& out, std::wstring_view text) {
  return out << base::Utf16ToUtf8(text);
}
