#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <stddef.h>
#include <stdint.h>

#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

// Logging and consistency checks.
//
//   LOG(INFO) << "Installing to " << folder;      // INFO, WARNING, ERROR, FATAL
//   LOG_IF(WARNING, failed) << "...";
//   VLOG(1) << "Using default message loop";      // verbose level 1, per file ("v", "vmodule")
//   PLOG(ERROR) << "CreateFile failed";           // appends ": <system text> (0x<code>)"
//                                                  // of GetLastError()
//   ELOG(ERROR, status) << "RegOpenKeyEx failed";  // the same with an explicit error code
//   CHECK(condition) << "...";                     // fatal when false, in every build
//   DCHECK(condition);                             // fatal when false, debug builds only
//
// A statement whose severity is off is not built at all: its stream expressions are not
// evaluated. FATAL writes its line and ends the process.

namespace logging {

using LogSeverity = int;
constexpr LogSeverity LOG_VERBOSE = -1;  // Verbose level n is severity -n.
constexpr LogSeverity LOG_INFO = 0;
constexpr LogSeverity LOG_WARNING = 1;
constexpr LogSeverity LOG_ERROR = 2;
constexpr LogSeverity LOG_FATAL = 3;
constexpr int LOG_NUM_SEVERITIES = 4;

#if defined(NDEBUG)
constexpr LogSeverity LOG_DFATAL = LOG_ERROR;
constexpr bool kDCheckIsOn = false;
#else
constexpr LogSeverity LOG_DFATAL = LOG_FATAL;
constexpr bool kDCheckIsOn = true;
#endif

// Where lines go besides the handler and standard error.
enum LoggingDestination : uint32_t {
  LOG_NONE = 0,
  LOG_TO_FILE = 1,
  LOG_TO_SYSTEM_DEBUG_LOG = 2,
  LOG_TO_ALL = LOG_TO_FILE | LOG_TO_SYSTEM_DEBUG_LOG,
};

enum LogLockingState { LOCK_LOG_FILE = 0, DONT_LOCK_LOG_FILE = 1 };

enum OldFileDeletionState { DELETE_OLD_LOG_FILE = 0, APPEND_TO_OLD_LOG_FILE = 1 };

struct LoggingSettings {
  uint32_t logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
  std::wstring log_file;  // Used with LOG_TO_FILE.
  LogLockingState lock_log = LOCK_LOG_FILE;
  OldFileDeletionState delete_old = APPEND_TO_OLD_LOG_FILE;
  // For a process that writes into a folder another user may change (an elevated one in the
  // user's temporary folder): the log file and its side file are opened only where no link
  // leads them elsewhere (base/files/file_without_links.h), and are not shared for deletion.
  bool refuse_links = false;
};

// Reads "v" and "vmodule" from the process command line (when it exists and holds either),
// closes any open log file, deletes the old file when asked and opens the new one for
// appending (creating it when missing; other processes may read it and append to it).
// Returns false, with the thread's last error set, when the log file cannot be opened
// (ERROR_CANT_ACCESS_FILE when |refuse_links| found one); nothing is logged to a file then.
// With LOCK_LOG_FILE every write holds a lock shared by the processes that name the same
// full path (see LogFileLock), so that processes appending to one file never interleave
// parts of lines. A line that cannot get the lock within its bound goes to a file of this
// process beside the log ("<name>.<process id><extension>"), which the log names once; the
// next line waits for the lock again. Lines that other threads
// log meanwhile go by the old settings or wait for the new ones; none is lost.
bool InitLogging(const LoggingSettings& settings);

// Closes the log file, if one is open.
void CloseLogFile();

// Chooses the items of the line prefix. By default none is written.
void SetLogItems(bool enable_process_id,
                 bool enable_thread_id,
                 bool enable_timestamp,
                 bool enable_tickcount);

// Sees every line first (the whole formatted line, prefix included, |message_start| the
// offset of the message text); returning true takes the line: nothing else writes it.
using LogMessageHandlerFunction = bool (*)(int severity,
                                           const char* file,
                                           int line,
                                           size_t message_start,
                                           const std::string& text);
void SetLogMessageHandler(LogMessageHandlerFunction handler);
LogMessageHandlerFunction GetLogMessageHandler();

// Keeps the text of a FATAL line (the whole line) before the process ends, for readers after
// the crash. Installed from above by whoever keeps it (the activity tracker, while its
// registry exists); null for none.
using FatalMessageRecorderFunction = void (*)(const char* text, size_t length);
void SetFatalMessageRecorder(FatalMessageRecorderFunction recorder);

// Severities below the minimum (INFO by default) are not logged; verbose levels are
// controlled by "v" and "vmodule" instead.
void SetMinLogLevel(int level);
int GetMinLogLevel();

// Whether a statement of |severity| is built at all (for verbose statements see VLOG_IS_ON).
bool ShouldCreateLogMessage(LogSeverity severity);

// The verbose level enabled for |file| (a source path, as in __FILE__) by "vmodule"
// (comma-separated "pattern=N", the pattern matching the file name without extension, or
// the whole path when it holds a separator; '*' and '?' are wild cards, slash and backslash
// match each other, letters match regardless of ASCII case, the first matching pattern wins)
// or else by "v". Cheap when "vmodule" is empty; safe to call from any thread.
int GetVlogLevel(const char* file);

// Sets the verbose levels directly (as "v" and "vmodule" would). Entries of |vmodule|
// without a pattern or a decimal level are ignored.
void SetVlogLevels(int default_level, std::string_view vmodule);

// The system's text for a Win32 error code (UTF-8), without trailing line breaks or spaces.
// When the system has no text for it: "Error (0x<E>) while retrieving error.", E being the
// error of the failed look-up.
std::string SystemErrorCodeToString(unsigned long error_code);

// Wide text in log statements is written as UTF-8.
std::ostream& operator<<(std::ostream& out, const wchar_t* text);
std::ostream& operator<<(std::ostream& out, const std::wstring& text);
std::ostream& operator<<(std::ostream& out, std::wstring_view text);

// The stream of one statement. Every insertion returns this type and is resolved here, so
// the wide-text writers above take part whatever namespace the statement is written in
// (an operator<< of that namespace would otherwise hide them).
class LogStream : public std::ostringstream {
 public:
  template <typename T>
  LogStream& operator<<(const T& value) {
    static_cast<std::ostream&>(*this) << value;
    return *this;
  }
  LogStream& operator<<(std::ostream& (*manipulator)(std::ostream&)) {
    manipulator(*this);
    return *this;
  }
  LogStream& operator<<(std::ios_base& (*manipulator)(std::ios_base&)) {
    manipulator(*this);
    return *this;
  }
};

// One log statement: the line is written when the object is destroyed, to the handler, or
// else to the log file, the system debug log (by the destination of InitLogging) and, for
// ERROR and above, standard error. The thread's last error is the same after the statement
// as before it.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  // For CHECK: the line starts with "Check failed: <condition>. ".
  LogMessage(const char* file, int line, const char* condition);
  virtual ~LogMessage();

  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  LogStream& stream() { return stream_; }
  LogSeverity severity() const { return severity_; }

 protected:
  // Writes the line and, for FATAL, ends the process.
  void Flush();

 private:
  void Init(const char* file, int line);

  LogSeverity severity_;
  LogStream stream_;
  size_t message_start_ = 0;
  const char* file_;
  int line_;
  bool flushed_ = false;
  unsigned long last_error_ = 0;
};

// A statement that appends ": ", the system's text of |error_code| and " (0x%X)".
class ErrorLogMessage : public LogMessage {
 public:
  ErrorLogMessage(const char* file, int line, LogSeverity severity, unsigned long error_code);
  ~ErrorLogMessage() override;

 private:
  unsigned long error_code_;
};

// Turns "stream << x" into a void expression so that it fits in the ?: of the macros below.
class LogMessageVoidify {
 public:
  void operator&(std::ostream&) {}
};

// Ends the process at once, with a trap that the crash handler sees.
[[noreturn]] void ImmediateCrash();

// The calling thread's last-error value, read before anything else can change it.
unsigned long GetLastSystemErrorCode();

}  // namespace logging

#define LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::logging::LogMessageVoidify() & (stream)

#define LOG_SEVERITY_INFO ::logging::LOG_INFO
#define LOG_SEVERITY_WARNING ::logging::LOG_WARNING
#define LOG_SEVERITY_ERROR ::logging::LOG_ERROR
#define LOG_SEVERITY_FATAL ::logging::LOG_FATAL
#define LOG_SEVERITY_DFATAL ::logging::LOG_DFATAL
// <windows.h> defines ERROR as 0, which reaches the nested macros below already expanded.
#define LOG_SEVERITY_0 ::logging::LOG_ERROR

#define LOG_IS_ON(severity) (::logging::ShouldCreateLogMessage(LOG_SEVERITY_##severity))
#define LOG_STREAM(severity) \
  ::logging::LogMessage(__FILE__, __LINE__, LOG_SEVERITY_##severity).stream()

#define LOG(severity) LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity))
#define LOG_IF(severity, condition) \
  LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity) && (condition))

#define VLOG_IS_ON(verbose_level) (::logging::GetVlogLevel(__FILE__) >= (verbose_level))
#define VLOG(verbose_level)                                                  \
  LAZY_STREAM(::logging::LogMessage(__FILE__, __LINE__, -(verbose_level)).stream(), \
              VLOG_IS_ON(verbose_level))

#define ELOG(severity, error_code)                                                  \
  LAZY_STREAM(::logging::ErrorLogMessage(__FILE__, __LINE__, LOG_SEVERITY_##severity, \
                                         (error_code))                              \
                  .stream(),                                                        \
              LOG_IS_ON(severity))
#define PLOG(severity) ELOG(severity, ::logging::GetLastSystemErrorCode())

#define CHECK(condition)                                                              \
  LAZY_STREAM(::logging::LogMessage(__FILE__, __LINE__, #condition).stream(), \
              !(condition))
#define CHECK_OP(op, a, b) CHECK((a)op(b))
#define CHECK_EQ(a, b) CHECK_OP(==, a, b)
#define CHECK_NE(a, b) CHECK_OP(!=, a, b)
#define CHECK_LT(a, b) CHECK_OP(<, a, b)
#define CHECK_LE(a, b) CHECK_OP(<=, a, b)
#define CHECK_GT(a, b) CHECK_OP(>, a, b)
#define CHECK_GE(a, b) CHECK_OP(>=, a, b)

#define DCHECK(condition) \
  LAZY_STREAM(::logging::LogMessage(__FILE__, __LINE__, #condition).stream(), \
              ::logging::kDCheckIsOn && !(condition))
#define DCHECK_EQ(a, b) DCHECK((a) == (b))
#define DCHECK_NE(a, b) DCHECK((a) != (b))
#define DCHECK_LT(a, b) DCHECK((a) < (b))
#define DCHECK_LE(a, b) DCHECK((a) <= (b))
#define DCHECK_GT(a, b) DCHECK((a) > (b))
#define DCHECK_GE(a, b) DCHECK((a) >= (b))

#define NOTREACHED() DCHECK(false)

#endif  // BASE_LOGGING_H_
