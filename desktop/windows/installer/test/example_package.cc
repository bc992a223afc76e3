#include "desktop/windows/installer/test/example_package.h"

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/test/example_package/stub_names.h"
#include "desktop/windows/installer/test/installer_process.h"

#ifndef TAVRO_NEXT_VERSION
#error TAVRO_NEXT_VERSION must name the version of the next example package
#endif

namespace installer {
namespace test {

namespace {

std::vector<std::string> ReadList(const base::FilePath& path) {
  std::string text;
  if (!base::ReadFileToString(path, &text))
    return {};
  return base::SplitString(text, "\r\n", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY);
}

}  // namespace

ExamplePackage::ExamplePackage(const wchar_t* name,
                               std::string version,
                               std::string internal_version)
    : folder_(base::FilePath(GetTestBinFolder()).Append(L"example_package").Append(name)),
      version_(std::move(version)),
      internal_version_(std::move(internal_version)) {}

ExamplePackage ExamplePackage::Current() {
  return ExamplePackage(L"current", ProductInfo::GetVersion(), ProductInfo::GetInternalVersion());
}

ExamplePackage ExamplePackage::Next() {
  return ExamplePackage(L"next", TAVRO_NEXT_VERSION, TAVRO_NEXT_INTERNAL_VERSION);
}

bool ExamplePackage::IsBuilt() const {
  return base::PathExists(folder_.Append(L"stamp"));
}

std::vector<std::string> ExamplePackage::ReadFilesList() const {
  return ReadList(package_folder().Append(L"files_list"));
}

std::vector<std::string> ExamplePackage::ReadRootFilesList() const {
  return ReadList(package_folder().Append(L"root_files_list"));
}

bool ExamplePackage::CopyTo(const base::FilePath& folder, base::FilePath* package_folder) const {
  const base::FilePath copy = folder.Append(L"package");
  if (!CopyFolder(this->package_folder(), copy) ||
      !CopyFolder(component_folder(), folder.Append(L"suite")) ||
      !base::CopySingleFile(package_installer(), copy.AddExtension(L"exe"))) {
    return false;
  }
  if (package_folder)
    *package_folder = copy;
  return true;
}

bool CopyFolder(const base::FilePath& from, const base::FilePath& to) {
  if (!base::DirectoryExists(from) || !base::CreateDirectory(to)) {
    LOG(ERROR) << "Cannot copy " << from << " to " << to;
    return false;
  }
  base::FileEnumerator entries(from, true,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = entries.Next(); !path.empty(); path = entries.Next()) {
    base::FilePath target = to;
    if (!from.AppendRelativePath(path, &target))
      return false;
    const bool copied = entries.GetInfo().IsDirectory() ? base::CreateDirectory(target)
                                                        : base::CopySingleFile(path, target);
    if (!copied) {
      LOG(ERROR) << "Cannot copy " << path << " to " << target;
      return false;
    }
  }
  return true;
}

std::pair<std::wstring, std::wstring> StubLogEnvironment(const base::FilePath& folder) {
  return {kStubLogFolderVariable, folder.value()};
}

std::pair<std::wstring, std::wstring> StubExitCodeEnvironment(const std::wstring& program,
                                                              int exit_code) {
  return {kStubExitCodeVariablePrefix + StubName(program), std::to_wstring(exit_code)};
}

std::vector<StubInvocation> ReadStubInvocations(const base::FilePath& log_folder) {
  std::vector<StubInvocation> invocations;
  std::string text;
  if (!base::ReadFileToString(log_folder.Append(kStubLogFileName), &text))
    return invocations;
  for (const std::string& line :
       base::SplitString(text, "\n", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
    // A record being written by a stub right now may be incomplete: it lacks its fields.
    const std::vector<std::string> fields =
        base::SplitString(line, "\t", base::KEEP_WHITESPACE, base::SPLIT_WANT_ALL);
    unsigned pid = 0;
    if (fields.size() != 4 || !base::StringToUint(fields[1], &pid))
      continue;
    StubInvocation invocation;
    invocation.program = base::Utf8ToUtf16(fields[0]);
    invocation.pid = pid;
    invocation.working_folder = base::FilePath(base::Utf8ToUtf16(fields[2]));
    invocation.command_line = base::Utf8ToUtf16(fields[3]);
    invocations.push_back(std::move(invocation));
  }
  return invocations;
}

std::vector<StubInvocation> ReadStubInvocations(const base::FilePath& log_folder,
                                                const std::wstring& program) {
  std::vector<StubInvocation> matching;
  for (StubInvocation& invocation : ReadStubInvocations(log_folder)) {
    if (base::FilePath::CompareEqualIgnoreCase(invocation.program, program))
      matching.push_back(std::move(invocation));
  }
  return matching;
}

bool WaitForStubInvocations(const base::FilePath& log_folder,
                            const std::wstring& program,
                            size_t count,
                            base::TimeDelta timeout) {
  const base::TimeTicks deadline = base::TimeTicks::Now() + timeout;
  for (;;) {
    if (ReadStubInvocations(log_folder, program).size() >= count)
      return true;
    if (base::TimeTicks::Now() >= deadline)
      return false;
    ::Sleep(20);
  }
}

StubHold::StubHold(const std::wstring& program)
    : program_(program),
      event_name_(L"Local\\TavroStubHold_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                  base::Utf8ToUtf16(base::Uint64ToString(base::RandUint64()))),
      event_(::CreateEventW(nullptr, TRUE, FALSE, event_name_.c_str())) {
  if (!event_.IsValid())
    PLOG(ERROR) << "Cannot create the event that holds the stubs";
}

StubHold::~StubHold() {
  Release();
}

std::pair<std::wstring, std::wstring> StubHold::GetEnvironment() const {
  return {kStubHoldVariablePrefix + StubName(program_), event_name_};
}

void StubHold::Release() {
  if (event_.IsValid())
    ::SetEvent(event_.Get());
}

}  // namespace test
}  // namespace installer
