#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_H_

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/process/process.h"
#include "base/synchronization/lock.h"
#include "base/threading/os_thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

// The folder of the running test executable (the build's bin folder, which also holds
// installer.exe and the library).
std::wstring GetTestBinFolder();

// How a test runs a program. Every run has a deadline: a program still running then is
// ended, with everything it started, and the test fails showing what it printed.
struct ProcessOptions {
  // Changes to the test's environment for the program: each name set to its value, or
  // removed when the value is empty.
  std::vector<std::pair<std::wstring, std::wstring>> environment;
  // Empty: the test's own.
  base::FilePath current_directory;
  base::TimeDelta timeout = base::TimeDelta::FromSeconds(120);
  // Wait also for every process the program started (a backend, an elevated copy, a
  // clean-up batch) to end, within the same deadline; off when a test keeps one running.
  bool wait_for_started_processes = true;
  // The TEMP folder of the program's runs, when it is an installer: a run past its deadline
  // fails with the end of each installer log there, which says what it was waiting for.
  base::FilePath installer_temp_folder;
};

struct ProcessResult {
  bool started = false;
  bool timed_out = false;
  unsigned long exit_code = 0;
  std::string output;  // Standard output and standard error together.

  // Started, ended in time and returned 0.
  bool Succeeded() const { return started && !timed_out && exit_code == 0; }
  // What happened and what the program printed, for failure messages.
  std::string Describe() const;
};

// A program a test runs, in a job object of its own: whatever it starts joins the job, and
// Kill or the destructor end them all. (What it has started through WMI or the task
// scheduler is not its own, nor are the system's helpers; they are neither waited for nor
// ended.) Its output is read as it
// comes, so that it never blocks on a full pipe. Used from the test's thread only.
//
//   base::CommandLine command_line(browser_path);
//   command_line.AppendSwitch("flag");
//   TestProcess browser;
//   ASSERT_TRUE(browser.Start(command_line, options));
//   ... act while it runs ...
//   ProcessResult result = browser.Wait();
class TestProcess : private base::OsThread::Delegate {
 public:
  TestProcess();
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;
  ~TestProcess() override;

  // Starts the program of |command_line|; the deadline of |options| starts now. False, with
  // a test failure, when it cannot start or a program already runs.
  bool Start(const base::CommandLine& command_line, const ProcessOptions& options);
  // The same with the command line as text, passed to the program unchanged.
  bool Start(const std::wstring& command_line, const ProcessOptions& options);

  // Waits for the program (and, as the options say, what it started) until the deadline.
  // Past it everything in the job is ended and the test fails with the output.
  ProcessResult Wait();

  // Ends the program and everything it started.
  void Kill();

  bool IsRunning() const;
  DWORD pid() const { return process_.Pid(); }
  // What it has printed so far.
  std::string GetOutput() const;

 private:
  void ThreadMain() override;
  // Stops the output reader once it has taken what is there.
  void StopReader();
  struct JobProcess {
    DWORD pid = 0;
    std::wstring image;
  };
  // The processes in the job but the system's helpers.
  std::vector<JobProcess> GetOwnJobProcesses() const;
  // What a run past its deadline left running (each process of the job or started by the
  // program, with its parent) and the end of its logs, for the failure message.
  std::string DescribeStuckRun() const;
  // Processes that the system starts on a program's behalf and that outlive it (Wine starts
  // its desktop shell and services for the first program of a session that needs them;
  // console hosts): they belong to the session, not to the test, and are neither waited for
  // nor ended.
  static bool IsSystemHelper(const std::wstring& image);

  std::wstring program_name_;
  ProcessOptions options_;
  base::TimeTicks deadline_;
  base::win::ScopedHandle job_;
  base::Process process_;
  base::win::ScopedHandle output_;
  base::win::ScopedHandle reader_thread_;
  std::atomic<bool> stop_reader_{false};
  std::atomic<bool> output_closed_{false};
  mutable base::Lock lock_;
  std::string output_text_;  // Under |lock_|.
};

// The processes that |parent| started and that still run; with a non-empty |image|, only
// those whose program file is named so ("cmd.exe", any letter case).
std::vector<DWORD> FindChildProcesses(DWORD parent, const std::wstring& image = std::wstring());

// The processes that |ancestor| started, and those they started, that still run; with a
// non-empty |image|, only those whose program file is named so.
std::vector<DWORD> FindDescendantProcesses(DWORD ancestor, const std::wstring& image);

// The running processes whose program file is |program|, whoever started them.
std::vector<DWORD> FindProcessesOfProgram(const base::FilePath& program);

// Waits up to |grace| for the processes that this process started from program files named
// |image| to end, then ends those left with all they started: whether all are gone.
bool EndChildProcessTrees(const std::wstring& image, base::TimeDelta grace);

// Tests |condition| every few milliseconds, without running a message loop, until it holds;
// false when it did not within |timeout|.
bool PollUntil(const std::function<bool()>& condition,
               base::TimeDelta timeout = base::TimeDelta::FromSeconds(120));

// Runs |command_line| until |read_log| returns a log that holds |marker|, or until it ends;
// a run still going then (waiting in its window, say) is ended with what it started. The
// log at that point.
std::string RunUntilLogged(const std::wstring& command_line,
                           const ProcessOptions& options,
                           const std::function<std::string()>& read_log,
                           const std::string& marker);

// Waits while |process| runs until |logged| holds (a line in its log, say), then ends the
// process that does the work as Windows ends one, with TerminateProcess and exit code 1:
// |process| itself, or with |child_image| the newest process of that name that it started,
// and waits until it is gone. False, with a test failure, when |process| ended first or there
// was no such process. |ended_pid|, when given, receives the id of the process ended.
bool TerminateWhenLogged(TestProcess* process,
                         const std::function<bool()>& logged,
                         const std::wstring& child_image = std::wstring(),
                         DWORD* ended_pid = nullptr);

// Meant for after the process |parent| was ended: waits up to |grace| until each process it
// had started has ended or shown by |ran| (given its id and program file name) that it runs;
// then ends those that still did not, warning loudly of each. Under Wine a process whose
// parent is ended while it starts it may never run nor end (on Windows it runs to its end):
// such a process is no fault of the program under test. One that ran is left alone, for
// the test to wait for. The ids of the processes ended.
std::vector<DWORD> EndChildrenThatNeverRan(
    DWORD parent,
    const std::function<bool(DWORD pid, const std::wstring& image)>& ran,
    base::TimeDelta grace);

// Runs |command_line| and waits for it as TestProcess::Wait does.
ProcessResult RunProcess(const base::CommandLine& command_line,
                         const ProcessOptions& options = ProcessOptions());
ProcessResult RunProcess(const std::wstring& command_line,
                         const ProcessOptions& options = ProcessOptions());

// Runs build/bin/installer.exe with |arguments| (already quoted) and waits for it; the
// environment changes are applied to the child only.
ProcessResult RunInstallerExe(
    const std::wstring& arguments,
    const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});

// Copies the host and the library of the build into |folder| (made when missing), the host
// under |exe_name|. Returns the path of the host's copy, empty on failure.
base::FilePath CopyInstallerTo(const base::FilePath& folder, const wchar_t* exe_name);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_H_
