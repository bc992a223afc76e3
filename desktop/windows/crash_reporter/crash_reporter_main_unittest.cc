// The crash reporter end to end: real processes crash under a real reporter, which logs,
// counts, asks a crash server on 127.0.0.1 and uploads to it; a crashing reporter is
// reported by its exception-information child.

#include "desktop/windows/crash_reporter/crash_reporter_main.h"

#include <windows.h>
#include <aclapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/environment.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/path_registry.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/test/scoped_path_override.h"
#include "base/threading/thread.h"
#include "base/time/time.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_local_alloc.h"
#include "desktop/windows/crash_reporter/crash_client_setup.h"
#include "desktop/windows/crash_reporter/crash_config.h"
#include "desktop/windows/crash_reporter/crash_dump_client.h"
#include "desktop/windows/crash_reporter/crash_key_table.h"
#include "desktop/windows/crash_reporter/last_reporter_crash.h"
#include "desktop/windows/crash_reporter/reporter_crash_handler.h"
#include "desktop/windows/crash_reporter/test/gunzip.h"
#include "desktop/windows/crash_reporter/test/multipart_form.h"
#include "desktop/windows/crash_reporter/test/raw_pipe_client.h"
#include "desktop/windows/crash_reporter/test/zip_reader.h"
#include "desktop/windows/installer/installer_main.h"
#include "desktop/windows/installer/service/crash_reporter_pid.h"
#include "desktop/windows/installer/service/object_security.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/service/secure_named_object.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/test_http_server.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

using installer::test::ProcessOptions;
using installer::test::ProcessResult;
using installer::test::TestHttpServer;
using installer::test::TestProcess;
using test::FormPart;

constexpr char kCrashingInstaller[] = "CrashReporterChild.DISABLED_InstallerProcess";
constexpr char kCrashingReporter[] = "CrashReporterChild.DISABLED_CrashReporter";
// Names, for a test program that plays a crash reporter, the folder of the browser profile
// files that the browser's path providers give a reporter.
constexpr char kProfileVariable[] = "TAVRO_TEST_CRASH_PROFILE";
// How the crash reporter child crashes: "invalid_parameter", else an access violation.
constexpr char kCrashModeVariable[] = "TAVRO_TEST_CRASH_MODE";
constexpr wchar_t kCrashUrl[] = L"https://example.com/the-page-that-crashed";
constexpr char kEmail[] = "crash.user@example.com";
constexpr char kLocation[] = "https://crash.tavro.example/crash/?id=c0ffee42&s=1";
constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kInvalidParameter = 0xC000000D;

// The reporter's log line for the registration of process |pid|.
std::string RegisteredLine(DWORD pid) {
  return "Crash client " + std::to_string(pid) + " registered: ";
}

void CrashNow() {
  // Through a volatile, so that the compiler cannot see the null page coming.
  volatile uintptr_t target = 0x10;
  *reinterpret_cast<volatile int*>(target) = 1;
}

std::wstring BinFile(const wchar_t* name) {
  return installer::test::GetTestBinFolder() + L"\\" + name;
}

// An installer process that crashes, and the reporter it starts for itself: this program
// again, which runs the installer's entry as a reporter does.
TEST(CrashReporterChild, DISABLED_InstallerProcess) {
  if (!base::test::IsChildTest())
    return;
  base::CommandLine::InitForCurrentProcess();
  if (base::CommandLine::ForCurrentProcess()->HasSwitch("crash-reporter-parent-id")) {
    std::string profile_folder;
    base::Environment::Create()->GetVar(kProfileVariable, &profile_folder);
    const base::FilePath profile(base::Utf8ToUtf16(profile_folder));
    base::ScopedPathOverride counts(base::FILE_CRASH_COUNTS, profile.Append(L"Crash Counts"));
    base::ScopedPathOverride record(base::FILE_CRASH_ID_RECORD, profile.Append(L"crash_id.txt"));
    base::ScopedPathOverride preferences(base::FILE_PREFERENCES, profile.Append(L"Preferences"));
    EXPECT_EQ(1, RunInstaller());
    return;
  }
  // The crash-client set-up of every installer process, with a start that allows for a
  // busy machine.
  base::Process reporter;
  ASSERT_EQ(ReporterStart::kReady,
            StartCrashReporter(*MakeCrashReporterCommandLine(), 60000, &reporter));
  HoldCrashReporter(std::move(reporter));
  AttachCrashHandler();
  ASSERT_NE(nullptr, GetCrashHandler());
  FillCrashKeys();
  CrashKeyTable::GetInstance().SetCrashKeyRange(CRASH_KEY_URL_FIRST, CRASH_KEY_URL_LAST, kCrashUrl);
  // Up for more than a second: the text log then tells its uptime in seconds.
  ::Sleep(1100);
  CrashNow();
}

// A crash reporter that crashes; its exception-information child is the installer.
TEST(CrashReporterChild, DISABLED_CrashReporter) {
  if (!base::test::IsChildTest())
    return;
  SetExceptionInfoChildProgramForTesting(base::FilePath(BinFile(L"installer.exe")));
  InstallCrashReporterHandlers();
  PrepareExceptionInfoChild(false);
  std::string mode;
  base::Environment::Create()->GetVar(kCrashModeVariable, &mode);
  if (mode == "invalid_parameter") {
    // Wine's msvcrt.dll calls no handler on a failed check: call the installed one as the
    // runtime would.
    const _invalid_parameter_handler handler = _get_invalid_parameter_handler();
    if (handler)
      handler(L"buffer != nullptr", L"CopyName", L"names.cc", 42, 0);
  }
  CrashNow();
}

class CrashReporterEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    // The reporter makes the crash log folder.
    logs_ = temp_dir_.GetPath().Append(L"crash logs");
    profile_ = temp_dir_.GetPath().Append(L"profile");
    temp_ = temp_dir_.GetPath().Append(L"temp");
    ASSERT_TRUE(base::CreateDirectory(profile_));
    ASSERT_TRUE(base::CreateDirectory(temp_));
    server_.SetResponse("POST /crash", TestHttpServer::Response());
    server_.SetResponse("POST /collector/submit", TestHttpServer::Response());
  }

  // Runs |child| with the local servers, the test's folders and |environment|, until it
  // and everything it started have ended.
  // |pid| receives the child's process id.
  ProcessResult RunChild(const char* child,
                         const std::vector<std::pair<std::wstring, std::wstring>>& environment,
                         DWORD* pid = nullptr) {
    ProcessOptions options;
    options.environment = base::test::GetChildTestEnvironment(child);
    options.environment.insert(options.environment.end(), {
        {L"TAVRO_CRASH_SERVER_URL", server_.GetUrl("/crash")},
        {L"TAVRO_ALTERNATIVE_CRASH_SERVER_URL", server_.GetUrl("/collector/submit")},
        {L"TAVRO_CRASH_LOG_DIR", logs_.value()},
        {L"TAVRO_CRASH_EMAIL", base::Utf8ToUtf16(kEmail)},
        {L"TAVRO_CRASH_KEEP_LOGS", L""},
        {base::Utf8ToUtf16(kProfileVariable), profile_.value()},
        {L"CRASH_ORIGIN", L"Brixel"},
        {L"TEMP", temp_.value()},
        {L"TMP", temp_.value()}});
    options.environment.insert(options.environment.end(), environment.begin(), environment.end());
    TestProcess process;
    if (!process.Start(base::test::GetChildTestCommandLine(child), options))
      return ProcessResult();
    if (pid)
      *pid = process.pid();
    return process.Wait();
  }

  // The names of the files in |folder|.
  static std::set<std::wstring> ListFiles(const base::FilePath& folder) {
    std::set<std::wstring> names;
    base::FileEnumerator files(folder, false, base::FileEnumerator::FILES);
    for (base::FilePath path = files.Next(); !path.empty(); path = files.Next())
      names.insert(path.BaseName().value());
    return names;
  }

  static std::string ReadFile(const base::FilePath& path) {
    std::string text;
    return base::ReadFileToString(path, &text) ? text : "<missing>";
  }

  // The process id that the reporter log shows serving the crash pipe for |client_pid|.
  std::wstring ReporterPid(DWORD client_pid) const {
    const std::string log = ReadFile(temp_.Append(L"tavro_crashreporter.log"));
    const std::string line = "Crash reporter of process " + std::to_string(client_pid) +
                             " serving \\\\.\\pipe\\TavroCrashReporter";
    const size_t start = log.find(line);
    if (start == std::string::npos)
      return L"<no reporter>";
    const size_t digits = start + line.size();
    return base::Utf8ToUtf16(
        log.substr(digits, log.find_first_not_of("0123456789", digits) - digits));
  }

  // The multipart form of |request|, decoded from gzip first when it says so.
  static std::map<std::string, FormPart> ParseForm(const TestHttpServer::Request& request) {
    std::string body = request.body;
    const auto encoding = request.headers.find("content-encoding");
    if (encoding != request.headers.end()) {
      EXPECT_EQ("gzip", encoding->second);
      EXPECT_TRUE(test::Gunzip(request.body, &body));
    }
    std::map<std::string, FormPart> parts;
    EXPECT_TRUE(test::ParseMultipartForm(
        body, test::GetMultipartBoundary(request.headers.at("content-type")), &parts))
        << request.path;
    return parts;
  }

  // The texts of the form's fields, files left out.
  static std::map<std::string, std::string> Fields(const std::map<std::string, FormPart>& parts) {
    std::map<std::string, std::string> fields;
    for (const auto& [name, part] : parts) {
      if (!part.is_file)
        fields[name] = part.content;
    }
    return fields;
  }

  // The crash log of a zipped crash log upload.
  std::string UnzipCrashLog(const FormPart& zip) {
    const base::FilePath path = temp_dir_.GetPath().Append(L"uploaded.zip");
    base::WriteFileFromBuffer(path, zip.content.data(), static_cast<int>(zip.content.size()));
    std::string name;
    const std::string log = test::UnzipSingleEntry(path, &name);
    EXPECT_EQ("crashlog.txt", name);
    return log;
  }

  std::vector<TestHttpServer::Request> RequestsFor(const std::string& method) const {
    std::vector<TestHttpServer::Request> requests;
    for (const TestHttpServer::Request& request : server_.GetRequests()) {
      if (request.method == method)
        requests.push_back(request);
    }
    return requests;
  }

  static std::string CrashLogHeader() {
    return "TAVRO-CRASHLOG V1 desktopInstaller " + installer::ProductInfo::GetVersion() + " " +
           std::to_string(installer::ProductInfo::GetBuildNumber()) +
           " windows x64 release\r\ncrash_reporter_unittests.exe caused exception C0000005 at "
           "address ";
  }

  TestHttpServer server_;
  base::ScopedTempDir temp_dir_;
  base::FilePath logs_;
  base::FilePath profile_;
  base::FilePath temp_;
};

TEST_F(CrashReporterEndToEndTest, AnInstallerRunsUnderAReporterThatEndsWithIt) {
  base::CommandLine command_line(base::FilePath(BinFile(L"installer.exe")));
  // The switch help: a run that does nothing else. (A run started elevated, such as the
  // folder-permission helper, has its reporter log elsewhere than the user's temporary
  // folder.)
  command_line.AppendSwitch("help");
  ProcessOptions options;
  options.environment = {{L"TEMP", temp_.value()}, {L"TMP", temp_.value()}};
  TestProcess installer;
  ASSERT_TRUE(installer.Start(command_line, options));
  const DWORD installer_pid = installer.pid();
  // Waits for the reporter too.
  const ProcessResult result = installer.Wait();
  EXPECT_TRUE(result.Succeeded()) << result.Describe();

  const std::string log = ReadFile(temp_.Append(L"tavro_crashreporter.log"));
  const std::string reporter = "Crash reporter of process " + std::to_string(installer_pid);
  EXPECT_NE(std::string::npos, log.find(reporter + " serving \\\\.\\pipe\\TavroCrashReporter"))
      << log;
  // The installer waited for its reporter and registered: a reporter that got ready only
  // after its parent gave up would serve nobody.
  EXPECT_NE(std::string::npos, log.find(RegisteredLine(installer_pid))) << log;
  EXPECT_NE(std::string::npos, log.find(reporter + " ends")) << log;
}

// A parent for a reporter that a test starts itself; the test ends it.
TEST(CrashReporterChild, DISABLED_ReporterParent) {
  if (base::test::IsChildTest())
    ::Sleep(120000);
}

// The threads of process |pid| at the moment.
size_t CountThreads(DWORD pid) {
  base::win::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot.IsValid())
    return 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  size_t count = 0;
  for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more;
       more = ::Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == pid)
      ++count;
  }
  return count;
}

// A real reporter (the installer's), flooded with registrations and held by a client that
// stalls and reconnects at once: installers started meanwhile still register with it.
TEST_F(CrashReporterEndToEndTest, FloodingAndStallingClientsLeaveRoomForInstallers) {
  // Ends the reporter's parent however the test ends; the reporter then ends with it.
  struct Parent {
    ~Parent() { process.Terminate(1); }
    base::Process process;
  } parent_holder{base::test::StartChildTest("CrashReporterChild.DISABLED_ReporterParent")};
  const base::Process& parent = parent_holder.process;
  ASSERT_TRUE(parent.IsValid());
  const installer::NamedObject ready = installer::CreateNamedEvent(
      MakeReporterInitEventName(parent.Pid()), true, installer::IfExists::kRefuse, false);
  ASSERT_TRUE(ready.handle.IsValid());
  base::CommandLine reporter_command(base::FilePath(BinFile(L"installer.exe")));
  reporter_command.AppendSwitchASCII("crash-reporter-parent-id", std::to_string(parent.Pid()));
  ProcessOptions options;
  options.environment = {{L"TEMP", temp_.value()}, {L"TMP", temp_.value()}};
  TestProcess reporter;
  ASSERT_TRUE(reporter.Start(reporter_command, options));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ready.handle.Get(), 60000));
  const std::wstring pipe_name = MakeCrashPipeName(reporter.pid());

  // Only the user, SYSTEM and Administrators may serve or use the pipe: its access list is
  // the reporter's own, not one the system would have given it.
  {
    const base::win::ScopedHandle pipe(::CreateFileW(pipe_name.c_str(), READ_CONTROL, 0, nullptr,
                                                     OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(pipe.IsValid());
    std::vector<BYTE> user;
    EXPECT_TRUE(installer::OnlyTrustedCanChange(
        pipe.Get(), SE_KERNEL_OBJECT, installer::GetProcessUserSid(::GetCurrentProcess(), &user)));
    PACL access_list = nullptr;
    PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ::GetSecurityInfo(pipe.Get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &access_list, nullptr, &raw_descriptor));
    const base::win::ScopedLocalAlloc descriptor(raw_descriptor);
    ASSERT_NE(nullptr, access_list);
    EXPECT_EQ(3, access_list->AceCount);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.Get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
  }

  // Each registration of a process replaces its record: the reporter does not grow.
  {
    CrashDumpClient first(pipe_name, reporter.pid(), MiniDumpNormal, nullptr);
    ASSERT_TRUE(first.Register());
  }
  const size_t threads = CountThreads(reporter.pid());
  ASSERT_NE(0u, threads);
  for (int i = 0; i < 500; ++i) {
    CrashDumpClient client(pipe_name, reporter.pid(), MiniDumpNormal, nullptr);
    ASSERT_TRUE(client.Register()) << i;
  }
  EXPECT_LE(CountThreads(reporter.pid()), threads + 4);

  // A client that says nothing once connected, and that tries again and again to connect as
  // soon as the reporter drops it: it gets an instance whenever one comes free.
  std::atomic<bool> stop{false};
  std::atomic<int> stalls{0};
  base::Thread staller("Stalling crash client");
  ASSERT_TRUE(staller.Start());
  staller.GetTaskRunner()->PostTask(FROM_HERE, base::BindLambda([&] {
    while (!stop) {
      test::RawPipeClient client;
      if (client.TryConnect(pipe_name) && client.WaitForDisconnect())
        ++stalls;
    }
  }));
  std::vector<DWORD> installers;
  for (int i = 0; i < 3; ++i) {
    base::CommandLine command_line(base::FilePath(BinFile(L"installer.exe")));
    command_line.AppendSwitchASCII("crash-reporter-pid", std::to_string(reporter.pid()));
    command_line.AppendSwitchPath("set-folder-permission", temp_dir_.GetPath().Append(L"folder"));
    TestProcess installer;
    ASSERT_TRUE(installer.Start(command_line, options));
    installers.push_back(installer.pid());
    const ProcessResult result = installer.Wait();
    EXPECT_TRUE(result.Succeeded()) << result.Describe();
  }
  stop = true;
  staller.Stop();
  EXPECT_LT(0, stalls.load());

  parent.Terminate(1);
  const ProcessResult result = reporter.Wait();
  EXPECT_TRUE(result.Succeeded()) << result.Describe();
  const std::string log = ReadFile(temp_.Append(L"tavro_crashreporter.log"));
  for (const DWORD pid : installers)
    EXPECT_NE(std::string::npos, log.find(RegisteredLine(pid))) << pid << "\n" << log;
  EXPECT_NE(std::string::npos, log.find("A crash client stalled in its registration")) << log;
  EXPECT_NE(std::string::npos,
            log.find("Crash reporter of process " + std::to_string(parent.Pid()) + " ends"));
}

TEST_F(CrashReporterEndToEndTest, ACrashIsLoggedCountedQueriedAndUploaded) {
  TestHttpServer::Response known;
  known.status = 303;
  known.headers.push_back({"Location", kLocation});
  server_.SetResponse("GET /crash", known);
  const std::string preferences = R"({"browser": {"flags": {"alternative-crash-logging": 1}}})";
  ASSERT_TRUE(base::WriteFileFromBuffer(profile_.Append(L"Preferences"), preferences.data(),
                                        static_cast<int>(preferences.size())) > 0);

  DWORD client_pid = 0;
  const ProcessResult result = RunChild(kCrashingInstaller, {}, &client_pid);
  ASSERT_FALSE(result.timed_out) << result.Describe();
  EXPECT_EQ(kAccessViolation, result.exit_code) << result.Describe();
  const std::wstring reporter_pid = ReporterPid(client_pid);
  const std::string crash_file = "tavro-crashlog-" + base::Utf16ToUtf8(reporter_pid) + "-1";

  // The crash server was asked about the page that crashed.
  const std::vector<TestHttpServer::Request> queries = RequestsFor("GET");
  ASSERT_EQ(1u, queries.size());
  EXPECT_EQ(std::string("/crash?email=") + kEmail, queries[0].path);
  EXPECT_EQ(base::Utf16ToUtf8(kCrashUrl), queries[0].headers.at("x-tavro-crash-url"));
  EXPECT_EQ("Brixel", queries[0].headers.at("x-origin"));

  std::map<std::string, FormPart> text_log;
  std::map<std::string, FormPart> dump;
  for (const TestHttpServer::Request& upload : RequestsFor("POST")) {
    if (upload.path == std::string("/crash?email=") + kEmail) {
      // The crash log travels zipped, in a plain body.
      EXPECT_EQ(0u, upload.headers.count("content-encoding"));
      text_log = ParseForm(upload);
    } else if (upload.path == "/collector/submit") {
      EXPECT_EQ(1u, upload.headers.count("content-encoding"));
      dump = ParseForm(upload);
    } else {
      ADD_FAILURE() << "unexpected upload to " << upload.path;
    }
  }

  // The zipped text crash log, with the crash server's id of the crash.
  const std::string version = installer::ProductInfo::GetVersion();
  const std::string build_number = std::to_string(installer::ProductInfo::GetBuildNumber());
  std::map<std::string, std::string> fields = Fields(text_log);
  int64_t uptime = 0;
  EXPECT_TRUE(base::StringToInt64(fields["ptime"], &uptime) && uptime >= 1) << fields["ptime"];
  fields.erase("ptime");
  const std::map<std::string, std::string> expected_text_log_fields = {
      {"email", kEmail},
      {"origin", "Brixel"},
      {"URL", base::Utf16ToUtf8(kCrashUrl)},
      {"ProductName", "Tavro"},
      {"Version", version},
      {"build_number", build_number},
      {"ReleaseChannel", "Stable"},
      {"stacktraceId", "c0ffee42"}};
  EXPECT_EQ(expected_text_log_fields, fields);
  ASSERT_EQ(1u, text_log.count("file"));
  EXPECT_EQ(crash_file + ".zip", text_log["file"].filename);
  EXPECT_EQ("application/octet-stream", text_log["file"].content_type);
  const std::string log = UnzipCrashLog(text_log["file"]);
  EXPECT_EQ(CrashLogHeader(), log.substr(0, CrashLogHeader().size()));
  for (const char* expected :
       {"\r\nmetadata:\r\n", "process_type=\"installer\"\r\n", "origin=\"Brixel\"\r\n",
        "ab_tests=\"\"\r\n", "mem_working_set_size=", "\r\nThread: ", "\r\nUsed DLLs:\r\n",
        "\r\nMemory dumps:\r\n", "\r\nCrash Logger:\r\n"}) {
    EXPECT_NE(std::string::npos, log.find(expected)) << expected;
  }

  // The minidump, gzip-compressed, with the client's keys and times.
  fields = Fields(dump);
  for (const char* time : {"StartupTime", "CrashTime", "InstallTime"}) {
    int64_t seconds = 0;
    EXPECT_TRUE(base::StringToInt64(fields[time], &seconds) && seconds > 0) << time;
    fields.erase(time);
  }
  const std::map<std::string, std::string> expected_dump_fields = {
      {"Email", kEmail},
      {"Version", version},
      {"UBN", build_number},
      {"ProcessType", "installer"},
      {"URL", base::Utf16ToUtf8(kCrashUrl)},
      {"gpu_vendor_id", ""},
      {"gpu_device_id", ""},
      {"gpu_driver_version", ""},
      {"gpu_pixel_shader_version", ""},
      {"gpu_vertex_shader_version", ""},
      {"enabled_extensions", ""},
      {"disabled_extensions", ""},
      {"blacklisted_extensions", ""},
      {"terminated_extensions", ""},
      {"third_party_installs", ""},
      {"ab_tests", ""},
      {"Origin", "Brixel"},
      {"ProductName", "TavroDesktop"},
      {"ReleaseChannel", "release"},
      {"BuildID", base::Utf16ToUtf8(GetBuildId())},
      {"symbols-package", "browser-syms"}};
  EXPECT_EQ(expected_dump_fields, fields);
  ASSERT_EQ(1u, dump.count("upload_file_minidump"));
  EXPECT_EQ(crash_file + ".dmp", dump["upload_file_minidump"].filename);
  EXPECT_EQ("MDMP", dump["upload_file_minidump"].content.substr(0, 4));

  // Sent files are gone; the crash's page at the crash server is recorded, the crash counted.
  const std::wstring record = L"crash_id-" + reporter_pid + L"-1.txt";
  EXPECT_EQ(std::set<std::wstring>({record}), ListFiles(logs_));
  EXPECT_EQ(std::string("0=") + kLocation, ReadFile(logs_.Append(record)));
  EXPECT_EQ("{\"installer\":1}", ReadFile(profile_.Append(L"Crash Counts")));
  EXPECT_NE(std::string::npos,
            ReadFile(temp_.Append(L"tavro_crashreporter.log"))
                .find("Crash reporter of process " + std::to_string(client_pid) + " ends"));
}

TEST_F(CrashReporterEndToEndTest, TheCrashServerOrTheUserDecidesWhatBecomesOfTheTextLog) {
  // A crash server that wants no report of the crash: the text log goes unsent.
  TestHttpServer::Response unavailable;
  unavailable.status = 503;
  server_.SetResponse("GET /crash", unavailable);
  ProcessResult result = RunChild(kCrashingInstaller, {});
  ASSERT_FALSE(result.timed_out) << result.Describe();
  EXPECT_EQ(1u, RequestsFor("GET").size());
  EXPECT_TRUE(RequestsFor("POST").empty());
  EXPECT_TRUE(ListFiles(logs_).empty());

  // A crash server that does not answer as asked gets the log without a crash id, and the
  // user who keeps the logs keeps it (but not its zip).
  server_.SetResponse("GET /crash", TestHttpServer::Response());
  DWORD client_pid = 0;
  result = RunChild(kCrashingInstaller, {{L"TAVRO_CRASH_KEEP_LOGS", L"Yes"}}, &client_pid);
  ASSERT_FALSE(result.timed_out) << result.Describe();
  const std::vector<TestHttpServer::Request> uploads = RequestsFor("POST");
  ASSERT_EQ(1u, uploads.size());
  std::map<std::string, FormPart> text_log = ParseForm(uploads[0]);
  EXPECT_EQ(0u, text_log.count("stacktraceId"));
  const std::wstring kept = L"tavro-crashlog-" + ReporterPid(client_pid) + L"-1.txt";
  EXPECT_EQ(std::set<std::wstring>({kept}), ListFiles(logs_));
  const std::string log = ReadFile(logs_.Append(kept));
  EXPECT_TRUE(log == UnzipCrashLog(text_log["file"])) << log.size() << " bytes kept";

  // Two reporters, one count each.
  EXPECT_EQ("{\"installer\":2}", ReadFile(profile_.Append(L"Crash Counts")));
}

// The time of the last reported crash of a crash reporter, put back as it was when the test
// ends.
class LastReporterCrash {
 public:
  LastReporterCrash() {
    had_key_ = key_.Open(HKEY_CURRENT_USER, installer::GetCompanyRegistryKey().c_str(),
                         KEY_QUERY_VALUE) == ERROR_SUCCESS;
    had_value_ =
        had_key_ && key_.ReadRawValue(kLastReporterCrashValue, &type_, &value_) == ERROR_SUCCESS;
    key_.Close();
    EXPECT_EQ(ERROR_SUCCESS,
              key_.Create(HKEY_CURRENT_USER, installer::GetCompanyRegistryKey().c_str(),
                          KEY_QUERY_VALUE | KEY_SET_VALUE));
  }
  ~LastReporterCrash() {
    if (had_value_) {
      key_.WriteValue(kLastReporterCrashValue, value_.data(), static_cast<DWORD>(value_.size()),
                      type_);
    } else {
      key_.DeleteValue(kLastReporterCrashValue);
    }
    if (!had_key_ && key_.GetValueCount() == 0) {
      key_.Close();
      base::win::RegistryKey(HKEY_CURRENT_USER, L"Software", KEY_ALL_ACCESS)
          .DeleteKey(installer::GetCompanyRegistryKey().substr(9).c_str());
    }
  }

  void Set(base::Time time) {
    const FILETIME file_time = time.ToFileTime();
    EXPECT_EQ(ERROR_SUCCESS,
              key_.WriteValue(kLastReporterCrashValue, &file_time, sizeof(file_time), REG_QWORD));
  }
  base::Time Get() const {
    int64_t value = 0;
    EXPECT_EQ(ERROR_SUCCESS, key_.ReadInt64(kLastReporterCrashValue, &value));
    FILETIME file_time;
    memcpy(&file_time, &value, sizeof(file_time));
    return base::Time::FromFileTime(file_time);
  }

 private:
  base::win::RegistryKey key_;
  bool had_key_ = false;
  bool had_value_ = false;
  DWORD type_ = REG_NONE;
  std::vector<uint8_t> value_;
};

TEST_F(CrashReporterEndToEndTest, AReporterCrashIsReportedAtMostOnceInThreeDays) {
  LastReporterCrash last_crash;
  const base::Time two_days_ago = base::Time::Now() - base::TimeDelta::FromHours(48);
  last_crash.Set(two_days_ago);
  ProcessResult result = RunChild(kCrashingReporter, {});
  ASSERT_FALSE(result.timed_out) << result.Describe();
  EXPECT_EQ(kAccessViolation, result.exit_code) << result.Describe();
  EXPECT_TRUE(server_.GetRequests().empty());
  EXPECT_EQ(std::set<std::wstring>(), ListFiles(temp_));
  EXPECT_TRUE(two_days_ago == last_crash.Get());

  last_crash.Set(base::Time::Now() - base::TimeDelta::FromHours(72));
  const base::Time before = base::Time::Now();
  result = RunChild(kCrashingReporter, {});
  ASSERT_FALSE(result.timed_out) << result.Describe();
  EXPECT_EQ(kAccessViolation, result.exit_code) << result.Describe();
  const std::vector<TestHttpServer::Request> uploads = RequestsFor("POST");
  ASSERT_EQ(1u, uploads.size());
  EXPECT_EQ(std::string("/crash?email=") + kEmail, uploads[0].path);
  std::map<std::string, FormPart> text_log = ParseForm(uploads[0]);
  const std::map<std::string, std::string> expected_fields = {{"email", kEmail}};
  EXPECT_EQ(expected_fields, Fields(text_log));
  // Written into the temporary folder of the reporting child, under its own name.
  const std::string file_prefix = temp_.Append(L"tavro-crashlog-").ToUtf8();
  EXPECT_EQ(file_prefix, text_log["file"].filename.substr(0, file_prefix.size()));
  EXPECT_TRUE(base::EndsWith(text_log["file"].filename, "-1.zip", base::CompareCase::SENSITIVE));
  const std::string log = UnzipCrashLog(text_log["file"]);
  EXPECT_EQ(CrashLogHeader(), log.substr(0, CrashLogHeader().size()));
  EXPECT_NE(std::string::npos, log.find("\r\nmetadata:\r\nprocess_type=\"crash_reporter\"\r\n"));
  EXPECT_NE(std::string::npos, log.find("\r\nThread: "));
  EXPECT_EQ(std::set<std::wstring>({L"tavro_crashreporter.log"}), ListFiles(temp_));
  const base::Time reported = last_crash.Get();
  EXPECT_TRUE(reported >= before - base::TimeDelta::FromSeconds(1) &&
              reported <= base::Time::Now());

  // A failed check of the C runtime ends the reporter with its status; the report waits.
  result =
      RunChild(kCrashingReporter, {{base::Utf8ToUtf16(kCrashModeVariable), L"invalid_parameter"}});
  ASSERT_FALSE(result.timed_out) << result.Describe();
  EXPECT_EQ(kInvalidParameter, result.exit_code) << result.Describe();
  EXPECT_EQ(1u, RequestsFor("POST").size());
  EXPECT_TRUE(reported == last_crash.Get());
}

}  // namespace
}  // namespace crash_reporter
