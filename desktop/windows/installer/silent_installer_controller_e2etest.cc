// A silent installation from the autoupdate server, end to end: the real installer.exe under
// Wine, the example package on a local server, and what a user (or the server) sees after.

#include <windows.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/test/content_hash.h"
#include "desktop/windows/installer/test/example_package/stub_names.h"
#include "desktop/windows/installer/test/forged_report.h"
#include "desktop/windows/installer/test/installer_file.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/registry_snapshot.h"
#include "desktop/windows/installer/test/server_install_e2e_test.h"
#include "desktop/windows/installer/test/snapshot_difference.h"
#include "desktop/windows/installer/test/test_host.h"
#include "desktop/windows/installer/test/test_http_server.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

std::string ReadFile(const base::FilePath& path) {
  std::string contents;
  EXPECT_TRUE(base::ReadFileToString(path, &contents)) << path;
  return contents;
}

base::FilePath BinFile(const wchar_t* name) {
  return base::FilePath(GetTestBinFolder()).Append(name);
}

// The processes that registered with the crash reporter whose log |log| is: the program of
// each, by process id.
std::map<DWORD, std::string> RegisteredCrashClients(const std::string& log) {
  static constexpr char kClient[] = "Crash client ";
  static constexpr char kRegistered[] = " registered: ";
  std::map<DWORD, std::string> clients;
  for (size_t at = log.find(kClient); at != std::string::npos; at = log.find(kClient, at + 1)) {
    const size_t pid_start = at + strlen(kClient);
    const size_t pid_end = log.find(kRegistered, pid_start);
    const size_t line_end = log.find_first_of("\r\n", pid_start);
    unsigned pid = 0;
    if (pid_end < line_end &&
        base::StringToUint(log.substr(pid_start, pid_end - pid_start), &pid)) {
      const size_t program = pid_end + strlen(kRegistered);
      clients[pid] = log.substr(program, line_end - program);
    }
  }
  return clients;
}

// Every thread of a process held suspended, until Resume or the end of the object.
class SuspendedThreads {
 public:
  SuspendedThreads() = default;
  SuspendedThreads(const SuspendedThreads&) = delete;
  SuspendedThreads& operator=(const SuspendedThreads&) = delete;
  ~SuspendedThreads() { Resume(); }

  void Suspend(DWORD process_id) {
    base::win::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    if (!snapshot.IsValid() || !::Thread32First(snapshot.Get(), &entry))
      return;
    do {
      if (entry.th32OwnerProcessID != process_id)
        continue;
      base::win::ScopedHandle thread(
          ::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
      if (thread.IsValid() && ::SuspendThread(thread.Get()) != static_cast<DWORD>(-1))
        threads_.push_back(std::move(thread));
    } while (::Thread32Next(snapshot.Get(), &entry));
  }

  void Resume() {
    for (const base::win::ScopedHandle& thread : threads_)
      ::ResumeThread(thread.Get());
    threads_.clear();
  }

  bool IsHolding() const { return !threads_.empty(); }

 private:
  std::vector<base::win::ScopedHandle> threads_;
};

// Every test leaves the registry as it found it: an installation is uninstalled again.
class SilentInstallE2eTest : public ServerInstallE2eTest {
 protected:
  ProcessResult RunSilentInstall(const std::wstring& extra_arguments = std::wstring()) {
    return RunSilentInstall(host(), MakeProcessOptions(), extra_arguments);
  }

  ProcessResult RunSilentInstall(const base::FilePath& installer,
                                 const ProcessOptions& options,
                                 const std::wstring& extra_arguments) {
    return RunProcess(SilentInstallCommand(installer, install_folder(), extra_arguments), options);
  }

  std::wstring SilentInstallCommand(const base::FilePath& installer,
                                    const base::FilePath& folder,
                                    const std::wstring& extra_arguments) {
    return L"\"" + installer.value() + L"\" --silent --installfolder=\"" + folder.value() +
           L"\" " + extra_arguments;
  }

  // A silent installation with the host, sampling the front end's peak working set (what
  // Wine reports reliably: its private bytes read 0) until it ends.
  ProcessResult RunSilentInstallMeasuringMemory(const base::FilePath& installer,
                                                size_t* peak_working_set) {
    *peak_working_set = 0;
    TestProcess front_end;
    const ProcessOptions options = MakeProcessOptions();
    if (!front_end.Start(SilentInstallCommand(installer, install_folder(), L""), options))
      return ProcessResult();
    const base::win::ScopedHandle process(::OpenProcess(
        PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, front_end.pid()));
    EXPECT_TRUE(process.IsValid());
    PollUntil(
        [&]() {
          PROCESS_MEMORY_COUNTERS counters = {};
          if (process.IsValid() &&
              ::GetProcessMemoryInfo(process.Get(), &counters, sizeof(counters))) {
            *peak_working_set = std::max(*peak_working_set, counters.PeakWorkingSetSize);
          }
          return !front_end.IsRunning();
        },
        options.timeout);
    return front_end.Wait();
  }

  // The fetch records of the last report.
  std::vector<const base::DictionaryValue*> Fetches(const base::DictionaryValue& report) {
    std::vector<const base::DictionaryValue*> fetches;
    const base::ListValue* list = nullptr;
    if (report.GetList("fetches", &list)) {
      for (size_t i = 0; i < list->GetSize(); ++i) {
        const base::DictionaryValue* fetch = nullptr;
        if (list->GetDictionary(i, &fetch))
          fetches.push_back(fetch);
      }
    }
    return fetches;
  }

  // A run whose every fetch failed with |reason|: nothing installed, nothing left behind,
  // and the server told why.
  void ExpectFetchFailure(const ProcessResult& run, const std::string& reason) {
    ExpectFetchFailures(run, {reason, reason, reason});
  }

  // The same for three fetches, each failed with a reason that begins with the one of
  // |reasons| in its place.
  void ExpectFetchFailures(const ProcessResult& run, const std::vector<std::string>& reasons) {
    EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
    EXPECT_EQ(1u, run.exit_code) << run.Describe() << ReadLogs();
    EXPECT_FALSE(base::PathExists(install_folder()));
    ExpectRegistryUnchanged();
    ExpectDownloadFolderClean();

    const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
    ASSERT_TRUE(report) << "no statistics reached the server";
    int success = -1;
    EXPECT_TRUE(report->GetInteger("installation_success", &success));
    EXPECT_EQ(0, success);
    std::string failure;
    EXPECT_TRUE(report->GetString("failure_reason", &failure));
    EXPECT_EQ("Fetcher error", failure);
    const std::vector<const base::DictionaryValue*> fetches = Fetches(*report);
    ASSERT_EQ(reasons.size(), fetches.size()) << ReadLogs();
    for (size_t i = 0; i < fetches.size(); ++i) {
      std::string result;
      std::string fetch_failure;
      EXPECT_TRUE(fetches[i]->GetString("result", &result));
      EXPECT_EQ("download_failed", result);
      EXPECT_TRUE(fetches[i]->GetString("failure_reason", &fetch_failure));
      EXPECT_EQ(0u, fetch_failure.find(reasons[i])) << fetch_failure;
    }
  }

  // An installer whose downloads have the bounds of a test build: windows of 200 ms, 600 ms
  // without progress, 16 MiB.
  base::FilePath MakeBoundedHost() {
    base::FilePath bounded;
    EXPECT_TRUE(MakeTestHost(work_folder().Append(L"bounded"),
                             {{"urls.autoupdate", server().GetBaseUrl()}}, &bounded,
                             {{"network.progress_window_ms", "200"},
                              {"network.min_progress_bytes", "1024"},
                              {"network.max_stall_ms", "600"},
                              {"network.retry_delay_ms", "50"},
                              {"network.max_download_bytes", "16777216"}}));
    return bounded;
  }

  // A reply naming the server's package with |checksum|.
  std::string ReplyWithChecksum(const std::string& checksum) {
    return "{\"installer\": \"" + base::Utf16ToUtf8(server().GetPackageUrl()) +
           "\", \"installer_checksum\": \"" + checksum + "\"}";
  }

};

TEST_F(SilentInstallE2eTest, InstallsThePackageFromTheServer) {
  const ProcessResult run = RunSilentInstall();
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();

  // The browser is installed, registered and recorded.
  const ExamplePackage example = ExamplePackage::Current();
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"launcher.exe")));
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"installation_status.xml")));
  const base::FilePath version_folder = install_folder().AppendASCII(example.version());
  for (const std::string& entry : example.ReadFilesList()) {
    EXPECT_EQ(ReadFile(example.package_folder().Append(base::Utf8ToUtf16(entry))),
              ReadFile(version_folder.Append(base::Utf8ToUtf16(entry))))
        << entry;
  }
  EXPECT_NE(std::wstring(), FindUninstallEntry(install_folder()));
  ExpectDownloadFolderClean();

  // One request for the address, one download, and the statistics of the run.
  EXPECT_EQ(1u, server().GetDownloadUrlRequests().size());
  EXPECT_EQ(1, server().GetPackageDownloadCount());
  ASSERT_EQ(1u, server().GetStatsReports().size());
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  ASSERT_TRUE(report);
  int success = -1;
  EXPECT_TRUE(report->GetInteger("installation_success", &success));
  EXPECT_EQ(1, success);
  std::string download_url;
  EXPECT_TRUE(report->GetString("download_url", &download_url));
  EXPECT_EQ(base::Utf16ToUtf8(server().GetPackageUrl()), download_url);
  const std::vector<const base::DictionaryValue*> fetches = Fetches(*report);
  ASSERT_EQ(1u, fetches.size());
  std::string result;
  EXPECT_TRUE(fetches[0]->GetString("result", &result));
  EXPECT_EQ("package_ready", result);
  std::string payload_type;
  EXPECT_TRUE(report->GetString("payload_type", &payload_type));
  EXPECT_EQ("none", payload_type);

  // The front end (the crash reporter's parent) and the backend (the package's installer)
  // ran under the crash reporter that the front end started: both registered with it.
  const std::string reporter_log = ReadFile(temp_folder().Append(L"tavro_crashreporter.log"));
  const std::map<DWORD, std::string> clients = RegisteredCrashClients(reporter_log);
  const std::string parent_line = "Crash reporter of process ";
  const size_t parent_at = reporter_log.find(parent_line);
  ASSERT_NE(std::string::npos, parent_at) << reporter_log;
  const DWORD front_end =
      strtoul(reporter_log.c_str() + parent_at + parent_line.size(), nullptr, 10);
  ASSERT_EQ(1u, clients.count(front_end)) << reporter_log;
  EXPECT_TRUE(base::EqualsCaseInsensitiveAscii(base::Utf16ToUtf8(host().value()),
                                               clients.at(front_end)))
      << reporter_log;
  const std::string package_folder =
      base::ToLowerAscii(base::Utf16ToUtf8(download_folder().value())) + "\\";
  int backends = 0;
  for (const auto& [pid, program] : clients) {
    const std::string lower = base::ToLowerAscii(program);
    backends += base::StartsWith(lower, package_folder, base::CompareCase::SENSITIVE) &&
                base::EndsWith(lower, "\\installer.exe", base::CompareCase::SENSITIVE);
  }
  EXPECT_EQ(1, backends) << reporter_log;

  Uninstall();
}

// A folder of the command line that cannot hold an installation is refused with its
// reason: the run does not go to another folder, which would upgrade the installation that
// the installer remembers.
TEST_F(SilentInstallE2eTest, AnUnusableInstallFolderIsRefusedNotReplaced) {
  ASSERT_TRUE(RunSilentInstall().Succeeded()) << ReadLogs();
  const TreeSnapshot installed = TreeSnapshot::Capture(work_folder());
  // Shorter than a folder path may be, longer than the names built from it may take.
  const base::FilePath too_long =
      work_folder().Append(std::wstring(230 - work_folder().value().size() - 1, L'x'));
  const RegistrySnapshot registered = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());

  const struct {
    std::wstring arguments;
    const char* reason;
  } kUnusable[] = {
      // A mistyped switch, and a language the installer does not have, are named in the log
      // and on standard error, and change nothing else.
      {L"--installfolder=Tavro --installfoler=x --INSTALLFOLER=y --language=nb",
       "Path is relative"},
      {L"--installfolder=", "Path is empty"},
      {L"\"--installfolder=" + install_folder().value() + L"\\..\\Other\"",
       "Path refers to a parent folder"},
      // "C:\Folder\" in quotes: the last backslash escapes the quote.
      {L"\"--installfolder=" + work_folder().value() + L"\\\"",
       "Path holds a character that a name cannot hold"},
      {L"\"--installfolder=" + too_long.value() + L"\"",
       "Path is too long for the installer's kernel object names"},
  };
  for (const auto& unusable : kUnusable) {
    const ProcessResult run =
        RunProcess(L"\"" + host().value() + L"\" --silent " + unusable.arguments,
                   MakeProcessOptions());
    EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
    EXPECT_EQ(1u, run.exit_code) << unusable.reason << "\n" << ReadLogs();
    if (unusable.arguments.find(L"--installfoler") != std::wstring::npos) {
      EXPECT_NE(std::string::npos, run.output.find("Unknown switch ignored: --installfoler\n"))
          << run.output;
      EXPECT_NE(std::string::npos, run.output.find("Language nb is not available; using "))
          << run.output;
    }
    EXPECT_NE(std::string::npos,
              ReadLogs().find("\" cannot be used: " + std::string(unusable.reason) + "\n"))
        << unusable.reason << "\n" << ReadLogs();
  }
  const std::string logs = ReadLogs();
  const size_t unknown = logs.find("Unknown switch ignored: --");
  EXPECT_NE(std::string::npos, logs.find("Unknown switch ignored: --installfoler\n")) << logs;
  EXPECT_EQ(std::string::npos, logs.find("Unknown switch ignored: --", unknown + 1)) << logs;

  // Nothing was installed or upgraded, here or anywhere.
  const std::vector<SnapshotDifference> files =
      CompareSnapshots(installed, TreeSnapshot::Capture(work_folder()));
  EXPECT_TRUE(files.empty()) << FormatDifferences(files);
  const std::vector<SnapshotDifference> keys =
      CompareSnapshots(registered, RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots()),
                       RegistrySnapshot::DefaultAllowList());
  EXPECT_TRUE(keys.empty()) << FormatDifferences(keys);
  Uninstall();
}

TEST_F(SilentInstallE2eTest, FullPackageInThePayloadIsInstalledWithoutADownload) {
  base::FilePath installer;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"full"),
                           {{"urls.autoupdate", server().GetBaseUrl()}}, &installer));
  ASSERT_TRUE(AppendPayload(installer, ReadFile(ExamplePackage::Current().archive())));

  const ProcessResult run = RunSilentInstall(installer, MakeProcessOptions(), L"");
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"launcher.exe")));
  EXPECT_NE(std::wstring(), FindUninstallEntry(install_folder()));
  ExpectDownloadFolderClean();

  // The server heard of the run only through its statistics and the preference overrides.
  EXPECT_TRUE(server().GetDownloadUrlRequests().empty());
  EXPECT_EQ(0, server().GetPackageDownloadCount());
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  ASSERT_TRUE(report);
  std::string payload_type;
  EXPECT_TRUE(report->GetString("payload_type", &payload_type));
  EXPECT_EQ("full_package", payload_type);
  EXPECT_FALSE(report->HasKey("download_url"));

  Uninstall();
}

TEST_F(SilentInstallE2eTest, InterruptedDownloadIsResumedAndAFailingServerRetried) {
  std::string package;
  ASSERT_TRUE(base::ReadFileToString(ExamplePackage::Current().package_installer(), &package));
  const int64_t cut = static_cast<int64_t>(package.size() / 2);
  server().CutPackageDownloads(cut);
  server().FailDownloadUrlRequests(2, 503);

  const ProcessResult run = RunSilentInstall();
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  EXPECT_TRUE(base::PathExists(install_folder().Append(L"launcher.exe")));

  EXPECT_EQ(3u, server().GetDownloadUrlRequests().size());
  // The second request for the package asked only for what the first one did not bring.
  const std::string package_url = base::Utf16ToUtf8(server().GetPackageUrl());
  const std::string package_path = package_url.substr(package_url.find('/', sizeof("http://")));
  std::vector<TestHttpServer::Request> package_requests;
  for (const TestHttpServer::Request& request : server().http().GetRequests()) {
    if (request.path == package_path)
      package_requests.push_back(request);
  }
  ASSERT_EQ(2u, package_requests.size());
  EXPECT_EQ(0u, package_requests[0].headers.count("range"));
  EXPECT_EQ(base::StringPrintf("bytes=%lld-", static_cast<long long>(cut)),
            package_requests[1].headers["range"]);

  // One fetch: the retries were the downloader's own.
  const std::unique_ptr<base::DictionaryValue> report = LastStatsReport();
  ASSERT_TRUE(report);
  EXPECT_EQ(1u, Fetches(*report).size());
  int success = -1;
  EXPECT_TRUE(report->GetInteger("installation_success", &success));
  EXPECT_EQ(1, success);

  Uninstall();
}

// The fetches fail at once, while the backend (held suspended here, as a slow start would
// hold it) has not even started: the front end ends only after the backend it started has,
// so that the next run finds the folder free.
TEST_F(SilentInstallE2eTest, WrongChecksumsFailEveryFetchAndTheRunEndsWithItsBackend) {
  server().SetWrongPackageChecksum(true);
  TestProcess front_end;
  ProcessOptions options = MakeProcessOptions();
  options.wait_for_started_processes = false;
  ASSERT_TRUE(front_end.Start(SilentInstallCommand(host(), install_folder(), L""), options));
  // The installers the front end starts, by creation time: its crash reporter, which ends
  // after the process it watches, then the backend.
  std::map<uint64_t, base::win::ScopedHandle> started;
  std::vector<DWORD> seen;
  SuspendedThreads backend_held;
  bool backend_outlived = false;
  const bool ended = PollUntil(
      [&]() {
        if (!front_end.IsRunning()) {
          backend_outlived = started.size() == 2 &&
                             ::WaitForSingleObject(started.rbegin()->second.Get(), 0) !=
                                 WAIT_OBJECT_0;
          return true;
        }
        if (backend_held.IsHolding() &&
            ReadFrontEndLog(temp_folder()).find("Waiting for the interrupted installer backend") !=
                std::string::npos) {
          backend_held.Resume();
        }
        for (DWORD pid : FindChildProcesses(front_end.pid(), L"installer.exe")) {
          if (std::find(seen.begin(), seen.end(), pid) != seen.end())
            continue;
          seen.push_back(pid);
          base::win::ScopedHandle child(
              ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
          FILETIME created = {}, exited = {}, kernel = {}, user = {};
          if (child.IsValid() &&
              ::GetProcessTimes(child.Get(), &created, &exited, &kernel, &user)) {
            started[(static_cast<uint64_t>(created.dwHighDateTime) << 32) |
                    created.dwLowDateTime] = std::move(child);
          }
          if (started.size() == 2)
            backend_held.Suspend(::GetProcessId(started.rbegin()->second.Get()));
        }
        return false;
      },
      options.timeout);
  backend_held.Resume();
  const ProcessResult run = front_end.Wait();
  ExpectFetchFailure(run, "Checksum incorrect for the downloaded package");
  ASSERT_TRUE(ended);
  EXPECT_EQ(2u, started.size());
  EXPECT_FALSE(backend_outlived) << ReadLogs();
}

// Any process of the user may write into the front end's mailslot. A success written there
// while the backend waits for a package that never comes does not end the run: it fails
// with the fetches, exits 1 and reports installation_success 0.
TEST_F(SilentInstallE2eTest, AForgedSuccessOnTheMailslotIsNoSuccess) {
  server().SetWrongPackageChecksum(true);
  TestProcess front_end;
  const ProcessOptions options = MakeProcessOptions();
  ASSERT_TRUE(front_end.Start(SilentInstallCommand(host(), install_folder(), L""), options));
  const bool forged = ForgeReport(install_folder(), InstallerMessage::OfType(IPC_MESSAGE_SUCCESS),
                                  options.timeout);
  const ProcessResult run = front_end.Wait();
  ASSERT_TRUE(forged) << run.Describe() << ReadLogs();
  ExpectFetchFailure(run, "Checksum incorrect for the downloaded package");
}

TEST_F(SilentInstallE2eTest, UpperCaseChecksumFailsEveryFetch) {
  server().SetDownloadUrlReply(ReplyWithChecksum(
      base::ToUpperAscii(Sha256Hex(ReadFile(ExamplePackage::Current().package_installer())))));
  ExpectFetchFailure(RunSilentInstall(), "Checksum incorrect for the downloaded package");
}

TEST_F(SilentInstallE2eTest, ASignedInstallerRefusesUnsignedAndWronglySignedPackages) {
  base::FilePath signed_installer;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"signed"),
                           {{"urls.autoupdate", server().GetBaseUrl()}}, &signed_installer));
  ASSERT_TRUE(AddCertificateTable(signed_installer));

  for (const wchar_t* package : {L"installer.exe", L"signed_by_other.exe"}) {
    SCOPED_TRACE(package);
    ASSERT_TRUE(server().SetPackage(BinFile(package)));
    ExpectFetchFailure(RunSilentInstall(signed_installer, MakeProcessOptions(), L""),
                       "Signature incorrect for the downloaded package");
  }
}

TEST_F(SilentInstallE2eTest, PackagesOfAnOlderVersionOrAnotherStreamAreRefused) {
  // The example's stub stands in for a package installer that says what the test wants.
  ASSERT_TRUE(server().SetPackage(ExamplePackage::Current().package_folder().Append(L"tavro.exe")));
  const std::pair<std::wstring, std::wstring> identities[][2] = {
      {{L"TAVRO_STUB_INTERNAL_VERSION", L"1.0"}, {L"TAVRO_STUB_STREAM", L""}},
      {{L"TAVRO_STUB_INTERNAL_VERSION",
        base::Utf8ToUtf16(ExamplePackage::Current().internal_version())},
       {L"TAVRO_STUB_STREAM", ProductInfo::GetStream() == "Nightly" ? L"Stable" : L"Nightly"}},
  };
  for (const auto& identity : identities) {
    SCOPED_TRACE(identity[0].second);
    ProcessOptions options = MakeProcessOptions();
    options.environment.push_back(identity[0]);
    options.environment.push_back(identity[1]);
    ExpectFetchFailure(RunSilentInstall(host(), options, L""),
                       "Downloaded package failed version check");
  }
}

TEST_F(SilentInstallE2eTest, UnusableRepliesFailEveryFetch) {
  const std::string replies[] = {
      "{\"installer\": \"" + base::Utf16ToUtf8(server().GetPackageUrl()) + "\"}",
      "{\"installer\": \"" + base::Utf16ToUtf8(server().GetPackageUrl()) + "\", ",
  };
  for (const std::string& reply : replies) {
    SCOPED_TRACE(reply);
    server().SetDownloadUrlReply(reply);
    ExpectFetchFailure(RunSilentInstall(), "Failed parsing json reply");
  }
  EXPECT_EQ(0, server().GetPackageDownloadCount());
}

// The request carries tracking data, which a 307 would send on: the host outside the list
// (127.0.0.2, a loopback host of its own) receives nothing at all.
TEST_F(SilentInstallE2eTest, RedirectOutsideTheAllowedHostsFailsEveryFetch) {
  TestHttpServer outside;
  ASSERT_TRUE(outside.Start("127.0.0.2"));
  base::FilePath tracked;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"tracked"),
                           {{"urls.autoupdate", server().GetBaseUrl()}}, &tracked));
  ASSERT_TRUE(AppendPayload(tracked, "tracking-data"));
  server().RedirectDownloadUrlRequests(base::Utf16ToUtf8(outside.GetUrl("/dl-elsewhere")), 307);

  ExpectFetchFailure(RunSilentInstall(tracked, MakeProcessOptions(), L""),
                     "Failed fetching the download URL\nDomain disallowed 127.0.0.2");
  EXPECT_EQ(0, server().GetPackageDownloadCount());
  EXPECT_TRUE(outside.GetRequests().empty());
  const std::vector<TestHttpServer::Request> requests = server().GetDownloadUrlRequests();
  ASSERT_EQ(3u, requests.size());
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ("tracking-data", requests[0].body);
}

// A server that trickles the package, sends it without end, or answers the download-URL
// request with a huge reply: each run ends with the fetcher's failure, nothing installed or
// left behind, the downloads bounded in time and size, and the front end small meanwhile.
TEST_F(SilentInstallE2eTest, TricklingEndlessAndHugeRepliesEndTheRunWithSmallMemory) {
  const base::FilePath bounded = MakeBoundedHost();
  ASSERT_FALSE(bounded.empty());
  // The front end of a failing run needs a few tens of MiB under Wine; the huge reply alone,
  // kept whole, would take 2048; sent without pause, it is not read to its end either.
  constexpr size_t kSmallMemory = 128 << 20;
  const struct {
    const char* name;
    std::function<void()> arrange;
    const char* reason;
  } cases[] = {
      {"trickled package", [this]() { server().TricklePackageDownloads(100); },
       "Failed downloading the Tavro package\nToo little progress: "},
      {"endless package", [this]() { server().SendEndlessPackages(); },
       "Failed downloading the Tavro package\nThe body is larger than the 16777216 bytes "
       "allowed"},
      {"huge download-URL reply", [this]() { server().PadDownloadUrlReplies(int64_t{2} << 30); },
       "Failed fetching the download URL\nThe server announced 2147483"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server().ClearFailures();
    c.arrange();
    size_t peak = 0;
    ExpectFetchFailure(RunSilentInstallMeasuringMemory(bounded, &peak), c.reason);
    EXPECT_GT(peak, 0u);
    EXPECT_LT(peak, kSmallMemory);
  }
}

// A server that stops sending an additional file costs the run that file's stall limit
// once: the files named after it are not asked for, and the package is installed with what
// came before.
TEST_F(SilentInstallE2eTest, AnAdditionalFileThatStallsEndsTheAdditionalFiles) {
  const base::FilePath bounded = MakeBoundedHost();
  ASSERT_FALSE(bounded.empty());
  server().AddAdditionalFile({"partner_content", "first.txt", false, "first\r\n"});
  AutoupdateServer::AdditionalFile stalled{"partner_content", "stalled.txt", false, "stalled"};
  stalled.stall = true;
  server().AddAdditionalFile(stalled);
  server().AddAdditionalFile({"partner_content", "after.txt", false, "after\r\n"});

  const ProcessResult run =
      RunSilentInstall(bounded, MakeProcessOptions(), L"--copyonly=1 --launchtavro=0");
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  const base::FilePath version_folder =
      install_folder().AppendASCII(ExamplePackage::Current().version());
  EXPECT_EQ("first\r\n", ReadFile(version_folder.Append(L"first.txt")));
  EXPECT_FALSE(base::PathExists(version_folder.Append(L"stalled.txt")));
  EXPECT_FALSE(base::PathExists(version_folder.Append(L"after.txt")));
  EXPECT_LE(1, server().GetAdditionalFileRequestCount(1));
  EXPECT_EQ(0, server().GetAdditionalFileRequestCount(2));
  ExpectDownloadFolderClean();
}

// What was checked is what is used. The package (the example's stub carrying the current
// archive) tries, while it is asked for its version, to put a package of the next version
// in its own place: the current one is installed all the same. The suite's archive runs in
// its own folder, but its installer answers no version: it is removed, and the backend
// never runs it.
TEST_F(SilentInstallE2eTest, ASwappedPackageAndAFailedSuiteAreNeverUsed) {
  const ExamplePackage current = ExamplePackage::Current();
  const base::FilePath stub = current.package_folder().Append(L"tavro.exe");
  const base::FilePath package = work_folder().Append(L"package.exe");
  const base::FilePath replacement = work_folder().Append(L"replacement.exe");
  ASSERT_TRUE(base::CopySingleFile(stub, package));
  ASSERT_TRUE(AppendPayload(package, ReadFile(current.archive())));
  ASSERT_TRUE(base::CopySingleFile(stub, replacement));
  ASSERT_TRUE(AppendPayload(replacement, ReadFile(ExamplePackage::Next().archive())));
  ASSERT_TRUE(server().SetPackage(package));
  server().AddAdditionalFile({"suite", "", true, ReadFile(current.suite_archive())});

  ProcessOptions options = MakeProcessOptions();
  options.environment.push_back(
      {kStubInternalVersionVariable, base::Utf8ToUtf16(current.internal_version())});
  options.environment.push_back({kStubStreamVariable, base::Utf8ToUtf16(ProductInfo::GetStream())});
  options.environment.push_back({kStubReplaceSelfVariable, replacement.value()});
  options.environment.push_back(StubExitCodeEnvironment(L"suite_installer.exe", 1));
  const ProcessResult run = RunSilentInstall(host(), options, L"--install-assistant");
  ASSERT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();

  EXPECT_TRUE(base::PathExists(install_folder().AppendASCII(current.version())));
  EXPECT_FALSE(base::PathExists(install_folder().AppendASCII(ExamplePackage::Next().version())));
  // Nothing of the attempt is left either ("<package>.replaced").
  ExpectDownloadFolderClean();

  const std::vector<StubInvocation> sfx_runs = ReadStubInvocations(L"suite_sfx.exe");
  ASSERT_EQ(1u, sfx_runs.size());
  EXPECT_TRUE(base::FilePath::CompareEqualIgnoreCase(
      sfx_runs[0].GetCommandLine().GetProgram().DirName().value(),
      sfx_runs[0].working_folder.value()))
      << sfx_runs[0].command_line << " ran in " << sfx_runs[0].working_folder;
  const std::vector<StubInvocation> suite_runs = ReadStubInvocations(L"suite_installer.exe");
  ASSERT_EQ(1u, suite_runs.size());
  EXPECT_TRUE(suite_runs[0].GetCommandLine().HasSwitch("internal-version"));
  EXPECT_FALSE(base::PathExists(install_folder().Append(L"suite")));

  Uninstall();
}

// Front ends share the download folder. Two started in the same second both try it and use
// it, and each keeps to its own files there (the copy that tries the folder, the package,
// and an additional file that both download at the same time): both install everything.
TEST_F(SilentInstallE2eTest, TwoInstallsStartedInTheSameSecondBothSucceed) {
  AutoupdateServer::AdditionalFile partner{"partner_content", "partner.txt", false,
                                           "partner text\r\n"};
  partner.pause_ms = 1500;
  server().AddAdditionalFile(partner);
  const base::FilePath folders[] = {install_folder(), work_folder().Append(L"Second Browser")};
  // Right after a second begins, so that the time in both front ends' names is the same.
  ASSERT_TRUE(PollUntil(
      []() {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        return now.wMilliseconds < 100;
      },
      base::TimeDelta::FromSeconds(2)));
  const std::wstring arguments = L"--copyonly=1 --launchtavro=0";
  TestProcess front_ends[2];
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_TRUE(front_ends[i].Start(SilentInstallCommand(host(), folders[i], arguments),
                                    MakeProcessOptions()));
  }
  for (TestProcess& front_end : front_ends) {
    const ProcessResult run = front_end.Wait();
    EXPECT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  }

  const std::string version = ExamplePackage::Current().version();
  for (const base::FilePath& folder : folders) {
    EXPECT_TRUE(base::PathExists(folder.Append(L"launcher.exe"))) << folder;
    EXPECT_EQ("partner text\r\n", ReadFile(folder.AppendASCII(version).Append(L"partner.txt")));
  }
  EXPECT_EQ(2, server().GetPackageDownloadCount());
  ExpectDownloadFolderClean();
  // Neither was sent elsewhere by the other's try of the folder.
  const std::string logs = ReadLogs();
  const std::string shared = "Installer download folder: " + download_folder().ToUtf8() + "\n";
  size_t uses = 0;
  for (size_t at = logs.find(shared); at != std::string::npos; at = logs.find(shared, at + 1))
    ++uses;
  EXPECT_EQ(2u, uses) << logs;
}

TEST_F(SilentInstallE2eTest, AServerThatNeverAnswersFailsInBoundedTime) {
  // Short network time-outs, as the product configuration of a test build may set them.
  base::FilePath impatient;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"impatient"),
                           {{"urls.autoupdate", server().GetBaseUrl()}}, &impatient,
                           {{"network.timeout_ms", "1000"},
                            {"network.max_retries", "1"},
                            {"network.retry_delay_ms", "100"}}));
  server().StallPackageDownloads();
  ProcessOptions options = MakeProcessOptions();
  options.timeout = base::TimeDelta::FromSeconds(90);
  ExpectFetchFailure(RunSilentInstall(impatient, options, L""),
                     "Failed downloading the Tavro package\n");
  EXPECT_EQ(6, server().GetPackageDownloadCount());
}

// A server that keeps sending the package well above the least progress, without pause,
// never finishes it: each download ends at its duration bound, and the downloads of all
// fetches at the run's, so that the run ends with the fetcher's failure in bounded time.
TEST_F(SilentInstallE2eTest, AServerThatNeverFinishesEndsTheRunWithinItsBound) {
  base::FilePath bounded;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"bounded_duration"),
                           {{"urls.autoupdate", server().GetBaseUrl()}}, &bounded,
                           {{"network.progress_window_ms", "200"},
                            {"network.min_progress_bytes", "1024"},
                            {"network.retry_delay_ms", "50"},
                            {"network.max_download_ms", "1500"}}));
  // 40 KiB a second: the package alone would take minutes.
  server().TricklePackageDownloads(50, 2048);
  ProcessOptions options = MakeProcessOptions();
  options.timeout = base::TimeDelta::FromSeconds(60);
  // The last fetch finds the time of all downloads spent, or nearly.
  ExpectFetchFailures(RunSilentInstall(bounded, options, L""),
                      {"Failed downloading the Tavro package\n"
                       "The download took longer than the 1500 ms allowed",
                       "Failed downloading the Tavro package\nThe download took longer than ",
                       "Failed "});
}

// A server that refuses connections is down: the run says so within about a minute (three
// fetches of a few refused tries each, and a statistics report that gives up as soon),
// with its failure and nothing installed, instead of retrying for minutes.
TEST_F(SilentInstallE2eTest, AStoppedServerEndsTheRunWithinAMinute) {
  TestHttpServer stopped;
  ASSERT_TRUE(stopped.Start());
  const std::string address = "http://127.0.0.1:" + std::to_string(stopped.port()) + "/";
  stopped.Stop();  // Its port refuses connections now.
  base::FilePath installer;
  ASSERT_TRUE(MakeTestHost(work_folder().Append(L"stopped_server"),
                           {{"urls.autoupdate", address}}, &installer));
  ProcessOptions options = MakeProcessOptions();
  options.timeout = base::TimeDelta::FromSeconds(75);
  const ProcessResult run = RunSilentInstall(installer, options, L"");
  ASSERT_TRUE(run.started && !run.timed_out) << run.Describe() << ReadLogs();
  EXPECT_EQ(1u, run.exit_code) << run.Describe() << ReadLogs();
  EXPECT_FALSE(base::PathExists(install_folder()));
  ExpectRegistryUnchanged();
  ExpectDownloadFolderClean();
}

TEST_F(SilentInstallE2eTest, ThreeFailedFetchesEndTheRun) {
  server().FailDownloadUrlRequests(1000, 404);
  ExpectFetchFailure(RunSilentInstall(), "Failed fetching the download URL\n");
  EXPECT_EQ(3u, server().GetDownloadUrlRequests().size());
}

}  // namespace
}  // namespace test
}  // namespace installer
