#include "desktop/windows/installer/test/server_install_e2e_test.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/strings/string_util.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/snapshot_difference.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
}  // namespace

void ServerInstallE2eTest::SetUp() {
  InstallerE2eTest::SetUp();
  registry_before_ = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
}

void ServerInstallE2eTest::TearDown() {
  RestoreValue(L"Software\\Tavro Software", L"Last Stable Install Path");
  DeleteAddedRegistryEntries(registry_before_);
}

void ServerInstallE2eTest::ExpectRegistryUnchanged() const {
  const std::vector<SnapshotDifference> differences = CompareSnapshots(
      registry_before_, RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots()),
      RegistrySnapshot::DefaultAllowList());
  EXPECT_TRUE(differences.empty()) << FormatDifferences(differences);
}

void ServerInstallE2eTest::ExpectDownloadFolderClean() const {
  for (const std::wstring& path : TreeSnapshot::Capture(download_folder()).GetFilePaths()) {
    EXPECT_TRUE(base::EndsWith(path, L".log", base::CompareCase::SENSITIVE) &&
                path.find(L'\\') == std::wstring::npos)
        << "left in the download folder: " << path;
  }
}

void ServerInstallE2eTest::Uninstall() {
  const base::FilePath installer =
      install_folder().AppendASCII(ExamplePackage::Current().version()).Append(L"installer.exe");
  const ProcessResult run =
      RunProcess(L"\"" + installer.value() + L"\" --uninstall --silent", MakeProcessOptions());
  EXPECT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  EXPECT_FALSE(base::PathExists(install_folder().Append(L"launcher.exe")));
  EXPECT_EQ(std::wstring(), FindUninstallEntry(install_folder()));
}

std::unique_ptr<base::DictionaryValue> ServerInstallE2eTest::LastStatsReport() {
  const std::vector<std::string> reports = server().GetStatsReports();
  std::unique_ptr<base::DictionaryValue> report;
  if (!reports.empty())
    report = base::DictionaryValue::From(base::JsonReader::Read(reports.back()));
  EXPECT_TRUE(report) << "no statistics reached the server\n" << ReadLogs();
  return report ? std::move(report) : std::make_unique<base::DictionaryValue>();
}

void ServerInstallE2eTest::RestoreValue(const std::wstring& key, const std::wstring& name) const {
  base::win::RegistryKey current(HKEY_CURRENT_USER, key.c_str(), KEY_SET_VALUE);
  if (!current.Valid())
    return;
  const RegistrySnapshot::Value* before = registry_before_.FindValue(L"HKCU\\" + key, name);
  if (before) {
    EXPECT_EQ(ERROR_SUCCESS, current.WriteValue(name.c_str(), before->data.data(),
                                                static_cast<DWORD>(before->data.size()),
                                                before->type));
  } else {
    current.DeleteValue(name.c_str());
  }
}

std::wstring FindUninstallEntry(const base::FilePath& folder) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (base::win::RegistryKeyIterator it(root, kUninstallKey, KEY_WOW64_32KEY); it.Valid();
         ++it) {
      const std::wstring path = std::wstring(kUninstallKey) + L"\\" + it.Name();
      const base::win::RegistryKey entry(root, path.c_str(), KEY_READ | KEY_WOW64_32KEY);
      std::wstring location;
      if (entry.ReadValue(L"InstallLocation", &location) == ERROR_SUCCESS &&
          base::FilePath::CompareEqualIgnoreCase(location, folder.value())) {
        return it.Name();
      }
    }
  }
  return std::wstring();
}

}  // namespace test
}  // namespace installer
