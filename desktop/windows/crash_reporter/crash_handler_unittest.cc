#include "desktop/windows/crash_reporter/crash_handler.h"

#include <windows.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>
#include <thread>
#include <vector>

#include "base/environment.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/win/scoped_handle.h"
#include "base/win/wrapped_window_proc.h"
#include "desktop/windows/crash_reporter/crash_client_setup.h"
#include "desktop/windows/crash_reporter/crash_key_table.h"
#include "desktop/windows/crash_reporter/test/minidump_reader.h"
#include "desktop/windows/crash_reporter/test/test_dump_server.h"
#include "desktop/windows/installer/service/crash_reporter_pid.h"
#include "desktop/windows/installer/service/product_info.h"
#include "gtest/gtest.h"

namespace crash_reporter {

// While the base part is being built, its pure function is the one a virtual call reaches.
// Outside the unnamed namespace, so that the compiler cannot know every derived class and
// call the derived function directly.
struct PureCallBase {
  PureCallBase() {
    PureCallBase* volatile self = this;
    self->Pure();
  }
  virtual ~PureCallBase() = default;
  virtual void Pure() = 0;
};
struct PureCallDerived : PureCallBase {
  void Pure() override {}
};

namespace {

constexpr DWORD kTimeoutMs = 60000;
constexpr DWORD kStatusAccessViolation = STATUS_ACCESS_VIOLATION;
constexpr DWORD kStatusInvalidParameter = STATUS_INVALID_PARAMETER;
constexpr DWORD kStatusNoncontinuable = STATUS_NONCONTINUABLE_EXCEPTION;
constexpr DWORD kStatusBreakpoint = STATUS_BREAKPOINT;
// Exit codes of a child that could not get ready to crash.
constexpr DWORD kChildNotAttached = 3;
constexpr DWORD kChildNotInProcess = 4;

// What a crashing child is told, through its environment.
constexpr char kCrashVariable[] = "TAVRO_TEST_CRASH";
constexpr char kReporterVariable[] = "TAVRO_TEST_REPORTER_PID";
constexpr char kFolderVariable[] = "TAVRO_TEST_CRASH_FOLDER";
constexpr char kGoEventVariable[] = "TAVRO_TEST_CRASH_GO";

std::string GetChildVariable(const char* name) {
  std::string value;
  base::Environment::Create()->GetVar(name, &value);
  return value;
}

// The child notes the id of the thread that is about to crash, for the parent to compare.
base::FilePath ThreadIdFile(const base::FilePath& folder, const std::string& mode) {
  return folder.AppendASCII(mode + ".thread");
}

void NoteCrashingThread(const std::string& mode) {
  const std::string id = base::StringPrintf("%lu", ::GetCurrentThreadId());
  base::WriteFileFromBuffer(
      ThreadIdFile(base::FilePath(base::Utf8ToUtf16(GetChildVariable(kFolderVariable))), mode),
      id.data(), static_cast<int>(id.size()));
}

void AccessViolation() {
  volatile int* volatile address = nullptr;
  *address = 1;
}

LRESULT CALLBACK CrashingWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER)
    AccessViolation();
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

// Crashes the way |mode| names; never returns.
void Crash(const std::string& mode) {
  if (mode == "invalid_parameter") {
    NoteCrashingThread(mode);
    // Wine's msvcrt.dll calls no handler on a failed check: call the installed one as the
    // runtime would. Where the runtime has its own setter, a real failed check does.
    _invalid_parameter_handler handler = _get_invalid_parameter_handler();
    if (handler)
      handler(L"buffer != nullptr", L"CopyName", L"names.cc", 42, 0);
    wchar_t* volatile no_buffer = nullptr;
    wcscpy_s(no_buffer, 0, L"x");
  } else if (mode == "pure_call") {
    NoteCrashingThread(mode);
    PureCallDerived object;
  } else if (mode == "thread") {
    std::thread([&] {
      NoteCrashingThread(mode);
      AccessViolation();
    }).join();
  } else if (mode == "two_threads") {
    base::win::ScopedHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread first([&] {
      ::WaitForSingleObject(go.Get(), kTimeoutMs);
      AccessViolation();
    });
    std::thread second([&] {
      ::WaitForSingleObject(go.Get(), kTimeoutMs);
      AccessViolation();
    });
    ::SetEvent(go.Get());
    first.join();
    second.join();
  } else if (mode == "window_proc") {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &base::win::WrappedWindowProc<&CrashingWindowProc>;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"TavroCrashTestWindow";
    ::RegisterClassExW(&window_class);
    HWND window = ::CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, window_class.hInstance, nullptr);
    NoteCrashingThread(mode);
    ::SendMessageW(window, WM_USER, 0, 0);
  } else if (mode == "breakpoint") {
    ::DebugBreak();
  } else {
    NoteCrashingThread(mode);
    AccessViolation();
  }
  ::ExitProcess(0);
}

// A child that sets crash handling up as every installer process does, against the
// reporter its parent names, waits for the parent's word and crashes.
TEST(CrashHandlerTest, DISABLED_CrashesUnderTheReporter) {
  if (!base::test::IsChildTest())
    return;
  unsigned reporter_pid = 0;
  base::StringToUint(GetChildVariable(kReporterVariable), &reporter_pid);
  HoldCrashReporter(base::Process::Open(reporter_pid));
  AttachCrashHandler();
  if (!GetCrashHandler())
    ::ExitProcess(kChildNotAttached);
  FillCrashKeys();
  const std::wstring go_name = base::Utf8ToUtf16(GetChildVariable(kGoEventVariable));
  if (!go_name.empty()) {
    base::win::ScopedHandle go(::OpenEventW(SYNCHRONIZE, FALSE, go_name.c_str()));
    ::WaitForSingleObject(go.Get(), kTimeoutMs);
  }
  Crash(GetChildVariable(kCrashVariable));
}

// A child whose handler has no server to register with.
TEST(CrashHandlerTest, DISABLED_CrashesWithoutAReporter) {
  if (!base::test::IsChildTest())
    return;
  // The handler's predecessor: a crash the handler leaves alone ends the child quietly.
  base::test::EndProcessOnCrash();
  CrashHandler handler(base::Utf8ToUtf16(GetChildVariable(kFolderVariable)), nullptr, nullptr,
                       nullptr, CrashHandler::HANDLER_ALL, MiniDumpNormal,
                       L"\\\\.\\pipe\\TavroCrashTest.nobody", ::GetCurrentProcessId(), nullptr);
  if (handler.IsOutOfProcess())
    ::ExitProcess(kChildNotInProcess);
  Crash(GetChildVariable(kCrashVariable));
}

// A crashing child started by a test, with the deadline every wait has.
class CrashingChild {
 public:
  CrashingChild(const char* test_name,
                const std::string& mode,
                const base::FilePath& folder,
                const std::wstring& go_event = std::wstring()) {
    base::LaunchOptions options;
    options.environment = {
        {base::Utf8ToUtf16(kCrashVariable), base::Utf8ToUtf16(mode)},
        {base::Utf8ToUtf16(kReporterVariable), base::UintToWideString(::GetCurrentProcessId())},
        {base::Utf8ToUtf16(kFolderVariable), folder.value()},
        {base::Utf8ToUtf16(kGoEventVariable), go_event}};
    process_ = base::test::StartChildTest(test_name, options);
  }
  ~CrashingChild() { process_.Terminate(1); }

  DWORD pid() const { return process_.Pid(); }
  // The child's exit code; kTimeoutMs when it does not end in time.
  DWORD WaitForExit() {
    DWORD exit_code = 0;
    if (!process_.WaitForExitWithTimeout(kTimeoutMs, &exit_code))
      return kTimeoutMs;
    return exit_code;
  }

 private:
  base::Process process_;
};

DWORD ReadThreadId(const base::FilePath& folder, const std::string& mode) {
  std::string text;
  unsigned id = 0;
  if (!base::ReadFileToString(ThreadIdFile(folder, mode), &text) ||
      !base::StringToUint(text, &id)) {
    return 0;
  }
  return id;
}

std::vector<base::FilePath> FindDumps(const base::FilePath& folder) {
  std::vector<base::FilePath> dumps;
  base::FileEnumerator files(folder, false, base::FileEnumerator::FILES, L"*.dmp");
  for (base::FilePath path = files.Next(); !path.empty(); path = files.Next())
    dumps.push_back(path);
  return dumps;
}

// A dump server of this process that writes dumps into a folder of its own, for children
// that crash under it.
class CrashUnderReporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.CreateUniqueTempDir());
    server_ = std::make_unique<test::TestDumpServer>(folder_.GetPath().value());
    ASSERT_TRUE(server_->Start());
  }

  // A child that sets up crash handling against the server and crashes in |mode|.
  std::unique_ptr<CrashingChild> StartChild(const char* mode) {
    return std::make_unique<CrashingChild>("CrashHandlerTest.DISABLED_CrashesUnderTheReporter",
                                           mode, folder_.GetPath());
  }

  base::ScopedTempDir folder_;
  std::unique_ptr<test::TestDumpServer> server_;
};

TEST_F(CrashUnderReporterTest, EveryKindOfCrashReachesTheReporterWithTheKeysAndADump) {

  struct Case {
    const char* mode;
    DWORD exit_code;
    uint32_t assertion_type;
  };
  const Case cases[] = {{"access_violation", kStatusAccessViolation, ASSERTION_NONE},
                        {"invalid_parameter", kStatusInvalidParameter, ASSERTION_INVALID_PARAMETER},
                        {"pure_call", kStatusNoncontinuable, ASSERTION_PURE_VIRTUAL_CALL},
                        {"thread", kStatusAccessViolation, ASSERTION_NONE}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& crash = cases[i];
    SCOPED_TRACE(crash.mode);
    const std::unique_ptr<CrashingChild> child = StartChild(crash.mode);
    EXPECT_EQ(crash.exit_code, child->WaitForExit());
    // The client waits for the server's answer before it ends.
    const std::vector<test::DumpRequest> requests = server_->dump_requests();
    ASSERT_EQ(i + 1, requests.size());
    const test::DumpRequest& request = requests.back();
    EXPECT_EQ(child->pid(), request.pid);

    // The crash keys, read out of the client's memory, and the server's own last entry.
    ASSERT_EQ(static_cast<size_t>(CRASH_KEY_COUNT + 1), request.entries.size());
    EXPECT_EQ(L"installer", request.FindValue(L"process_type"));
    EXPECT_EQ(base::Utf8ToUtf16(installer::ProductInfo::GetVersion()),
              request.FindValue(L"Version"));
    EXPECT_EQ(14u, request.FindValue(L"BuildID").size());
    EXPECT_EQ(0u, request.FindValue(L"modules").find(L"crash_reporter_unittests.exe:"));
    EXPECT_STREQ(L"ptime", request.entries.back().name);

    test::MinidumpReader reader;
    ASSERT_TRUE(reader.Open(base::FilePath(request.dump_path)));
    MINIDUMP_EXCEPTION_STREAM exception;
    ASSERT_TRUE(reader.GetException(&exception));
    EXPECT_EQ(crash.exit_code, exception.ExceptionRecord.ExceptionCode);
    EXPECT_EQ(ReadThreadId(folder_.GetPath(), crash.mode), exception.ThreadId);
    EXPECT_TRUE(reader.HasStream(ThreadListStream));
    EXPECT_TRUE(reader.HasStream(ModuleListStream));
    RequesterStream requester;
    ASSERT_TRUE(reader.GetStreamAs(kRequesterStreamType, &requester));
    EXPECT_EQ(0u, requester.validity);
    AssertionInfo assertion;
    ASSERT_TRUE(reader.GetStreamAs(kAssertionStreamType, &assertion));
    EXPECT_EQ(crash.assertion_type, assertion.type);
    if (crash.assertion_type == ASSERTION_INVALID_PARAMETER) {
      EXPECT_STREQ(L"buffer != nullptr", assertion.expression);
      EXPECT_STREQ(L"CopyName", assertion.function);
      EXPECT_STREQ(L"names.cc", assertion.file);
      EXPECT_EQ(42u, assertion.line);
    }
  }
}

TEST(CrashHandlerTest, SeveralClientsCrashingAtOnceAreEachServed) {
  base::ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  // Without dumps: the requests themselves are served side by side.
  test::TestDumpServer server((std::wstring()));
  ASSERT_TRUE(server.Start());
  const std::wstring go_name =
      base::WideStringPrintf(L"TavroCrashTest.Go.%lu", ::GetCurrentProcessId());
  base::win::ScopedHandle go(::CreateEventW(nullptr, TRUE, FALSE, go_name.c_str()));
  ASSERT_TRUE(go.IsValid());
  // Each child registers in turn; then all crash at once.
  std::vector<std::unique_ptr<CrashingChild>> children;
  for (int i = 0; i < 4; ++i) {
    children.push_back(
        std::make_unique<CrashingChild>("CrashHandlerTest.DISABLED_CrashesUnderTheReporter",
                                        "access_violation", folder.GetPath(), go_name));
    ASSERT_TRUE(server.WaitForConnections(children.size(), kTimeoutMs));
  }
  ASSERT_TRUE(::SetEvent(go.Get()));
  for (const std::unique_ptr<CrashingChild>& child : children)
    EXPECT_EQ(kStatusAccessViolation, child->WaitForExit());
  const std::vector<test::DumpRequest> requests = server.dump_requests();
  ASSERT_EQ(children.size(), requests.size());
  for (const std::unique_ptr<CrashingChild>& child : children) {
    bool served = false;
    for (const test::DumpRequest& request : requests) {
      if (request.pid == child->pid())
        served = request.FindValue(L"process_type") == L"installer";
    }
    EXPECT_TRUE(served) << child->pid();
  }
}

TEST_F(CrashUnderReporterTest, OnlyTheFirstOfTwoCrashingThreadsGetsADump) {
  EXPECT_EQ(kStatusAccessViolation, StartChild("two_threads")->WaitForExit());
  // The client waited for its dump before it ended: a second request would be here.
  EXPECT_EQ(1u, server_->dump_requests().size());
  EXPECT_EQ(1u, FindDumps(folder_.GetPath()).size());
}

TEST_F(CrashUnderReporterTest, ACrashInAWindowProcedureEndsThroughTheWindowProcedureFilter) {
  // Exit code 1 is DumpAndTerminate's: the unhandled-exception filter would end the child
  // with the exception code.
  EXPECT_EQ(1u, StartChild("window_proc")->WaitForExit());
  const std::vector<test::DumpRequest> requests = server_->dump_requests();
  ASSERT_EQ(1u, requests.size());
  test::MinidumpReader reader;
  ASSERT_TRUE(reader.Open(base::FilePath(requests[0].dump_path)));
  MINIDUMP_EXCEPTION_STREAM exception;
  ASSERT_TRUE(reader.GetException(&exception));
  EXPECT_EQ(kStatusAccessViolation, exception.ExceptionRecord.ExceptionCode);
  EXPECT_EQ(ReadThreadId(folder_.GetPath(), "window_proc"), exception.ThreadId);
}

TEST(CrashHandlerTest, WithoutAReporterTheHandlerThreadWritesTheDump) {
  struct Case {
    const char* mode;
    DWORD exit_code;
  };
  for (const Case& crash : {Case{"access_violation", kStatusAccessViolation},
                            Case{"invalid_parameter", kStatusInvalidParameter}}) {
    SCOPED_TRACE(crash.mode);
    base::ScopedTempDir folder;
    ASSERT_TRUE(folder.CreateUniqueTempDir());
    CrashingChild child("CrashHandlerTest.DISABLED_CrashesWithoutAReporter", crash.mode,
                        folder.GetPath());
    EXPECT_EQ(crash.exit_code, child.WaitForExit());
    const std::vector<base::FilePath> dumps = FindDumps(folder.GetPath());
    ASSERT_EQ(1u, dumps.size());
    // Named by a new id: 36 characters and ".dmp".
    EXPECT_EQ(40u, dumps[0].BaseName().value().size());

    test::MinidumpReader reader;
    ASSERT_TRUE(reader.Open(dumps[0]));
    const DWORD crashing_thread = ReadThreadId(folder.GetPath(), crash.mode);
    MINIDUMP_EXCEPTION_STREAM exception;
    ASSERT_TRUE(reader.GetException(&exception));
    EXPECT_EQ(crash.exit_code, exception.ExceptionRecord.ExceptionCode);
    EXPECT_EQ(crashing_thread, exception.ThreadId);
    // Written by the handler's own thread for the crashing one.
    RequesterStream requester;
    ASSERT_TRUE(reader.GetStreamAs(kRequesterStreamType, &requester));
    EXPECT_EQ(RequesterStream::kThreadIdsValid, requester.validity);
    EXPECT_EQ(crashing_thread, requester.requesting_thread_id);
    EXPECT_NE(crashing_thread, requester.dump_thread_id);
    EXPECT_NE(0u, requester.dump_thread_id);
    AssertionInfo assertion;
    if (crash.exit_code == kStatusInvalidParameter) {
      ASSERT_TRUE(reader.GetStreamAs(kAssertionStreamType, &assertion));
      EXPECT_EQ(static_cast<uint32_t>(ASSERTION_INVALID_PARAMETER), assertion.type);
      EXPECT_STREQ(L"buffer != nullptr", assertion.expression);
    } else {
      EXPECT_FALSE(reader.HasStream(kAssertionStreamType));
      // The code around the crash address is in the dump.
      EXPECT_TRUE(reader.HoldsMemory(exception.ExceptionRecord.ExceptionAddress - 16, 32));
    }
  }
}

TEST(CrashHandlerTest, ABreakpointGetsNoDumpUnlessDebugExceptionsAreHandled) {
  base::ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  CrashingChild child("CrashHandlerTest.DISABLED_CrashesWithoutAReporter", "breakpoint",
                      folder.GetPath());
  EXPECT_EQ(kStatusBreakpoint, child.WaitForExit());
  EXPECT_TRUE(FindDumps(folder.GetPath()).empty());
}

}  // namespace
}  // namespace crash_reporter
