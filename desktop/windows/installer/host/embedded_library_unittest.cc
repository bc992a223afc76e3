// installer.exe run as the one file a user downloads: alone in a folder, signed, with a
// payload, several at once, against a tampered copy of its library, and beside a library,
// elevated and not.

#include <bcrypt.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/process/launch.h"
#include "base/time/time.h"
#include "base/test/scoped_environment.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_owner.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/service/pe_image.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/signature.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Generous: a cold Wine process start with the library written out takes well under a
// second; only a hang comes near this.
constexpr DWORD kDeadlineMs = 60000;

base::FilePath BinFolder() {
  return base::FilePath(test::GetTestBinFolder());
}

struct AlgorithmTraits : base::win::NullIsInvalid<BCRYPT_ALG_HANDLE> {
  static void Free(BCRYPT_ALG_HANDLE algorithm) { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
};

std::string HexSha256(const std::string& bytes) {
  BCRYPT_ALG_HANDLE raw_algorithm = nullptr;
  if (!BCRYPT_SUCCESS(
          ::BCryptOpenAlgorithmProvider(&raw_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return std::string();
  }
  base::win::ScopedOwner<AlgorithmTraits> algorithm(raw_algorithm);
  unsigned char digest[32] = {};
  if (!BCRYPT_SUCCESS(::BCryptHash(algorithm.Get(), nullptr, 0,
                                   reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                   static_cast<ULONG>(bytes.size()), digest, sizeof(digest)))) {
    return std::string();
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

// Whether |token| is elevated.
bool IsElevated(HANDLE token) {
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated;
}

bool IsThisProcessElevated() {
  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw_token))
    return false;
  const base::win::ScopedHandle token(raw_token);
  return IsElevated(token.Get());
}

// Starts |command_line| as this user without elevation: with the limited token linked to
// this process's elevated one (Wine gives every process an elevated token, and its linked
// token can start processes). Its standard output and error go to |output|, an inheritable
// handle. An invalid process when there is no such token.
base::Process LaunchLimited(std::wstring command_line, HANDLE output) {
  HANDLE raw_token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw_token))
    return base::Process();
  const base::win::ScopedHandle token(raw_token);
  TOKEN_LINKED_TOKEN linked = {};
  DWORD size = 0;
  if (!::GetTokenInformation(token.Get(), TokenLinkedToken, &linked, sizeof(linked), &size))
    return base::Process();
  const base::win::ScopedHandle limited(linked.LinkedToken);
  if (IsElevated(limited.Get()))
    return base::Process();
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION information = {};
  if (!::CreateProcessAsUserW(limited.Get(), nullptr, &command_line[0], nullptr, nullptr, TRUE, 0,
                              nullptr, nullptr, &startup, &information)) {
    return base::Process();
  }
  const base::win::ScopedHandle thread(information.hThread);
  return base::Process(information.hProcess);
}

// Who a host runs as: as this process (elevated under Wine), or LaunchLimited.
enum class Token { kThisProcess, kLimited };

// One run of a host, its standard output and error in a file, its user temporary folder
// set to |temp|.
class HostRun {
 public:
  HostRun(const base::FilePath& exe,
          const std::wstring& arguments,
          const base::FilePath& temp,
          const base::FilePath& output_path,
          Token token)
      : output_path_(output_path) {
    base::File output(output_path, base::File::FLAG_CREATE_ALWAYS | base::File::FLAG_READ |
                                       base::File::FLAG_WRITE);
    if (!output.IsValid())
      return;
    if (token == Token::kLimited) {
      const base::test::ScopedEnvironment environment(
          {{"TMP", temp.ToUtf8()}, {"TEMP", temp.ToUtf8()}});
      HANDLE raw_inheritable = nullptr;
      if (!::DuplicateHandle(::GetCurrentProcess(), output.GetPlatformFile(), ::GetCurrentProcess(),
                             &raw_inheritable, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return;
      }
      const base::win::ScopedHandle inheritable(raw_inheritable);
      process_ = LaunchLimited(L"\"" + exe.value() + L"\" " + arguments, inheritable.Get());
      return;
    }
    base::LaunchOptions options;
    options.stdout_handle = output.GetPlatformFile();
    options.stderr_handle = output.GetPlatformFile();
    options.environment = {{L"TMP", temp.value()}, {L"TEMP", temp.value()}};
    process_ = base::LaunchProcess(L"\"" + exe.value() + L"\" " + arguments, options);
  }

  // Waits for the end, at most kDeadlineMs; a host still running then is ended and the
  // run fails.
  bool Finish() {
    if (!process_.IsValid())
      return false;
    if (!process_.WaitForExitWithTimeout(kDeadlineMs, &exit_code_)) {
      process_.Terminate(1);
      return false;
    }
    return base::ReadFileToString(output_path_, &output_);
  }

  DWORD exit_code() const { return exit_code_; }
  const std::string& output() const { return output_; }

 private:
  base::FilePath output_path_;
  base::Process process_;
  DWORD exit_code_ = 0;
  std::string output_;
};

class SingleFileHostTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    app_ = temp_dir_.GetPath().Append(L"app");
    user_temp_ = temp_dir_.GetPath().Append(L"user temp");
    ASSERT_TRUE(base::CreateDirectory(app_));
    ASSERT_TRUE(base::CreateDirectory(user_temp_));
    ASSERT_TRUE(base::ReadFileToString(BinFolder().Append(L"tavro_installer.dll"), &library_));
    const std::string sha256 = HexSha256(library_);
    ASSERT_EQ(64u, sha256.size());
    private_folder_ =
        user_temp_.Append(L"tavro_installer_" + std::wstring(sha256.begin(), sha256.end()));
  }

  // Puts |source| into the app folder as installer.exe, alone. A run with a crash reporter
  // (the help) leaves that copy of the program running for a moment after its end.
  void PlaceInstaller(const base::FilePath& source) {
    const base::TimeTicks deadline = base::TimeTicks::Now() + base::TimeDelta::FromSeconds(30);
    while (!base::CopySingleFile(source, app_.Append(L"installer.exe"))) {
      ASSERT_LT(base::TimeTicks::Now(), deadline) << "installer.exe stays in use";
      ::Sleep(50);
    }
  }

  HostRun Start(const std::wstring& arguments,
                const base::FilePath& temp,
                Token token = Token::kThisProcess) {
    return HostRun(app_.Append(L"installer.exe"), arguments, temp,
                   temp_dir_.GetPath().Append(L"output" + std::to_wstring(++runs_) + L".txt"),
                   token);
  }

  // Runs the placed installer to its end; the output, or "(no end)" when it did not end.
  std::string Run(const std::wstring& arguments, DWORD expected_exit_code = 0) {
    return RunWithTemp(arguments, user_temp_, expected_exit_code);
  }
  std::string RunWithTemp(const std::wstring& arguments,
                          const base::FilePath& temp,
                          DWORD expected_exit_code = 0,
                          Token token = Token::kThisProcess) {
    HostRun run = Start(arguments, temp, token);
    if (!run.Finish())
      return "(no end)";
    EXPECT_EQ(expected_exit_code, run.exit_code()) << arguments << ": " << run.output();
    return run.output();
  }

  // Run without elevation.
  std::string RunLimited(const std::wstring& arguments) {
    return RunWithTemp(arguments, user_temp_, 0, Token::kLimited);
  }

  // The informational answers and the help of a host that runs the real library.
  void ExpectAnswers() {
    EXPECT_EQ(ProductInfo::GetVersion(), Run(L"--version"));
    EXPECT_EQ(ProductInfo::GetInternalVersion(), Run(L"--internal-version"));
    EXPECT_EQ(ProductInfo::GetStream(), Run(L"--stream"));
    const std::string help = Run(L"--help");
    EXPECT_EQ(0u, help.find("Tavro Installer " + ProductInfo::GetVersion())) << help;
    EXPECT_NE(std::string::npos, help.find("  launchbrowser=[0|1]\r\n"));
  }

  // The names in the private folder.
  std::vector<std::wstring> PrivateFolderContents() {
    std::vector<std::wstring> names;
    base::FileEnumerator files(private_folder_, false,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES,
                               L"*");
    for (base::FilePath name = files.Next(); !name.empty(); name = files.Next())
      names.push_back(name.BaseName().value());
    return names;
  }

  std::string PrivateLibrary() {
    std::string bytes;
    base::ReadFileToString(private_folder_.Append(L"tavro_installer.dll"), &bytes);
    return bytes;
  }

  base::ScopedTempDir temp_dir_;
  base::FilePath app_;
  base::FilePath user_temp_;
  base::FilePath private_folder_;
  std::string library_;
  int runs_ = 0;
};

TEST_F(SingleFileHostTest, LoneInstallerRunsItsOwnLibraryFromAPrivateFolder) {
  PlaceInstaller(BinFolder().Append(L"installer.exe"));
  ExpectAnswers();
  // Written once, named by its SHA-256, byte for byte the build's library; no temporary
  // file left behind.
  EXPECT_EQ(std::vector<std::wstring>{L"tavro_installer.dll"}, PrivateFolderContents());
  EXPECT_TRUE(PrivateLibrary() == library_);
}

TEST_F(SingleFileHostTest, SignedInstallersWithPayloadsStillRunAlone) {
  // The shape of a published package installer: the package appended, then signed by the
  // expected signer, so that the signature covers the payload.
  const base::FilePath fixtures = BinFolder().Append(L"payload_fixtures");
  PlaceInstaller(fixtures.Append(L"expected_full_covered.exe"));
  ExpectAnswers();
  const base::FilePath installer = app_.Append(L"installer.exe");
  EXPECT_TRUE(VerifySigner(installer));
  bool has_table = false;
  EXPECT_TRUE(HasCertificateTable(installer, &has_table));
  EXPECT_TRUE(has_table);
  {
    PayloadReader reader(installer);
    EXPECT_EQ(PayloadType::kFullPackage, reader.type());
  }

  // Tracking data appended after the signature.
  PlaceInstaller(fixtures.Append(L"signed_tracking_appended.exe"));
  EXPECT_EQ(ProductInfo::GetVersion(), Run(L"--version"));
  PayloadReader reader(installer);
  EXPECT_EQ(PayloadType::kTrackingData, reader.type());
}

TEST_F(SingleFileHostTest, CopiesStartedAtOnceAllRunOneLibrary) {
  PlaceInstaller(BinFolder().Append(L"installer.exe"));
  std::vector<std::unique_ptr<HostRun>> runs;
  for (int i = 0; i < 6; ++i) {
    runs.push_back(std::make_unique<HostRun>(
        app_.Append(L"installer.exe"), L"--internal-version", user_temp_,
        temp_dir_.GetPath().Append(L"parallel" + std::to_wstring(i) + L".txt"),
        Token::kThisProcess));
  }
  for (auto& run : runs) {
    ASSERT_TRUE(run->Finish());
    EXPECT_EQ(0u, run->exit_code()) << run->output();
    EXPECT_EQ(ProductInfo::GetInternalVersion(), run->output());
  }
  EXPECT_EQ(std::vector<std::wstring>{L"tavro_installer.dll"}, PrivateFolderContents());
  EXPECT_TRUE(PrivateLibrary() == library_);
}

TEST_F(SingleFileHostTest, TamperedLibraryIsReplacedNotLoaded) {
  PlaceInstaller(BinFolder().Append(L"installer.exe"));
  // Another library where the host keeps its own: loaded, it would print its path.
  ASSERT_TRUE(base::CreateDirectory(private_folder_));
  const base::FilePath marker = BinFolder().Append(L"host_test_marker_library.dll");
  ASSERT_TRUE(base::CopySingleFile(marker, private_folder_.Append(L"tavro_installer.dll")));
  EXPECT_EQ(ProductInfo::GetVersion(), Run(L"--version"));
  EXPECT_TRUE(PrivateLibrary() == library_);

  // The right length with one byte changed is caught as well.
  std::string changed = library_;
  changed[changed.size() / 2] ^= 0x5A;
  ASSERT_EQ(static_cast<int>(changed.size()),
            base::WriteFileFromBuffer(private_folder_.Append(L"tavro_installer.dll"),
                                      changed.data(), static_cast<int>(changed.size())));
  EXPECT_EQ(ProductInfo::GetStream(), Run(L"--stream"));
  EXPECT_TRUE(PrivateLibrary() == library_);
  EXPECT_EQ(std::vector<std::wstring>{L"tavro_installer.dll"}, PrivateFolderContents());
}

// An elevated host (every Wine process is one) runs the library it carries, whatever lies
// beside it: a library signed with the host's own certificate, or an unsigned one beside an
// unsigned host. A user may have put either there.
TEST_F(SingleFileHostTest, AnElevatedHostRunsOnlyTheLibraryItCarries) {
  ASSERT_TRUE(IsThisProcessElevated());
  const base::FilePath fixtures = BinFolder().Append(L"host_fixtures");
  const base::FilePath beside = app_.Append(L"tavro_installer.dll");
  PlaceInstaller(fixtures.Append(L"installer.exe"));
  ASSERT_TRUE(base::CopySingleFile(fixtures.Append(L"signed_same.dll"), beside));
  EXPECT_EQ(ProductInfo::GetVersion(), Run(L"--version"));
  EXPECT_TRUE(PrivateLibrary() == library_);

  PlaceInstaller(BinFolder().Append(L"installer.exe"));
  ASSERT_TRUE(base::CopySingleFile(BinFolder().Append(L"host_test_marker_library.dll"), beside));
  EXPECT_EQ(ProductInfo::GetVersion(), Run(L"--version"));
}

// Run without elevation, a host takes the library beside it only when it is signed with the
// very certificate that signed the host: not with another certificate of the same name, nor
// by another signer, nor changed since it was signed, nor beside an unsigned host. Either
// way a library loaded by its bare name comes from the system folder, never from the host's.
TEST_F(SingleFileHostTest, ALimitedHostTakesOnlyALibrarySignedWithItsOwnCertificate) {
  const base::FilePath fixtures = BinFolder().Append(L"host_fixtures");
  const base::FilePath beside = app_.Append(L"tavro_installer.dll");
  const base::FilePath planted = app_.Append(L"planted_system_library.dll");
  PlaceInstaller(fixtures.Append(L"installer.exe"));
  ASSERT_TRUE(base::CopySingleFile(BinFolder().Append(L"planted_system_library.dll"), planted));
  ASSERT_TRUE(base::CopySingleFile(fixtures.Append(L"signed_same.dll"), beside));
  EXPECT_EQ("marker library: " + beside.ToUtf8(), RunLimited(L"--version"));
  EXPECT_FALSE(base::PathExists(base::FilePath(planted.value() + L".loaded")));
  {
    // Nobody can swap the folder that holds the checked library while the host uses it.
    const base::test::ScopedEnvironment rename(
        std::vector<std::pair<std::string, std::string>>{{"TAVRO_TEST_RENAME_OWN_FOLDER", "1"}});
    EXPECT_EQ("marker library: " + beside.ToUtf8() + " (folder held)", RunLimited(L"--version"));
  }
  // Nothing was written out.
  EXPECT_FALSE(base::PathExists(private_folder_));

  for (const wchar_t* foreign : {L"signed_same_name.dll", L"signed_other.dll"}) {
    ASSERT_TRUE(base::CopySingleFile(fixtures.Append(foreign), beside));
    EXPECT_EQ(ProductInfo::GetVersion(), RunLimited(L"--version")) << foreign;
  }
  std::string changed;
  ASSERT_TRUE(base::ReadFileToString(fixtures.Append(L"signed_same.dll"), &changed));
  changed[changed.size() / 2] ^= 0x5A;
  ASSERT_EQ(static_cast<int>(changed.size()),
            base::WriteFileFromBuffer(beside, changed.data(), static_cast<int>(changed.size())));
  EXPECT_EQ(ProductInfo::GetVersion(), RunLimited(L"--version"));

  PlaceInstaller(BinFolder().Append(L"installer.exe"));
  ASSERT_TRUE(base::CopySingleFile(fixtures.Append(L"signed_same.dll"), beside));
  EXPECT_EQ(ProductInfo::GetVersion(), RunLimited(L"--version"));
  EXPECT_TRUE(PrivateLibrary() == library_);
}

TEST_F(SingleFileHostTest, UnusablePrivateFolderFailsClearly) {
  PlaceInstaller(BinFolder().Append(L"installer.exe"));
  // A temporary folder that does not exist.
  std::string output = RunWithTemp(L"--version", temp_dir_.GetPath().Append(L"missing\\deeper"), 1);
  EXPECT_EQ(0u, output.find("installer: cannot create the folder ")) << output;
  EXPECT_EQ(std::string::npos, output.find(ProductInfo::GetVersion()));

  // A file where the private folder belongs.
  ASSERT_EQ(1, base::WriteFileFromBuffer(private_folder_, "x", 1));
  output = Run(L"--version", 1);
  EXPECT_NE(std::string::npos, output.find("is not a plain folder")) << output;
  EXPECT_EQ(std::string::npos, output.find(ProductInfo::GetVersion()));
}

}  // namespace
}  // namespace installer
