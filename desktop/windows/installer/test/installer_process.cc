#include "desktop/windows/installer/test/installer_process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>

#include <algorithm>
#include <map>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/executable_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {

// Exit code of processes ended at their deadline.
constexpr UINT kKilledExitCode = 0xDEAD;
constexpr DWORD kPollMs = 10;
// After the program ended, how long a process it started may keep the output open.
constexpr base::TimeDelta kOutputDrainTime = base::TimeDelta::FromSeconds(2);
// How much of each log a run past its deadline shows.
constexpr size_t kLogTailLines = 40;

// The processes running now, from one snapshot: each costs Wine a round trip to its server.
std::vector<PROCESSENTRY32W> SnapshotProcesses() {
  std::vector<PROCESSENTRY32W> processes;
  base::win::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  if (snapshot.IsValid() && ::Process32FirstW(snapshot.Get(), &entry)) {
    do {
      processes.push_back(entry);
    } while (::Process32NextW(snapshot.Get(), &entry));
  }
  return processes;
}

bool HasImage(const PROCESSENTRY32W& process, const std::wstring& image) {
  return image.empty() || base::FilePath::CompareEqualIgnoreCase(process.szExeFile, image);
}

// The last |count| lines of |text|.
std::string LastLines(const std::string& text, size_t count) {
  size_t start = text.size();
  // A final line break ends the last line rather than starting an empty one.
  if (start > 0 && text[start - 1] == '\n')
    --start;
  for (size_t lines = 0; lines < count && start > 0; ++lines) {
    const size_t line_break = text.rfind('\n', start - 1);
    start = line_break == std::string::npos ? 0 : line_break;
  }
  return text.substr(start < text.size() && text[start] == '\n' ? start + 1 : start);
}

}  // namespace

std::wstring GetTestBinFolder() {
  // Not the path registry: tests override its keys.
  base::FilePath program;
  if (!base::win::GetExecutablePath(&program))
    return std::wstring();
  return program.DirName().value();
}

std::vector<DWORD> FindChildProcesses(DWORD parent, const std::wstring& image) {
  std::vector<DWORD> children;
  for (const PROCESSENTRY32W& process : SnapshotProcesses()) {
    if (process.th32ParentProcessID == parent && HasImage(process, image))
      children.push_back(process.th32ProcessID);
  }
  return children;
}

std::vector<DWORD> FindDescendantProcesses(DWORD ancestor, const std::wstring& image) {
  const std::vector<PROCESSENTRY32W> processes = SnapshotProcesses();
  std::vector<DWORD> found;
  std::vector<DWORD> parents = {ancestor};
  // A few generations: a parent id that a later process took again cannot loop it.
  for (int generation = 0; generation < 8 && !parents.empty(); ++generation) {
    std::vector<DWORD> children;
    for (const PROCESSENTRY32W& process : processes) {
      if (std::find(parents.begin(), parents.end(), process.th32ParentProcessID) ==
          parents.end()) {
        continue;
      }
      children.push_back(process.th32ProcessID);
      if (HasImage(process, image))
        found.push_back(process.th32ProcessID);
    }
    parents = std::move(children);
  }
  return found;
}

std::vector<DWORD> FindProcessesOfProgram(const base::FilePath& program) {
  std::vector<DWORD> found;
  for (const PROCESSENTRY32W& entry : SnapshotProcesses()) {
    if (!HasImage(entry, program.BaseName().value()))
      continue;
    base::win::ScopedHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (process.IsValid() && ::QueryFullProcessImageNameW(process.Get(), 0, path, &size) &&
        base::FilePath::CompareEqualIgnoreCase(std::wstring(path, size), program.value())) {
      found.push_back(entry.th32ProcessID);
    }
  }
  return found;
}

bool EndChildProcessTrees(const std::wstring& image, base::TimeDelta grace) {
  // They may end by themselves first: under Wine, a process ended while it starts another
  // can leave that one half made for good, holding all it inherited (a test's output).
  std::vector<DWORD> children;
  PollUntil(
      [&] {
        children = FindChildProcesses(::GetCurrentProcessId(), image);
        return children.empty();
      },
      grace);
  std::vector<base::win::ScopedHandle> ended;
  for (DWORD child : children) {
    std::vector<DWORD> tree = FindDescendantProcesses(child, std::wstring());
    tree.insert(tree.begin(), child);
    for (DWORD pid : tree) {
      base::win::ScopedHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
      if (process.IsValid() && ::TerminateProcess(process.Get(), 1))
        ended.push_back(std::move(process));
    }
  }
  const base::TimeTicks deadline = base::TimeTicks::Now() + base::TimeDelta::FromSeconds(10);
  for (const base::win::ScopedHandle& process : ended) {
    const base::TimeDelta left = std::max(deadline - base::TimeTicks::Now(), base::TimeDelta());
    if (::WaitForSingleObject(process.Get(), static_cast<DWORD>(left.InMilliseconds())) !=
        WAIT_OBJECT_0) {
      return false;
    }
  }
  return true;
}

std::string ProcessResult::Describe() const {
  std::string text;
  if (!started)
    text = "did not start";
  else if (timed_out)
    text = "did not end in time and was killed";
  else
    text = base::StringPrintf("ended with exit code %lu", exit_code);
  return text + "; its output:\n" + output;
}

TestProcess::TestProcess() = default;

TestProcess::~TestProcess() {
  Kill();
  StopReader();
}

bool TestProcess::Start(const base::CommandLine& command_line, const ProcessOptions& options) {
  return Start(command_line.GetCommandLineString(), options);
}

bool TestProcess::Start(const std::wstring& command_line, const ProcessOptions& options) {
  if (process_.IsValid() || reader_thread_.IsValid()) {
    ADD_FAILURE() << "TestProcess started twice";
    return false;
  }
  program_name_ = base::CommandLine::FromString(command_line).GetProgram().BaseName().value();
  options_ = options;
  deadline_ = base::TimeTicks::Now() + options.timeout;

  job_.Set(::CreateJobObjectW(nullptr, nullptr));
  if (!job_.IsValid()) {
    ADD_FAILURE() << "CreateJobObject failed: " << ::GetLastError();
    return false;
  }
  // Breaking away stays allowed, as a process the installer starts may ask for it. The job
  // is not ended by closing it: system processes may have joined it (see IsSystemHelper).
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  if (!::SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof(limits))) {
    ADD_FAILURE() << "SetInformationJobObject failed: " << ::GetLastError();
    return false;
  }

  HANDLE read_handle = nullptr;
  HANDLE write_handle = nullptr;
  if (!::CreatePipe(&read_handle, &write_handle, nullptr, 0)) {
    ADD_FAILURE() << "CreatePipe failed: " << ::GetLastError();
    return false;
  }
  output_.Set(read_handle);
  base::win::ScopedHandle write_end(write_handle);

  base::LaunchOptions launch;
  launch.environment = options.environment;
  launch.current_directory = options.current_directory;
  launch.stdout_handle = write_end.Get();
  launch.stderr_handle = write_end.Get();
  launch.job_handle = job_.Get();
  process_ = base::LaunchProcess(command_line, launch);
  // Only the child's copy keeps the pipe open now.
  write_end.Close();
  if (!process_.IsValid()) {
    ADD_FAILURE() << "Cannot start " << base::Utf16ToUtf8(command_line);
    output_.Close();
    return false;
  }
  if (!base::OsThread::Create(0, this, &reader_thread_)) {
    ADD_FAILURE() << "Cannot start the output reader of " << program_name_;
    Kill();
    return false;
  }
  return true;
}

ProcessResult TestProcess::Wait() {
  ProcessResult result;
  if (!process_.IsValid())
    return result;
  result.started = true;

  auto remaining_ms = [this]() {
    const int64_t ms = (deadline_ - base::TimeTicks::Now()).InMilliseconds();
    return static_cast<DWORD>(std::max<int64_t>(ms, 0));
  };
  DWORD exit_code = 0;
  bool ended = process_.WaitForExitWithTimeout(remaining_ms(), &exit_code);
  if (ended && options_.wait_for_started_processes) {
    while (!GetOwnJobProcesses().empty() && remaining_ms() > 0)
      ::Sleep(kPollMs);
    ended = GetOwnJobProcesses().empty();
  }
  std::string left_behind;
  if (!ended) {
    result.timed_out = true;
    left_behind = DescribeStuckRun();
    Kill();
    process_.WaitForExitWithTimeout(0, &exit_code);
  } else {
    const base::TimeTicks drain_deadline = base::TimeTicks::Now() + kOutputDrainTime;
    while (!output_closed_ && base::TimeTicks::Now() < drain_deadline)
      ::Sleep(kPollMs);
  }
  StopReader();
  result.exit_code = exit_code;
  result.output = GetOutput();
  if (result.timed_out) {
    ADD_FAILURE() << base::Utf16ToUtf8(program_name_) << " ran longer than "
                  << options_.timeout.InSecondsF() << " s; still running: " << left_behind << "\n"
                  << result.Describe();
  }
  return result;
}

void TestProcess::Kill() {
  if (process_.IsValid()) {
    process_.Terminate(kKilledExitCode);
    process_.WaitForExitWithTimeout(10000, nullptr);
  }
  // A process being ended may just have started another: a few rounds.
  for (int round = 0; round < 3; ++round) {
    const std::vector<JobProcess> left = GetOwnJobProcesses();
    if (left.empty())
      break;
    for (const JobProcess& job_process : left) {
      // The wait reads the exit code, which takes the right to query.
      const base::Process process = base::Process::Open(
          job_process.pid, PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION);
      if (process.IsValid() && process.Terminate(kKilledExitCode))
        process.WaitForExitWithTimeout(10000, nullptr);
    }
  }
}

bool TestProcess::IsRunning() const {
  return process_.IsValid() && !process_.WaitForExitWithTimeout(0, nullptr);
}

std::string TestProcess::GetOutput() const {
  base::AutoLock lock(lock_);
  return output_text_;
}

void TestProcess::ThreadMain() {
  base::OsThread::SetName("Test process output");
  // Peeking never blocks, so the reader can be stopped while a process that inherited the
  // pipe still holds it open.
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(output_.Get(), nullptr, 0, nullptr, &available, nullptr)) {
      output_closed_ = true;
      return;
    }
    if (available == 0) {
      if (stop_reader_)
        return;
      ::Sleep(kPollMs);
      continue;
    }
    char buffer[16 * 1024];
    DWORD read = 0;
    if (!::ReadFile(output_.Get(), buffer, std::min<DWORD>(available, sizeof(buffer)), &read,
                    nullptr)) {
      output_closed_ = true;
      return;
    }
    base::AutoLock lock(lock_);
    output_text_.append(buffer, read);
  }
}

void TestProcess::StopReader() {
  stop_reader_ = true;
  if (reader_thread_.IsValid())
    base::OsThread::Join(&reader_thread_);
  output_.Close();
}

std::vector<TestProcess::JobProcess> TestProcess::GetOwnJobProcesses() const {
  std::vector<JobProcess> processes;
  if (!job_.IsValid())
    return processes;
  constexpr DWORD kMaxProcesses = 256;
  std::vector<ULONG_PTR> buffer(2 + kMaxProcesses);
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
  list->NumberOfAssignedProcesses = kMaxProcesses;
  if (!::QueryInformationJobObject(job_.Get(), JobObjectBasicProcessIdList, list,
                                   static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR)),
                                   nullptr)) {
    PLOG(ERROR) << "QueryInformationJobObject failed";
    return processes;
  }
  for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
    JobProcess process;
    process.pid = static_cast<DWORD>(list->ProcessIdList[i]);
    base::win::ScopedHandle handle(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.pid));
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!handle.IsValid())
      continue;  // Gone meanwhile.
    if (::QueryFullProcessImageNameW(handle.Get(), 0, path, &size))
      process.image.assign(path, size);
    if (!IsSystemHelper(process.image))
      processes.push_back(process);
  }
  return processes;
}

std::string TestProcess::DescribeStuckRun() const {
  std::map<DWORD, std::wstring> stuck;
  for (const JobProcess& process : GetOwnJobProcesses())
    stuck[process.pid] = process.image;
  // What the program started may have left the job.
  if (IsRunning())
    stuck.emplace(pid(), std::wstring());
  for (DWORD descendant : FindDescendantProcesses(pid(), std::wstring()))
    stuck.emplace(descendant, std::wstring());
  std::string text;
  for (const PROCESSENTRY32W& process : SnapshotProcesses()) {
    const auto found = stuck.find(process.th32ProcessID);
    if (found == stuck.end())
      continue;
    text += base::StringPrintf(
        "\n  %lu, started by %lu: %s", process.th32ProcessID, process.th32ParentProcessID,
        base::Utf16ToUtf8(found->second.empty() ? process.szExeFile : found->second).c_str());
  }
  if (text.empty())
    text = " none";
  if (!options_.installer_temp_folder.empty()) {
    for (const base::FilePath& log : FindInstallerLogs(options_.installer_temp_folder)) {
      std::string log_text;
      base::ReadFileToString(log, &log_text);
      text += "\n==== the end of " + log.BaseName().ToUtf8() + "\n" +
              LastLines(log_text, kLogTailLines);
    }
  }
  return text;
}

// static
bool TestProcess::IsSystemHelper(const std::wstring& image) {
  static const wchar_t* const kHelpers[] = {
      L"conhost.exe",   L"explorer.exe", L"plugplay.exe", L"rpcss.exe",
      L"services.exe",  L"svchost.exe",  L"wineboot.exe", L"winedevice.exe",
      L"winemenubuilder.exe"};
  wchar_t windows[MAX_PATH];
  const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return false;
  // Below the Windows folder, whatever the case of its name.
  const std::wstring prefix = std::wstring(windows, length) + L"\\";
  if (image.size() <= prefix.size() ||
      !base::FilePath::CompareEqualIgnoreCase(std::wstring_view(image).substr(0, prefix.size()),
                                              prefix)) {
    return false;
  }
  const std::wstring name = base::FilePath(image).BaseName().value();
  for (const wchar_t* helper : kHelpers) {
    if (base::FilePath::CompareEqualIgnoreCase(name, helper))
      return true;
  }
  return false;
}

bool PollUntil(const std::function<bool()>& condition, base::TimeDelta timeout) {
  const base::TimeTicks deadline = base::TimeTicks::Now() + timeout;
  while (!condition()) {
    if (base::TimeTicks::Now() > deadline)
      return false;
    ::Sleep(20);
  }
  return true;
}

std::string RunUntilLogged(const std::wstring& command_line,
                           const ProcessOptions& options,
                           const std::function<std::string()>& read_log,
                           const std::string& marker) {
  TestProcess process;
  if (!process.Start(command_line, options))
    return std::string();
  std::string log;
  const bool logged = PollUntil(
      [&] {
        const bool running = process.IsRunning();
        log = read_log();
        return !running || log.find(marker) != std::string::npos;
      },
      options.timeout);
  EXPECT_TRUE(logged) << "no \"" << marker << "\" in the log:\n" << log;
  if (process.IsRunning())
    process.Kill();
  return log;
}

bool TerminateWhenLogged(TestProcess* process,
                         const std::function<bool()>& logged,
                         const std::wstring& child_image,
                         DWORD* ended_pid) {
  bool running = true;
  PollUntil([&] {
    running = process->IsRunning();
    return !running || logged();
  });
  if (!running || !logged()) {
    ADD_FAILURE() << "The run ended before it got to where it was to be ended";
    return false;
  }
  constexpr DWORD kAccess = PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;
  base::win::ScopedHandle target;
  if (child_image.empty()) {
    target.Set(::OpenProcess(kAccess, FALSE, process->pid()));
  } else {
    // The newest, however deep: a program's first child of its own name is its crash
    // reporter, and a backend may hand the work on to a process of its own.
    const std::vector<DWORD> matching = FindDescendantProcesses(process->pid(), child_image);
    uint64_t newest = 0;
    for (DWORD pid : matching) {
      base::win::ScopedHandle child(::OpenProcess(kAccess, FALSE, pid));
      FILETIME created = {}, exited = {}, kernel = {}, user = {};
      if (!child.IsValid() || !::GetProcessTimes(child.Get(), &created, &exited, &kernel, &user))
        continue;
      const uint64_t time = (static_cast<uint64_t>(created.dwHighDateTime) << 32) |
                            created.dwLowDateTime;
      if (time >= newest) {
        newest = time;
        target = std::move(child);
      }
    }
  }
  if (!target.IsValid() || !::TerminateProcess(target.Get(), 1)) {
    ADD_FAILURE() << "Cannot end the process that does the work: " << ::GetLastError();
    return false;
  }
  // Gone, with the list of what it started final, before the test goes on.
  if (::WaitForSingleObject(target.Get(), 10000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "The process that does the work did not end";
    return false;
  }
  if (ended_pid)
    *ended_pid = ::GetProcessId(target.Get());
  return true;
}

std::vector<DWORD> EndChildrenThatNeverRan(
    DWORD parent,
    const std::function<bool(DWORD pid, const std::wstring& image)>& ran,
    base::TimeDelta grace) {
  std::vector<PROCESSENTRY32W> waiting;
  PollUntil(
      [&] {
        waiting.clear();
        for (const PROCESSENTRY32W& process : SnapshotProcesses()) {
          if (process.th32ParentProcessID == parent &&
              !ran(process.th32ProcessID, process.szExeFile)) {
            waiting.push_back(process);
          }
        }
        return waiting.empty();
      },
      grace);
  std::vector<DWORD> ended;
  for (const PROCESSENTRY32W& entry : waiting) {
    base::win::ScopedHandle process(
        ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    // It may have run or ended since.
    if (!process.IsValid() || ran(entry.th32ProcessID, entry.szExeFile) ||
        ::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) {
      continue;
    }
    // On the test's own output, where whoever reads a run sees it.
    fprintf(stderr,
            "WINE FAULT: %s (process %lu), started by the ended process %lu, never ran in "
            "%.0f s; ending it\n",
            base::Utf16ToUtf8(entry.szExeFile).c_str(), entry.th32ProcessID, parent,
            grace.InSecondsF());
    fflush(stderr);
    ::testing::Test::RecordProperty("wine_fault_never_ran", base::Utf16ToUtf8(entry.szExeFile));
    if (::TerminateProcess(process.Get(), kKilledExitCode) &&
        ::WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0) {
      ended.push_back(entry.th32ProcessID);
    } else {
      ADD_FAILURE() << "Cannot end process " << entry.th32ProcessID << ": " << ::GetLastError();
    }
  }
  return ended;
}

ProcessResult RunProcess(const base::CommandLine& command_line, const ProcessOptions& options) {
  return RunProcess(command_line.GetCommandLineString(), options);
}

ProcessResult RunProcess(const std::wstring& command_line, const ProcessOptions& options) {
  TestProcess process;
  if (!process.Start(command_line, options))
    return ProcessResult();
  return process.Wait();
}

ProcessResult RunInstallerExe(
    const std::wstring& arguments,
    const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  ProcessOptions options;
  options.environment = environment;
  return RunProcess(L"\"" + GetTestBinFolder() + L"\\installer.exe\" " + arguments, options);
}

base::FilePath CopyInstallerTo(const base::FilePath& folder, const wchar_t* exe_name) {
  const base::FilePath bin(GetTestBinFolder());
  const base::FilePath exe = folder.Append(exe_name);
  if (!base::CreateDirectory(folder) ||
      !base::CopySingleFile(bin.Append(L"installer.exe"), exe) ||
      !base::CopySingleFile(bin.Append(L"tavro_installer.dll"),
                            folder.Append(L"tavro_installer.dll"))) {
    return base::FilePath();
  }
  return exe;
}

}  // namespace test
}  // namespace installer
