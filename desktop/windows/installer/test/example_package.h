#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_EXAMPLE_PACKAGE_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_EXAMPLE_PACKAGE_H_

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

// The example browser package the build makes from its own outputs
// (tools/make_example_package.sh describes the layout), in two versions: Current() is
// this build's, Next() a higher one for upgrades. The built files are shared by every
// test: run and change a copy (CopyTo), never the files themselves.
class ExamplePackage {
 public:
  static ExamplePackage Current();
  static ExamplePackage Next();

  // Whether the build made it.
  bool IsBuilt() const;

  // The four-part version of its installer ("7.4.3105.12") and the internal one ("92.3").
  const std::string& version() const { return version_; }
  const std::string& internal_version() const { return internal_version_; }

  // The unpacked package, with installer.exe, files_list, root_files_list, ...
  base::FilePath package_folder() const { return folder_.Append(L"package"); }
  // The folder of the component "suite", a sibling of the package folder.
  base::FilePath component_folder() const { return folder_.Append(L"suite"); }
  // The package folder as a 7z archive.
  base::FilePath archive() const { return folder_.Append(L"package.7z"); }
  // The host with the archive as its full-package payload, signed.
  base::FilePath package_installer() const { return folder_.Append(L"package_installer.exe"); }
  // The self-extracting archive of the component "suite", signed.
  base::FilePath suite_archive() const { return folder_.Append(L"suite_sfx.exe"); }

  // The entries of "files_list" and "root_files_list" (UTF-8, backslashes).
  std::vector<std::string> ReadFilesList() const;
  std::vector<std::string> ReadRootFilesList() const;

  // Copies the package folder and the component folder into |folder| as "package" and
  // "suite", and the package's installer beside them as "package.exe", named after the
  // folder as the front end names the file it unpacks; the copy's package folder goes to
  // |package_folder| (may be null).
  bool CopyTo(const base::FilePath& folder, base::FilePath* package_folder) const;

 private:
  ExamplePackage(const wchar_t* name, std::string version, std::string internal_version);

  base::FilePath folder_;
  std::string version_;
  std::string internal_version_;
};

// Copies the folder |from| with everything below it to |to| (created); false on the first
// failure.
bool CopyFolder(const base::FilePath& from, const base::FilePath& to);

// The stub programs of the package (browser, launcher, component installer, pin helper)
// record every run in "stub_invocations.log" of the folder named by TAVRO_STUB_LOG_DIR;
// the environment below steers them. See stub_program.cc.
struct StubInvocation {
  std::wstring program;  // The file name it ran as ("tavro.exe").
  DWORD pid = 0;
  base::FilePath working_folder;
  std::wstring command_line;

  base::CommandLine GetCommandLine() const { return base::CommandLine::FromString(command_line); }
};

// The environment entry that sends the stubs' records to |folder|.
std::pair<std::wstring, std::wstring> StubLogEnvironment(const base::FilePath& folder);
// The environment entry that makes the stub running as |program| ("suite_installer.exe")
// exit with |exit_code| instead of doing its work.
std::pair<std::wstring, std::wstring> StubExitCodeEnvironment(const std::wstring& program,
                                                              int exit_code);

// The runs recorded in |log_folder|, in the order they started.
std::vector<StubInvocation> ReadStubInvocations(const base::FilePath& log_folder);
// Those of |program| only.
std::vector<StubInvocation> ReadStubInvocations(const base::FilePath& log_folder,
                                                const std::wstring& program);

// Waits until |program| has recorded its |count|-th run in |log_folder|, for |timeout| at
// most; false when it did not.
bool WaitForStubInvocations(const base::FilePath& log_folder,
                            const std::wstring& program,
                            size_t count,
                            base::TimeDelta timeout);

// Keeps the stubs running as |program| alive after they recorded their run (a browser
// "in use"), until Release or destruction.
//
//   StubHold hold(L"tavro.exe");
//   options.environment.push_back(hold.GetEnvironment());
class StubHold {
 public:
  explicit StubHold(const std::wstring& program);
  StubHold(const StubHold&) = delete;
  StubHold& operator=(const StubHold&) = delete;
  ~StubHold();

  bool IsValid() const { return event_.IsValid(); }
  std::pair<std::wstring, std::wstring> GetEnvironment() const;
  // Lets the held stubs end.
  void Release();

 private:
  std::wstring program_;
  std::wstring event_name_;
  base::win::ScopedHandle event_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_EXAMPLE_PACKAGE_H_
