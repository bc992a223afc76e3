#include "desktop/windows/installer/test/installer_e2e_test.h"

#include "base/files/file_util.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/test_host.h"

namespace installer {
namespace test {

InstallerE2eTest::InstallerE2eTest() = default;

InstallerE2eTest::~InstallerE2eTest() = default;

void InstallerE2eTest::SetUp() {
  ASSERT_TRUE(ExamplePackage::Current().IsBuilt()) << "the build made no example package";
  ASSERT_TRUE(root_.CreateUniqueTempDir());
  temp_folder_ = root_.GetPath().Append(L"temp");
  stub_log_folder_ = root_.GetPath().Append(L"stubs");
  work_folder_ = root_.GetPath().Append(L"work");
  for (const base::FilePath& folder : {temp_folder_, stub_log_folder_, work_folder_})
    ASSERT_TRUE(base::CreateDirectory(folder));
  ASSERT_TRUE(server_.Start());
  ASSERT_TRUE(server_.SetPackage(ExamplePackage::Current().package_installer()));
  ASSERT_TRUE(MakeTestHost(root_.GetPath().Append(L"host"),
                           {{"urls.autoupdate", server_.GetBaseUrl()}}, &host_));
}

ProcessOptions InstallerE2eTest::MakeProcessOptions() const {
  ProcessOptions options;
  options.environment = {{L"TEMP", temp_folder_.value()},
                         {L"TMP", temp_folder_.value()},
                         StubLogEnvironment(stub_log_folder_)};
  options.installer_temp_folder = temp_folder_;
  return options;
}

ProcessResult InstallerE2eTest::RunHost(const std::wstring& arguments) {
  return RunHost(arguments, MakeProcessOptions());
}

ProcessResult InstallerE2eTest::RunHost(const std::wstring& arguments,
                                        const ProcessOptions& options) {
  return RunProcess(L"\"" + host_.value() + L"\" " + arguments, options);
}

std::string InstallerE2eTest::ReadLogs() const {
  return ReadAllInstallerLogs(temp_folder_);
}

std::vector<StubInvocation> InstallerE2eTest::ReadStubInvocations(
    const std::wstring& program) const {
  return test::ReadStubInvocations(stub_log_folder_, program);
}

}  // namespace test
}  // namespace installer
