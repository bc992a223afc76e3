// autoupdate_server.exe: the end-to-end tests' AutoupdateServer for shell scripts.
//
//   autoupdate_server.exe --package=FILE [--suite-archive=FILE] [--welcome-url=URL]
//                         [--pref-overrides=FILE] [--port-file=FILE] [--stop-file=FILE]
//                         [--stats-file=FILE] [--host-copy=FOLDER\installer.exe]
//
// Serves the package installer FILE (and the component archive) on 127.0.0.1 at a port the
// system picks, prints the port on a line of its own (and writes it to --port-file), then
// serves until it is killed or the --stop-file appears. Every statistics report it receives
// is written to --stats-file, one JSON object per line, the file replaced as reports come.
// --host-copy writes a copy of the build's installer.exe (with its library) whose product
// configuration names this server as the autoupdate server; the file must be called
// "installer.exe".
// Point an installer at it with a test host (test_host.h), or with the switches
// "internal-package-server=<base>divedazaveve/<stream>" and
// "local-pref-default-overrides-server=<base>api/prefs/". Exit code 0 after a stop, 1 when
// it cannot serve.

#include <windows.h>

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/values.h"
#include "desktop/windows/installer/test/autoupdate_server.h"
#include "desktop/windows/installer/test/test_host.h"

namespace {

constexpr DWORD kPollMs = 100;

void Print(const std::string& text) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

// Replaces |path| with |text| in one step, so a reader never sees half a file.
bool WriteFileAtomically(const base::FilePath& path, const std::string& text) {
  const base::FilePath temporary(path.value() + L".tmp");
  if (base::WriteFileFromBuffer(temporary, text.data(), static_cast<int>(text.size())) !=
      static_cast<int>(text.size())) {
    return false;
  }
  if (!::MoveFileExW(temporary.value().c_str(), path.value().c_str(), MOVEFILE_REPLACE_EXISTING)) {
    PLOG(ERROR) << "Cannot replace " << path;
    return false;
  }
  return true;
}

// One line per report: the report's JSON written again without line breaks.
std::string FormatReports(const std::vector<std::string>& reports) {
  std::string text;
  for (const std::string& report : reports) {
    std::string line = report;
    const std::unique_ptr<base::Value> value = base::JsonReader::Read(report);
    if (value)
      base::JsonWriter::Write(*value, &line);
    text += line + "\n";
  }
  return text;
}

}  // namespace

int wmain() {
  base::CommandLine::InitForCurrentProcess();
  const base::CommandLine& command_line = *base::CommandLine::ForCurrentProcess();

  installer::test::AutoupdateServer server;
  if (!server.Start()) {
    Print("cannot listen on 127.0.0.1\n");
    return 1;
  }
  if (!server.SetPackage(command_line.GetSwitchValuePath("package"))) {
    Print("cannot read the package given by --package\n");
    return 1;
  }
  if (command_line.HasSwitch("suite-archive")) {
    installer::test::AutoupdateServer::AdditionalFile suite;
    suite.type = "suite";
    suite.archive = true;
    if (!base::ReadFileToString(command_line.GetSwitchValuePath("suite-archive"), &suite.content)) {
      Print("cannot read the archive given by --suite-archive\n");
      return 1;
    }
    server.AddAdditionalFile(suite);
  }
  if (command_line.HasSwitch("welcome-url"))
    server.SetWelcomeUrl(command_line.GetSwitchValueASCII("welcome-url"));
  if (command_line.HasSwitch("pref-overrides")) {
    std::string overrides;
    if (!base::ReadFileToString(command_line.GetSwitchValuePath("pref-overrides"), &overrides)) {
      Print("cannot read the file given by --pref-overrides\n");
      return 1;
    }
    server.SetPrefOverrides(overrides);
  }

  if (command_line.HasSwitch("host-copy")) {
    const base::FilePath copy = command_line.GetSwitchValuePath("host-copy");
    base::FilePath host;
    if (!installer::test::MakeTestHost(copy.DirName(), {{"urls.autoupdate", server.GetBaseUrl()}},
                                       &host) ||
        !base::FilePath::CompareEqualIgnoreCase(host.value(), copy.value())) {
      Print("cannot make the installer given by --host-copy\n");
      return 1;
    }
  }

  const std::string port = std::to_string(server.http().port());
  Print(port + "\n");
  const base::FilePath port_file = command_line.GetSwitchValuePath("port-file");
  if (!port_file.empty() && !WriteFileAtomically(port_file, port + "\n"))
    return 1;

  const base::FilePath stop_file = command_line.GetSwitchValuePath("stop-file");
  const base::FilePath stats_file = command_line.GetSwitchValuePath("stats-file");
  size_t reports_written = 0;
  for (;;) {
    ::Sleep(kPollMs);
    const std::vector<std::string> reports = server.GetStatsReports();
    if (!stats_file.empty() && reports.size() != reports_written &&
        WriteFileAtomically(stats_file, FormatReports(reports))) {
      reports_written = reports.size();
    }
    if (!stop_file.empty() && base::PathExists(stop_file))
      break;
  }
  server.Stop();
  return 0;
}
