#include "base/logging.h"

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/log_file_lock.h"
#include "base/path_registry.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace logging {
namespace {

// Lines seen by the capturing handler; it takes them when |g_take_lines| is set.
struct CapturedLine {
  int severity;
  std::string file;
  int line;
  size_t message_start;
  std::string text;
};
std::vector<CapturedLine> g_captured;
bool g_take_lines = true;

bool CaptureLine(int severity, const char* file, int line, size_t message_start,
                 const std::string& text) {
  g_captured.push_back(CapturedLine{severity, file, line, message_start, text});
  return g_take_lines;
}

// Counts the evaluations of stream arguments.
int g_evaluations = 0;
int Evaluate() {
  ++g_evaluations;
  return 0;
}

std::string Prefix(const char* severity, int line) {
  return std::string("[") + severity + ":logging_unittest.cc(" + std::to_string(line) + ")] ";
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  base::ReadFileToString(base::FilePath(path), &bytes);
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  ASSERT_EQ(static_cast<int>(bytes.size()),
            base::WriteFileFromBuffer(base::FilePath(path), bytes.data(),
                                      static_cast<int>(bytes.size())));
}

LoggingSettings FileSettings(const std::wstring& path, OldFileDeletionState old_file) {
  LoggingSettings settings;
  settings.logging_dest = LOG_TO_FILE;
  settings.log_file = path;
  settings.delete_old = old_file;
  return settings;
}

// Every test starts and ends with default settings, the capturing handler and no log file.
class LoggingTest : public testing::Test {
 protected:
  void SetUp() override {
    Reset();
    SetLogMessageHandler(&CaptureLine);
  }
  void TearDown() override { Reset(); }

  static void Reset() {
    LoggingSettings settings;
    settings.logging_dest = LOG_NONE;
    InitLogging(settings);
    SetLogMessageHandler(nullptr);
    SetLogItems(false, false, false, false);
    SetMinLogLevel(LOG_INFO);
    SetVlogLevels(0, "");
    g_captured.clear();
    g_take_lines = true;
    g_evaluations = 0;
  }
};

TEST_F(LoggingTest, LineWithoutPrefixItems) {
  LOG(INFO) << "plain " << 42;
  const int info_line = __LINE__ - 1;
  LOG(WARNING) << L"wide \u00e9";
  const int warning_line = __LINE__ - 1;
  SetVlogLevels(2, "");
  VLOG(2) << "verbose";
  const int verbose_line = __LINE__ - 1;

  ASSERT_EQ(3u, g_captured.size());
  EXPECT_EQ(Prefix("INFO", info_line) + "plain 42\n", g_captured[0].text);
  EXPECT_EQ(LOG_INFO, g_captured[0].severity);
  EXPECT_EQ(std::string(__FILE__), g_captured[0].file);
  EXPECT_EQ(info_line, g_captured[0].line);
  EXPECT_EQ("plain 42\n", g_captured[0].text.substr(g_captured[0].message_start));
  EXPECT_EQ(Prefix("WARNING", warning_line) + "wide \xC3\xA9\n", g_captured[1].text);
  EXPECT_EQ(Prefix("VERBOSE2", verbose_line) + "verbose\n", g_captured[2].text);
  EXPECT_EQ(-2, g_captured[2].severity);
}

TEST_F(LoggingTest, EachPrefixItem) {
  const std::string pid = std::to_string(::GetCurrentProcessId());
  const std::string tid = std::to_string(::GetCurrentThreadId());

  SetLogItems(true, false, false, false);
  LOG(INFO) << "m";
  const int pid_line = __LINE__ - 1;
  SetLogItems(false, true, false, false);
  LOG(INFO) << "m";
  const int tid_line = __LINE__ - 1;
  ASSERT_EQ(2u, g_captured.size());
  EXPECT_EQ("[" + pid + ":" + Prefix("INFO", pid_line).substr(1) + "m\n", g_captured[0].text);
  EXPECT_EQ("[" + tid + ":" + Prefix("INFO", tid_line).substr(1) + "m\n", g_captured[1].text);

  g_captured.clear();
  SetLogItems(false, false, false, true);
  const DWORD ticks_before = ::GetTickCount();
  LOG(INFO) << "m";
  const DWORD ticks_after = ::GetTickCount();
  ASSERT_EQ(1u, g_captured.size());
  unsigned long ticks = 0;
  char severity[16] = {};
  ASSERT_EQ(2, sscanf(g_captured[0].text.c_str(), "[%lu:%15[A-Z]:", &ticks, severity));
  EXPECT_STREQ("INFO", severity);
  EXPECT_GE(ticks, ticks_before);
  EXPECT_LE(ticks, ticks_after);

  // All four, in their fixed order; the time is local time as MMDD/HHMMSS.mmm.
  g_captured.clear();
  SetLogItems(true, true, true, true);
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  LOG(ERROR) << "all";
  ASSERT_EQ(1u, g_captured.size());
  const std::string& text = g_captured[0].text;
  const std::string head = "[" + pid + ":" + tid + ":";
  ASSERT_EQ(head, text.substr(0, head.size()));
  const std::string time = text.substr(head.size(), 16);
  ASSERT_EQ(16u, time.size());
  for (size_t i = 0; i < time.size(); ++i) {
    const char expected = i == 4 ? '/' : i == 11 ? '.' : i == 15 ? ':' : '#';
    if (expected == '#')
      EXPECT_TRUE(time[i] >= '0' && time[i] <= '9') << time;
    else
      EXPECT_EQ(expected, time[i]) << time;
  }
  EXPECT_EQ(now.wMonth, std::stoi(time.substr(0, 2)));
  EXPECT_LT(std::stoi(time.substr(5, 2)), 24);
  const size_t rest = head.size() + time.size();
  const size_t tick_end = text.find(':', rest);
  ASSERT_NE(std::string::npos, tick_end);
  EXPECT_EQ(":ERROR:logging_unittest.cc(", text.substr(tick_end, 27));
  EXPECT_EQ(")] all\n", text.substr(g_captured[0].message_start - 3));
}

TEST_F(LoggingTest, ErrorCodeText) {
  const std::string not_found = SystemErrorCodeToString(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(not_found.empty());
  EXPECT_EQ(std::string::npos, not_found.find_last_of("\r\n"));
  EXPECT_NE(' ', not_found.back());
  EXPECT_NE(0u, not_found.find("Error (0x"));

  ELOG(ERROR, ERROR_FILE_NOT_FOUND) << "open";
  const int line = __LINE__ - 1;
  // No system text: the look-up's own failure is reported, the code still follows.
  ELOG(WARNING, 0x2000ABCDu) << "odd";
  ::SetLastError(ERROR_ACCESS_DENIED);
  PLOG(ERROR) << "denied";
  // Logging leaves the thread's error as it was.
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());

  ASSERT_EQ(3u, g_captured.size());
  EXPECT_EQ(Prefix("ERROR", line) + "open: " + not_found + " (0x2)\n", g_captured[0].text);
  const std::string odd = g_captured[1].text.substr(g_captured[1].message_start);
  EXPECT_EQ(0u, odd.find("odd: Error (0x")) << odd;
  EXPECT_NE(std::string::npos, odd.find(") while retrieving error. (0x2000ABCD)\n")) << odd;
  EXPECT_EQ("denied: " + SystemErrorCodeToString(ERROR_ACCESS_DENIED) + " (0x5)\n",
            g_captured[2].text.substr(g_captured[2].message_start));
}

TEST_F(LoggingTest, MinLogLevelSkipsStatementsUnevaluated) {
  SetMinLogLevel(LOG_WARNING);
  EXPECT_EQ(LOG_WARNING, GetMinLogLevel());
  LOG(INFO) << Evaluate();
  LOG_IF(WARNING, false) << Evaluate();
  LOG_IF(WARNING, true) << "kept";
  ELOG(INFO, 5) << Evaluate();
  EXPECT_EQ(0, g_evaluations);
  ASSERT_EQ(1u, g_captured.size());
  EXPECT_EQ("kept\n", g_captured[0].text.substr(g_captured[0].message_start));

  SetMinLogLevel(LOG_FATAL + 1);
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_ERROR));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_FATAL));
}

TEST_F(LoggingTest, VerboseLevelFilter) {
  SetVlogLevels(1, "");
  EXPECT_EQ(1, GetVlogLevel(__FILE__));
  VLOG(1) << "one";
  VLOG(2) << Evaluate();
  EXPECT_EQ(0, g_evaluations);
  ASSERT_EQ(1u, g_captured.size());
  EXPECT_EQ("one\n", g_captured[0].text.substr(g_captured[0].message_start));

  // "vmodule" overrides "v" for the files it names.
  SetVlogLevels(1, "other=5,logging_unittest=3");
  VLOG(3) << "three";
  VLOG(4) << Evaluate();
  SetVlogLevels(4, "logging_unittest=0");
  VLOG(1) << Evaluate();
  EXPECT_EQ(0, g_evaluations);
  ASSERT_EQ(2u, g_captured.size());
  EXPECT_EQ("three\n", g_captured[1].text.substr(g_captured[1].message_start));
}

TEST_F(LoggingTest, VmodulePatterns) {
  SetVlogLevels(7,
                " installer_main = 2 ,install*=3,*/ui/*=4,foo?bar=5,C:\\src\\*.h=6,"
                "broken,=1,x=,y=z,huge=99999999999");
  // A pattern without separators matches the base name without its extension, the first
  // matching entry wins.
  EXPECT_EQ(2, GetVlogLevel("C:\\src\\installer\\installer_main.cc"));
  EXPECT_EQ(2, GetVlogLevel("/work/Installer_Main.h"));
  EXPECT_EQ(3, GetVlogLevel("d:/x/installer.cc"));
  EXPECT_EQ(3, GetVlogLevel("install"));
  EXPECT_EQ(5, GetVlogLevel("fooXbar.cc"));
  EXPECT_EQ(7, GetVlogLevel("fooXXbar.cc"));
  EXPECT_EQ(7, GetVlogLevel("C:\\install\\main.cc"));
  // A pattern with a separator matches the whole path, either separator matching both.
  EXPECT_EQ(4, GetVlogLevel("C:\\src\\ui\\window.cc"));
  EXPECT_EQ(4, GetVlogLevel("a/ui/b.cc"));
  EXPECT_EQ(7, GetVlogLevel("ui/b.cc"));
  EXPECT_EQ(6, GetVlogLevel("c:/src/deep/path.h"));
  EXPECT_EQ(7, GetVlogLevel("c:/src/deep/path.cc"));
  // Malformed entries are ignored.
  EXPECT_EQ(7, GetVlogLevel("broken.cc"));
  EXPECT_EQ(7, GetVlogLevel("x.cc"));
  EXPECT_EQ(7, GetVlogLevel("y.cc"));
  EXPECT_EQ(7, GetVlogLevel("huge.cc"));
  EXPECT_EQ(7, GetVlogLevel(nullptr));

  SetVlogLevels(-1, "");
  EXPECT_EQ(-1, GetVlogLevel("installer_main.cc"));
}

// Tests of the log file, each with its own temporary folder.
class LoggingFileTest : public LoggingTest {
 protected:
  void SetUp() override {
    LoggingTest::SetUp();
    ASSERT_TRUE(folder_.CreateUniqueTempDir());
  }

  std::wstring InFolder(const wchar_t* name) const {
    return folder_.GetPath().Append(name).value();
  }

  // Sends the lines to the file |name| of the folder, without a handler; returns its path.
  std::wstring LogToFile(const wchar_t* name, OldFileDeletionState old_file) {
    const std::wstring path = InFolder(name);
    SetLogMessageHandler(nullptr);
    EXPECT_TRUE(InitLogging(FileSettings(path, old_file)));
    return path;
  }

  base::ScopedTempDir folder_;
};

TEST_F(LoggingFileTest, FileGetsExactLineBytes) {
  const std::wstring path = LogToFile(L"exact.log", APPEND_TO_OLD_LOG_FILE);
  LOG(INFO) << L"caf\u00e9";
  const int line = __LINE__ - 1;
  VLOG(1) << "not enabled";
  LOG(WARNING) << "two";
  // The file is shared: it can be read while it is open for logging.
  EXPECT_EQ(Prefix("INFO", line) + "caf\xC3\xA9\n" + Prefix("WARNING", line + 3) + "two\n",
            ReadFileBytes(path));
  CloseLogFile();
  LOG(INFO) << "after close";
  EXPECT_EQ(std::string::npos, ReadFileBytes(path).find("after close"));
}

TEST_F(LoggingFileTest, HandlerTakesLinesFromFile) {
  const std::wstring path = LogToFile(L"handler.log", APPEND_TO_OLD_LOG_FILE);
  SetLogMessageHandler(&CaptureLine);
  LOG(INFO) << "taken";
  g_take_lines = false;
  LOG(INFO) << "passed on";
  CloseLogFile();
  ASSERT_EQ(2u, g_captured.size());
  EXPECT_EQ(g_captured[1].text, ReadFileBytes(path));
}

TEST_F(LoggingFileTest, OldFileAppendedOrDeleted) {
  const std::wstring path = InFolder(L"old.log");
  WriteFileBytes(path, "old line\n");

  LogToFile(L"old.log", APPEND_TO_OLD_LOG_FILE);
  LOG(INFO) << "appended";
  EXPECT_EQ(0u, ReadFileBytes(path).find("old line\n[INFO:"));

  // A new InitLogging closes the previous file.
  const std::wstring other = LogToFile(L"other.log", APPEND_TO_OLD_LOG_FILE);
  LOG(INFO) << "elsewhere";
  EXPECT_EQ(std::string::npos, ReadFileBytes(path).find("elsewhere"));
  EXPECT_NE(std::string::npos, ReadFileBytes(other).find("elsewhere"));

  ASSERT_TRUE(InitLogging(FileSettings(path, DELETE_OLD_LOG_FILE)));
  LOG(INFO) << "fresh";
  const int line = __LINE__ - 1;
  EXPECT_EQ(Prefix("INFO", line) + "fresh\n", ReadFileBytes(path));

  EXPECT_FALSE(InitLogging(FileSettings(InFolder(L"missing\\x.log"), DELETE_OLD_LOG_FILE)));
  EXPECT_FALSE(InitLogging(FileSettings(L"", DELETE_OLD_LOG_FILE)));
}

// Points standard error at a new file while it lives.
class ScopedStandardErrorFile {
 public:
  explicit ScopedStandardErrorFile(const std::wstring& path)
      : file_(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)),
        previous_(::GetStdHandle(STD_ERROR_HANDLE)) {
    EXPECT_TRUE(file_.IsValid());
    ::SetStdHandle(STD_ERROR_HANDLE, file_.Get());
  }
  ScopedStandardErrorFile(const ScopedStandardErrorFile&) = delete;
  ScopedStandardErrorFile& operator=(const ScopedStandardErrorFile&) = delete;
  ~ScopedStandardErrorFile() { ::SetStdHandle(STD_ERROR_HANDLE, previous_); }

 private:
  base::win::ScopedHandle file_;
  const HANDLE previous_;
};

TEST_F(LoggingFileTest, ErrorAndAboveAlsoGoToStandardError) {
  const std::wstring error_path = InFolder(L"stderr.txt");
  const std::wstring log_path = LogToFile(L"all.log", APPEND_TO_OLD_LOG_FILE);
  {
    ScopedStandardErrorFile standard_error(error_path);
    LOG(INFO) << "info";
    LOG(WARNING) << "warning";
    LOG(ERROR) << "error";
    // A line taken by the handler goes nowhere else.
    SetLogMessageHandler(&CaptureLine);
    LOG(ERROR) << "taken";
    SetLogMessageHandler(nullptr);
    ELOG(ERROR, ERROR_ACCESS_DENIED) << "denied";
  }
  CloseLogFile();
  const std::string errors = ReadFileBytes(error_path);
  EXPECT_EQ(std::string::npos, errors.find("info"));
  EXPECT_EQ(std::string::npos, errors.find("warning"));
  EXPECT_EQ(std::string::npos, errors.find("taken"));
  EXPECT_EQ(0u, errors.find("[ERROR:logging_unittest.cc(")) << errors;
  EXPECT_NE(std::string::npos, errors.find(")] error\n[ERROR:")) << errors;
  EXPECT_NE(std::string::npos, errors.find(")] denied: ")) << errors;
  // The log file has every line the handler did not take, standard error's among them.
  const std::string logged = ReadFileBytes(log_path);
  EXPECT_NE(std::string::npos, logged.find("] info\n"));
  EXPECT_NE(std::string::npos, logged.find(errors)) << logged;
}

// Collects what OutputDebugString sends while it lives, standing in for a debugger: the
// system raises the text as an exception, which a vectored handler sees first.
class DebugLogCapture {
 public:
  DebugLogCapture() : handler_(::AddVectoredExceptionHandler(1, &DebugLogCapture::Handler)) {
    current_ = this;
  }
  DebugLogCapture(const DebugLogCapture&) = delete;
  DebugLogCapture& operator=(const DebugLogCapture&) = delete;
  ~DebugLogCapture() {
    ::RemoveVectoredExceptionHandler(handler_);
    current_ = nullptr;
  }

  std::string text() {
    std::lock_guard<std::mutex> lock(lock_);
    return text_;
  }

 private:
  static constexpr DWORD kWidePrintException = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

  static LONG CALLBACK Handler(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    DebugLogCapture* capture = current_;
    if (!capture || record->NumberParameters < 2 || record->ExceptionInformation[0] == 0)
      return EXCEPTION_CONTINUE_SEARCH;
    // Both carry the length with the terminating NUL, then the text.
    const size_t length = static_cast<size_t>(record->ExceptionInformation[0]) - 1;
    std::string text;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C) {
      text.assign(reinterpret_cast<const char*>(record->ExceptionInformation[1]), length);
    } else if (record->ExceptionCode == kWidePrintException) {
      text = base::Utf16ToUtf8(std::wstring_view(
          reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]), length));
    } else {
      return EXCEPTION_CONTINUE_SEARCH;
    }
    std::lock_guard<std::mutex> lock(capture->lock_);
    capture->text_ += text;
    return EXCEPTION_CONTINUE_EXECUTION;
  }

  static std::atomic<DebugLogCapture*> current_;
  void* const handler_;
  std::mutex lock_;
  std::string text_;
};
std::atomic<DebugLogCapture*> DebugLogCapture::current_{nullptr};

// The numbers of the lines "<prefix><number>" in |text|.
std::set<int> NumberedLines(const std::string& text, const std::string& prefix) {
  std::set<int> numbers;
  for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1))
    numbers.insert(atoi(text.c_str() + at + prefix.size()));
  return numbers;
}

TEST_F(LoggingFileTest, NoLineIsLostWhileTheDestinationChanges) {
  DebugLogCapture debug_log;
  const std::wstring path = InFolder(L"switching.log");
  SetLogMessageHandler(nullptr);
  LoggingSettings debug_settings;
  debug_settings.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
  ASSERT_TRUE(InitLogging(debug_settings));

  // One thread logs numbered lines while this one moves the destination between the debug
  // log and a file, back and forth, each setting kept until a line went by it: every line
  // must arrive at one or the other.
  std::atomic<bool> stop{false};
  std::atomic<int> written{0};
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) {
      LOG(INFO) << "switching " << i;
      written = i + 1;
    }
  });
  const DWORD deadline = ::GetTickCount() + 30000;
  auto before_deadline = [deadline] { return static_cast<LONG>(deadline - ::GetTickCount()) > 0; };
  for (int i = 0; i < 400 && before_deadline(); ++i) {
    const int before = written;
    EXPECT_TRUE(InitLogging(i % 2 ? debug_settings : FileSettings(path, APPEND_TO_OLD_LOG_FILE)));
    while (written == before && before_deadline())
      ::Sleep(0);
  }
  stop = true;
  writer.join();
  Reset();

  std::set<int> arrived = NumberedLines(ReadFileBytes(path), "] switching ");
  const std::set<int> in_debug_log = NumberedLines(debug_log.text(), "] switching ");
  EXPECT_FALSE(arrived.empty());
  EXPECT_FALSE(in_debug_log.empty());
  arrived.insert(in_debug_log.begin(), in_debug_log.end());
  std::vector<int> lost;
  for (int i = 0; i < written; ++i) {
    if (!arrived.count(i))
      lost.push_back(i);
  }
  EXPECT_TRUE(lost.empty()) << lost.size() << " lines lost, the first " << lost.front();
}

// Runs this test program as a child with |test| (a disabled test of LoggingChildTest) and
// |switches|; returns its exit code, or -1 when it could not be run or timed out.
long RunChild(const char* test, const std::vector<std::pair<std::string, std::wstring>>& switches) {
  base::FilePath exe;
  if (!base::PathRegistry::Get(base::FILE_EXE, &exe))
    return -1;
  base::CommandLine command_line(exe);
  command_line.AppendSwitchASCII("gtest_filter", std::string("LoggingChildTest.DISABLED_") + test);
  command_line.AppendSwitch("gtest_also_run_disabled_tests");
  for (const auto& entry : switches)
    command_line.AppendSwitchNative(entry.first, entry.second);

  // The child's test output would only clutter this program's.
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  base::win::ScopedHandle null_device(
      ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = null_device.Get();
  PROCESS_INFORMATION info = {};
  std::wstring text = command_line.GetCommandLineString();
  if (!::CreateProcessW(nullptr, &text[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
    return -1;
  }
  base::win::ScopedHandle process(info.hProcess);
  base::win::ScopedHandle thread(info.hThread);
  if (::WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 1);
    return -1;
  }
  DWORD exit_code = 0;
  ::GetExitCodeProcess(process.Get(), &exit_code);
  return static_cast<long>(exit_code);
}

std::wstring ChildSwitch(const char* name) {
  return base::CommandLine::FromString(::GetCommandLineW()).GetSwitchValueNative(name);
}

// Enough lines from each writer, all at once, that writes without the lock would tear some.
constexpr int kLinesPerWriter = 1000;
const std::string kFiller(120, 'x');

// Writes the tagged line 0, calls |between|, then writes the rest.
template <typename Between>
void WriteTaggedLines(const std::string& tag, Between between) {
  for (int i = 0; i < kLinesPerWriter; ++i) {
    LOG(INFO) << tag << ' ' << i << ' ' << kFiller;
    if (i == 0)
      between();
  }
}
const int kTaggedLine = __LINE__ - 5;

base::win::ScopedHandle OpenSyncEvent(const std::wstring& name) {
  return base::win::ScopedHandle(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
}

// Names of the parent's objects that line the writers up: each child releases "<name>ready"
// once, then all start writing when "<name>go" is set. After the first line each releases
// "<name>waited" and writes the rest once "<name>bulk" is set.
TEST(LoggingChildTest, DISABLED_AppendLines) {
  const std::wstring sync = ChildSwitch("sync");
  base::win::ScopedHandle ready(::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE,
                                                 (sync + L"ready").c_str()));
  base::win::ScopedHandle waited(::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE,
                                                  (sync + L"waited").c_str()));
  base::win::ScopedHandle go = OpenSyncEvent(sync + L"go");
  base::win::ScopedHandle bulk = OpenSyncEvent(sync + L"bulk");
  ASSERT_TRUE(ready.IsValid() && waited.IsValid() && go.IsValid() && bulk.IsValid());
  ASSERT_TRUE(InitLogging(FileSettings(ChildSwitch("log-file"), APPEND_TO_OLD_LOG_FILE)));
  ::ReleaseSemaphore(ready.Get(), 1, nullptr);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(go.Get(), 30000));
  WriteTaggedLines(base::SystemWideToUtf8(ChildSwitch("tag")), [&] {
    ::ReleaseSemaphore(waited.Get(), 1, nullptr);
    ::WaitForSingleObject(bulk.Get(), 30000);
  });
  CloseLogFile();
}

// Holds the log's lock from "<name>go" until "<name>release" is set, as a process stopped on
// a slow disk or in a debugger would, then lets go normally.
TEST(LoggingChildTest, DISABLED_HoldsTheLog) {
  const std::wstring sync = ChildSwitch("sync");
  base::win::ScopedHandle release = OpenSyncEvent(sync + L"release");
  base::win::ScopedHandle held(::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE,
                                                (sync + L"ready").c_str()));
  ASSERT_TRUE(release.IsValid() && held.IsValid());
  std::unique_ptr<LogFileLock> lock = LogFileLock::Create(ChildSwitch("log-file"));
  ASSERT_TRUE(lock && lock->Acquire());
  ::ReleaseSemaphore(held.Get(), 1, nullptr);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(release.Get(), 60000));
  lock->Release();
}

// Each writer's lines, in the order found, by tag; fails on a line that is not whole.
void CollectTaggedLines(const std::string& content,
                        std::map<std::string, std::vector<int>>* lines,
                        std::map<std::string, int>* notices) {
  const std::string prefix = Prefix("INFO", kTaggedLine);
  const std::string notice = "[WARNING:logging] Another process held this log for more than ";
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = content.find('\n', start);
    ASSERT_NE(std::string::npos, end);
    const std::string line = content.substr(start, end - start);
    start = end + 1;
    if (line.compare(0, notice.size(), notice) == 0) {
      const size_t of = line.find("lines of process ");
      ASSERT_NE(std::string::npos, of) << line;
      ++(*notices)[line.substr(of, line.find(' ', of + 17) - of)];
      continue;
    }
    ASSERT_EQ(prefix, line.substr(0, prefix.size())) << line;
    const size_t space = line.find(' ', prefix.size());
    ASSERT_NE(std::string::npos, space) << line;
    const std::string tag = line.substr(prefix.size(), space - prefix.size());
    const size_t number_end = line.find(' ', space + 1);
    ASSERT_NE(std::string::npos, number_end) << line;
    ASSERT_EQ(' ' + kFiller, line.substr(number_end)) << line;
    (*lines)[tag].push_back(atoi(line.c_str() + space + 1));
  }
}

// A process holds the lock of the log past the bound of a wait while all writers want it,
// then lets go; then they all write at once. No line is torn or lost: a line that could not
// wait goes to its process's side file, which the log names once, and every later line
// waits for the lock again.
TEST_F(LoggingFileTest, WholeLinesFromThreadsAndProcessesAfterAStalledHolder) {
  const std::wstring path = LogToFile(L"shared.log", DELETE_OLD_LOG_FILE);

  constexpr int kChildren = 3;
  constexpr int kThreads = 4;
  const std::wstring sync = L"Local\\tavro_logging_test_" +
                            std::to_wstring(::GetCurrentProcessId()) + L"_" +
                            std::to_wstring(::GetTickCount()) + L"_";
  base::win::ScopedHandle ready(
      ::CreateSemaphoreW(nullptr, 0, kChildren + 1, (sync + L"ready").c_str()));
  base::win::ScopedHandle waited(
      ::CreateSemaphoreW(nullptr, 0, kChildren + kThreads, (sync + L"waited").c_str()));
  base::win::ScopedHandle go(::CreateEventW(nullptr, TRUE, FALSE, (sync + L"go").c_str()));
  base::win::ScopedHandle bulk(::CreateEventW(nullptr, TRUE, FALSE, (sync + L"bulk").c_str()));
  base::win::ScopedHandle release(
      ::CreateEventW(nullptr, TRUE, FALSE, (sync + L"release").c_str()));
  ASSERT_TRUE(ready.IsValid() && waited.IsValid() && go.IsValid() && bulk.IsValid() &&
              release.IsValid());

  long holder_exit_code = -1;
  std::thread holder([&] {
    holder_exit_code = RunChild("HoldsTheLog", {{"log-file", path}, {"sync", sync}});
  });
  std::vector<std::thread> children;
  std::vector<long> exit_codes(kChildren, -1);
  for (int i = 0; i < kChildren; ++i) {
    children.emplace_back([&, i] {
      exit_codes[i] = RunChild("AppendLines", {{"log-file", path},
                                               {"tag", L"child" + std::to_wstring(i)},
                                               {"sync", sync}});
    });
  }
  // Counts down |count| releases of |semaphore|, each within the deadline.
  auto count_down = [](HANDLE semaphore, int count) {
    int seen = 0;
    while (seen < count && ::WaitForSingleObject(semaphore, 60000) == WAIT_OBJECT_0)
      ++seen;
    return seen;
  };
  EXPECT_EQ(kChildren + 1, count_down(ready.Get(), kChildren + 1));
  ::SetEvent(go.Get());
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      WriteTaggedLines("thread" + std::to_string(i), [&] {
        ::ReleaseSemaphore(waited.Get(), 1, nullptr);
        ::WaitForSingleObject(bulk.Get(), 60000);
      });
    });
  }
  // Every writer is past a first line the holder kept it from; the holder lets go.
  EXPECT_EQ(kChildren + kThreads, count_down(waited.Get(), kChildren + kThreads));
  ::SetEvent(release.Get());
  holder.join();
  ::SetEvent(bulk.Get());
  for (std::thread& thread : threads)
    thread.join();
  for (std::thread& child : children)
    child.join();
  CloseLogFile();
  EXPECT_EQ(0, holder_exit_code);
  for (long exit_code : exit_codes)
    EXPECT_EQ(0, exit_code);

  // Every line whole; each writer's lines in order in the log and in the side file, all there.
  std::map<std::string, std::vector<int>> in_log;
  std::map<std::string, int> notices;
  CollectTaggedLines(ReadFileBytes(path), &in_log, &notices);
  std::map<std::string, std::vector<int>> in_side_files;
  std::map<std::string, int> side_notices;
  int side_files = 0;
  base::FileEnumerator files(folder_.GetPath(), false, base::FileEnumerator::FILES);
  for (base::FilePath file = files.Next(); !file.empty(); file = files.Next()) {
    if (file.BaseName().value() == L"shared.log")
      continue;
    ++side_files;
    EXPECT_NE(std::wstring::npos, ReadFileBytes(path).find(base::Utf16ToUtf8(file.value())));
    CollectTaggedLines(ReadFileBytes(file.value()), &in_side_files, &side_notices);
  }
  // Each writing process could not wait once, and the log says so once for each.
  EXPECT_EQ(kChildren + 1, side_files);
  EXPECT_EQ(static_cast<size_t>(kChildren + 1), notices.size());
  for (const auto& notice : notices)
    EXPECT_EQ(1, notice.second) << notice.first;
  EXPECT_TRUE(side_notices.empty());
  ASSERT_EQ(static_cast<size_t>(kChildren + kThreads), in_log.size());
  for (const auto& writer : in_log) {
    const std::vector<int>& logged = writer.second;
    EXPECT_TRUE(std::is_sorted(logged.begin(), logged.end())) << writer.first;
    std::vector<int> all = in_side_files[writer.first];
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end())) << writer.first;
    all.insert(all.end(), logged.begin(), logged.end());
    std::sort(all.begin(), all.end());
    std::vector<int> expected(kLinesPerWriter);
    for (int i = 0; i < kLinesPerWriter; ++i)
      expected[i] = i;
    EXPECT_EQ(expected, all) << writer.first;
  }
}

TEST(LoggingChildTest, DISABLED_ReadsVlogSwitches) {
  base::CommandLine::InitForCurrentProcess();
  LoggingSettings settings;
  settings.logging_dest = LOG_NONE;
  ASSERT_TRUE(InitLogging(settings));
  EXPECT_EQ(3, GetVlogLevel("C:\\src\\other.cc"));
  EXPECT_EQ(9, GetVlogLevel("C:\\src\\package_fetcher.cc"));
}

TEST(LoggingChildTest, DISABLED_EndsProcess) {
  // Stands in for the crash handler: reports the exception that ended the process.
  ::SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* pointers) -> LONG {
    ::TerminateProcess(::GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
  });
  ASSERT_TRUE(InitLogging(FileSettings(ChildSwitch("log-file"), APPEND_TO_OLD_LOG_FILE)));
  if (ChildSwitch("kind") == L"check")
    CHECK(ChildSwitch("kind").empty()) << "checked";
  else
    LOG(FATAL) << "fatal";
  LOG(INFO) << "survived";
}

TEST_F(LoggingTest, InitLoggingReadsVlogSwitches) {
  EXPECT_EQ(0, RunChild("ReadsVlogSwitches", {{"v", L"3"}, {"vmodule", L"package_*=9"}}));
}

TEST_F(LoggingFileTest, FatalAndFailedCheckEndProcessAfterWriting) {
  const std::wstring path = InFolder(L"fatal.log");
  EXPECT_EQ(static_cast<long>(EXCEPTION_BREAKPOINT),
            RunChild("EndsProcess", {{"log-file", path}, {"kind", L"check"}}));
  EXPECT_EQ(static_cast<long>(EXCEPTION_BREAKPOINT),
            RunChild("EndsProcess", {{"log-file", path}, {"kind", L"log"}}));
  const std::string content = ReadFileBytes(path);
  EXPECT_NE(std::string::npos,
            content.find(":logging_unittest.cc(", content.find("[FATAL")));
  EXPECT_NE(std::string::npos, content.find(")] Check failed: ChildSwitch(\"kind\").empty(). "
                                            "checked\n"));
  EXPECT_NE(std::string::npos, content.find(")] fatal\n"));
  EXPECT_EQ(std::string::npos, content.find("survived"));
}

}  // namespace
}  // namespace logging

// A namespace with an operator<< of its own hides outer ones from ordinary lookup; wide text
// must still be written as UTF-8 there, also after other insertions.
namespace logging_hiding_test {

struct Tag {};
std::ostream& operator<<(std::ostream& out, const Tag&) {
  return out << "tag";
}

std::string g_line;
bool KeepLine(int, const char*, int, size_t message_start, const std::string& text) {
  g_line = text.substr(message_start);
  return true;
}

TEST(LoggingWideTextTest, WideTextInNamespaceWithOwnOperator) {
  logging::SetLogMessageHandler(&KeepLine);
  const std::wstring wide = L"gr\u00fcn";
  LOG(INFO) << Tag() << " " << wide << " " << L"\u00e9" << std::wstring_view(L"v") << std::endl;
  logging::SetLogMessageHandler(nullptr);
  EXPECT_EQ("tag gr\xC3\xBCn \xC3\xA9v\n\n", g_line);
}

}  // namespace logging_hiding_test
