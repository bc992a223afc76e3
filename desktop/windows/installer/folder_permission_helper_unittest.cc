#include "desktop/windows/installer/folder_permission_helper.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "base/path_registry.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/folder_link.h"
#include "base/test/scoped_environment.h"
#include "base/test/scoped_log_capture.h"
#include "base/test/scoped_path_override.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "base/win/registry.h"
#include "base/win/scoped_local_alloc.h"
#include "desktop/windows/installer/cleanup_batch.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/named_objects.h"
#include "desktop/windows/installer/service/object_security.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/secure_named_object.h"
#include "desktop/windows/installer/service/user_names.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// An installer's event of the folder, made as the installer makes it (manual reset here).
base::win::ScopedHandle CreateEvent(const base::FilePath& folder, const wchar_t* base_name,
                                    bool global) {
  return std::move(
      CreateNamedEvent(MakeObjectName(folder, base_name, global), true, IfExists::kRefuse, false)
          .handle);
}

// The helper's command line as an installer in this process would write it.
base::CommandLine HelperCommandLine(const base::FilePath& folder,
                                    const std::wstring& user = GetCurrentUserName(),
                                    DWORD requester = ::GetCurrentProcessId()) {
  base::CommandLine command_line(base::FilePath(L"installer.exe"));
  command_line.AppendSwitchPath("set-folder-permission", folder);
  command_line.AppendSwitchNative("permissions-for-user", user);
  if (requester)
    command_line.AppendSwitchASCII("parent-pid", std::to_string(requester));
  return command_line;
}

// A process of this user that runs until the test ends it (or a minute has passed).
base::win::ScopedHandle StartRequester() {
  wchar_t system_folder[MAX_PATH] = {};
  ::GetSystemDirectoryW(system_folder, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(system_folder) + L"\\ping.exe\" -n 60 127.0.0.1";
  STARTUPINFOW startup = {sizeof(startup)};
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
    return base::win::ScopedHandle();
  }
  ::CloseHandle(info.hThread);
  return base::win::ScopedHandle(info.hProcess);
}

// The folder's access list as text ("D:..."), empty when it cannot be read.
std::wstring ReadDacl(const base::FilePath& folder) {
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  if (::GetNamedSecurityInfoW(folder.value().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr,
                              &raw_descriptor) != ERROR_SUCCESS) {
    return std::wstring();
  }
  base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  LPWSTR raw_text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor.Get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &raw_text, nullptr)) {
    return std::wstring();
  }
  base::win::ScopedLocalAlloc text(raw_text);
  return raw_text;
}

// The rights that the folder's own entries (not those only for its children) allow
// Everyone.
ACCESS_MASK GetEveryonesAccess(const base::FilePath& folder) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR raw_descriptor = nullptr;
  if (::GetNamedSecurityInfoW(folder.value().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, nullptr,
                              &raw_descriptor) != ERROR_SUCCESS) {
    return 0;
  }
  base::win::ScopedLocalAlloc descriptor(raw_descriptor);
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD everyone_size = sizeof(everyone);
  if (!dacl || !::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &everyone_size))
    return 0;
  ACCESS_MASK access = 0;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) ||
        ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
        (ace->Header.AceFlags & INHERIT_ONLY_ACE) || !::EqualSid(&ace->SidStart, everyone)) {
      continue;
    }
    access |= ace->Mask;
  }
  return access;
}

// Makes |folder| an installation of this browser, with its version folder "7.4".
bool MakeInstallation(const base::FilePath& folder) {
  InstallStatus status;
  status.subfolder = base::FilePath(L"7.4");
  status.version = "7.4";
  return test::MakeTestInstallation(folder, status, "{}");
}

// The test's folder stands for the 32-bit program-files folder: the install folder "Install"
// is a new one directly in it. (Helpers started as processes of their own know only the real
// one, and grant there only on an installation.)
class FolderPermissionHelperTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    folder_ = temp_.GetPath().Append(L"Install");
    program_files_ = std::make_unique<base::ScopedPathOverride>(base::DIR_PROGRAM_FILESX86,
                                                                temp_.GetPath(), true, false);
    ASSERT_TRUE(program_files_->IsValid());
  }
  base::win::ScopedComInitializer com_;
  base::ScopedTempDir temp_;
  base::FilePath folder_;
  std::unique_ptr<base::ScopedPathOverride> program_files_;
};

TEST_F(FolderPermissionHelperTest, GrantsUntilUndoneThenPutsTheOldListBack) {
  base::win::ScopedHandle give = CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  ASSERT_TRUE(give.IsValid() && undo.IsValid());

  const base::CommandLine command_line = HelperCommandLine(folder_);
  base::win::ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread helper([&] {
    RunFolderPermissionHelper(command_line, base::TimeDelta::FromMilliseconds(50));
    ::SetEvent(done.Get());
  });
  // The folder is made and the grant announced; the helper then holds it until told.
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give.Get(), 10000));
  EXPECT_TRUE(base::DirectoryExists(folder_));
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(done.Get(), 200));
  ::SetEvent(undo.Get());
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(done.Get(), 10000));
  helper.join();
}

// What the folder's list holds, read back. Wine keeps of a folder's list only what its Unix
// permission bits can hold (the owner always has every right): a grant is seen there only
// for Everyone, so Everyone is the user here.
TEST_F(FolderPermissionHelperTest, GrantShowsInTheFolderListUntilUndone) {
  base::win::ScopedHandle give = CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  ASSERT_TRUE(give.IsValid() && undo.IsValid());
  ASSERT_TRUE(base::CreateDirectory(folder_));
  const std::wstring before = ReadDacl(folder_);
  ASSERT_FALSE(before.empty());
  ASSERT_EQ(0u, GetEveryonesAccess(folder_) & FILE_ADD_FILE);

  // Undone by the installer, or taken back when the installer ends without asking.
  for (const bool requester_ends : {false, true}) {
    SCOPED_TRACE(requester_ends ? "requester ends" : "undone");
    base::win::ScopedHandle requester = StartRequester();
    ASSERT_TRUE(requester.IsValid());
    base::win::ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread helper([&] {
      EXPECT_TRUE(GrantFolderPermission(folder_, L"Everyone", false, give.Get(), undo.Get(),
                                        requester.Get(), base::TimeDelta::FromMilliseconds(50)));
      ::SetEvent(done.Get());
    });
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give.Get(), 10000));
    const ACCESS_MASK granted = GetEveryonesAccess(folder_);
    EXPECT_EQ(static_cast<ACCESS_MASK>(FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD),
              granted & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD))
        << std::hex << granted;
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(done.Get(), 200));
    if (requester_ends)
      ::TerminateProcess(requester.Get(), 1);
    else
      ::SetEvent(undo.Get());
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(done.Get(), 10000));
    helper.join();
    EXPECT_EQ(before, ReadDacl(folder_));
    ::TerminateProcess(requester.Get(), 1);
    ::ResetEvent(give.Get());
    ::ResetEvent(undo.Get());
  }
}

TEST_F(FolderPermissionHelperTest, PermanentGrantEndsAtOnce) {
  base::win::ScopedHandle give = CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  base::CommandLine command_line = HelperCommandLine(folder_);
  command_line.AppendSwitch("permanent-permissions");
  RunFolderPermissionHelper(command_line);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give.Get(), 0));
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(undo.Get(), 0));
}

TEST_F(FolderPermissionHelperTest, EndsQuietlyWithoutUserOrEvents) {
  base::CommandLine without_user(base::FilePath(L"installer.exe"));
  without_user.AppendSwitchPath("set-folder-permission", folder_);
  RunFolderPermissionHelper(without_user);
  // No events exist for this folder: nothing is created.
  RunFolderPermissionHelper(HelperCommandLine(folder_));
  EXPECT_FALSE(base::PathExists(folder_));
  base::CommandLine waiting = HelperCommandLine(folder_);
  waiting.AppendSwitchPath("wait-for-package", temp_.GetPath());
  RunFolderPermissionHelper(waiting);  // No "initial-pid".
}

// A handle to |event| that may wait on it but not signal it.
base::win::ScopedHandle WaitOnlyHandle(HANDLE event) {
  HANDLE duplicate = nullptr;
  ::DuplicateHandle(::GetCurrentProcess(), event, ::GetCurrentProcess(), &duplicate, SYNCHRONIZE,
                    FALSE, 0);
  return base::win::ScopedHandle(duplicate);
}

TEST_F(FolderPermissionHelperTest, AGrantThatCannotBeAnnouncedStaysOnlyWhenPermanent) {
  ASSERT_TRUE(base::CreateDirectory(folder_));
  base::win::ScopedHandle give(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  base::win::ScopedHandle undo(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  const base::win::ScopedHandle cannot_signal = WaitOnlyHandle(give.Get());
  ASSERT_TRUE(cannot_signal.IsValid());
  ASSERT_FALSE(::SetEvent(cannot_signal.Get()));
  const std::wstring before = ReadDacl(folder_);

  // Temporary: taken back at once, without waiting to be told.
  GrantFolderPermission(folder_, L"Everyone", false, cannot_signal.Get(), undo.Get(), nullptr,
                        base::TimeDelta());
  EXPECT_EQ(before, ReadDacl(folder_));
  // Permanent: the grant stays.
  GrantFolderPermission(folder_, L"Everyone", true, cannot_signal.Get(), undo.Get(), nullptr,
                        base::TimeDelta());
  EXPECT_NE(0u, GetEveryonesAccess(folder_) & FILE_ADD_FILE);
}

TEST_F(FolderPermissionHelperTest, RefusesFoldersThatAreNotFullPaths) {
  base::win::ScopedHandle ready = CreateEvent(folder_, L"TavroInstaller/PackageReady", true);
  base::win::ScopedHandle interrupted =
      CreateEvent(folder_, L"TavroInstaller/InstallationInterrupted", true);
  ASSERT_TRUE(::SetEvent(ready.Get()));
  // A package folder that is empty or relative would have the installer looked for in the
  // current folder or along the search path.
  for (const wchar_t* package : {L"", L"package", L"C:package"}) {
    base::test::ScopedLogCapture log;
    base::CommandLine command_line = HelperCommandLine(folder_);
    command_line.AppendSwitchNative("wait-for-package", package);
    command_line.AppendSwitchASCII("initial-pid", std::to_string(::GetCurrentProcessId()));
    RunFolderPermissionHelper(command_line);
    EXPECT_TRUE(log.LoggedPrefix(logging::LOG_ERROR, "Refusing the package folder")) << package;
  }
  // Nor does it grant anything on a folder relative to where it runs.
  base::test::ScopedLogCapture log;
  RunFolderPermissionHelper(HelperCommandLine(base::FilePath(L"Install")));
  EXPECT_TRUE(log.LoggedPrefix(logging::LOG_ERROR, "Refusing to grant access"));
}

TEST_F(FolderPermissionHelperTest, HandsOverToTheInstallerOfThePackageFolder) {
  ASSERT_TRUE(MakeInstallation(folder_));
  // The package folder holds a real installer; it runs the helper role itself.
  const base::FilePath package = temp_.GetPath().Append(L"package");
  ASSERT_TRUE(base::CreateDirectory(package));
  const base::FilePath bin(test::GetTestBinFolder());
  ASSERT_TRUE(base::CopySingleFile(bin.Append(L"installer.exe"), package.Append(L"installer.exe")));
  ASSERT_TRUE(base::CopySingleFile(bin.Append(L"tavro_installer.dll"),
                                   package.Append(L"tavro_installer.dll")));

  base::win::ScopedHandle ready = CreateEvent(folder_, L"TavroInstaller/PackageReady", true);
  base::win::ScopedHandle interrupted =
      CreateEvent(folder_, L"TavroInstaller/InstallationInterrupted", true);
  base::win::ScopedHandle give = CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  ASSERT_TRUE(ready.IsValid() && interrupted.IsValid() && give.IsValid() && undo.IsValid());

  base::CommandLine command_line = HelperCommandLine(folder_);
  command_line.AppendSwitchPath("wait-for-package", package);
  command_line.AppendSwitchASCII("initial-pid", std::to_string(::GetCurrentProcessId()));
  command_line.AppendSwitch("permanent-permissions");
  // The helper's thread reads the installation's status file, through COM.
  std::thread helper([&] {
    base::win::ScopedComInitializer com;
    RunFolderPermissionHelper(command_line);
  });
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(give.Get(), 200));
  ::SetEvent(ready.Get());
  // The package's installer got the permission switches and granted for good.
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give.Get(), 20000));
  helper.join();
  // Having granted for good, it ends by itself, and so does what it started (its crash
  // reporter, which outlives it briefly): their files go with the test's folder.
  EXPECT_TRUE(test::PollUntil(
      [&] { return test::FindProcessesOfProgram(package.Append(L"installer.exe")).empty(); },
      base::TimeDelta::FromSeconds(30)));
}

// A signed helper runs, elevated, only a package installer that is the product's: the
// package folder is the user's.
TEST_F(FolderPermissionHelperTest, ASignedHelperHandsOverOnlyToASignedInstaller) {
  const test::ExamplePackage example = test::ExamplePackage::Current();
  base::ScopedPathOverride signed_helper(base::FILE_EXE, example.package_installer(), true, false);
  const base::FilePath stub_logs = temp_.GetPath().Append(L"stubs");
  ASSERT_TRUE(base::CreateDirectory(stub_logs));
  const base::test::ScopedEnvironment environment({{"TAVRO_STUB_LOG_DIR", stub_logs.ToUtf8()}});
  base::win::ScopedHandle ready = CreateEvent(folder_, L"TavroInstaller/PackageReady", true);
  base::win::ScopedHandle interrupted =
      CreateEvent(folder_, L"TavroInstaller/InstallationInterrupted", true);
  ASSERT_TRUE(::SetEvent(ready.Get()));
  const base::FilePath signed_installer =
      example.component_folder().Append(L"suite_installer.exe");
  const struct {
    const wchar_t* package;
    base::FilePath installer;
    // Beside the installer, which loads it.
    base::FilePath library;
  } packages[] = {
      {L"unsigned", example.package_folder().Append(L"tavro.exe"), base::FilePath()},
      {L"foreign_library", signed_installer,
       base::FilePath(test::GetTestBinFolder()).Append(L"tavro_installer.dll")},
      {L"signed", signed_installer, base::FilePath()},
  };
  for (const auto& entry : packages) {
    const base::FilePath package = temp_.GetPath().Append(entry.package);
    ASSERT_TRUE(base::CreateDirectory(package));
    ASSERT_TRUE(base::CopySingleFile(entry.installer, package.Append(L"installer.exe")));
    if (!entry.library.empty()) {
      ASSERT_TRUE(base::CopySingleFile(entry.library, package.Append(L"tavro_installer.dll")));
    }
    base::CommandLine command_line = HelperCommandLine(folder_);
    command_line.AppendSwitchPath("wait-for-package", package);
    command_line.AppendSwitchASCII("initial-pid", std::to_string(::GetCurrentProcessId()));
    RunFolderPermissionHelper(command_line);
  }
  const std::vector<test::StubInvocation> runs =
      test::ReadStubInvocations(stub_logs, L"installer.exe");
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(temp_.GetPath().Append(L"signed\\installer.exe"),
            runs[0].GetCommandLine().GetProgram());
}

// After an uninstallation the helper deletes what the user's clean-up batch names below the
// folder it granted, with a batch of its own: nothing the user's batch names elsewhere.
TEST_F(FolderPermissionHelperTest, CleansUpOnlyBelowItsFolderWithABatchOfItsOwn) {
  const base::FilePath held = folder_.Append(L"7.4\\installer.exe");
  const base::FilePath outside = temp_.GetPath().Append(L"outside\\data.txt");
  ASSERT_TRUE(base::CreateDirectory(held.DirName()));
  ASSERT_TRUE(base::CreateDirectory(outside.DirName()));
  ASSERT_TRUE(test::WriteTestFile(held, "x"));
  ASSERT_TRUE(test::WriteTestFile(outside, "kept"));
  ASSERT_TRUE(MakeInstallation(folder_));
  // A folder of the installation that the user made a link to another one: what the batch
  // names through it lies outside.
  std::vector<base::FilePath> named = {held, held.DirName().Append(GetBrowserExeName()), outside};
  base::test::ScopedFolderLink link;
  if (link.Make(folder_.Append(L"link"), outside.DirName()))
    named.push_back(folder_.Append(L"link\\data.txt"));
  ASSERT_TRUE(test::WriteTestFile(folder_.Append(L"k.bat"), MakeCleanupBatch({}, folder_, named)));
  base::win::ScopedHandle give =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  ASSERT_TRUE(::SetEvent(undo.Get()));

  base::CommandLine command_line = HelperCommandLine(folder_);
  command_line.AppendSwitch("run-uninstall-bat");
  RunFolderPermissionHelper(command_line, base::TimeDelta::FromMilliseconds(50));
  const base::TimeTicks deadline = base::TimeTicks::Now() + base::TimeDelta::FromSeconds(30);
  // The batch runs on its own: it deletes k.bat before it removes the emptied folders.
  while ((base::PathExists(folder_.Append(L"k.bat")) || base::PathExists(held.DirName())) &&
         base::TimeTicks::Now() < deadline) {
    ::Sleep(50);
  }
  EXPECT_FALSE(base::PathExists(folder_.Append(L"k.bat")));
  EXPECT_FALSE(base::PathExists(held.DirName()));
  EXPECT_TRUE(base::PathExists(outside));
  EXPECT_TRUE(base::PathExists(folder_.Append(L"installer_prefs.json")));
}

// Only a folder of its own is granted: not a file, not a link to another folder, where the
// grant would land.
TEST_F(FolderPermissionHelperTest, GrantsOnlyOnAFolderOfItsOwn) {
  const base::FilePath elsewhere = temp_.GetPath().Append(L"elsewhere");
  const base::FilePath file = temp_.GetPath().Append(L"file.txt");
  ASSERT_TRUE(base::CreateDirectory(elsewhere));
  ASSERT_TRUE(test::WriteTestFile(file, "x"));
  ASSERT_TRUE(::CreateSymbolicLinkW(folder_.value().c_str(), elsewhere.value().c_str(),
                                    SYMBOLIC_LINK_FLAG_DIRECTORY));
  base::win::ScopedHandle give(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  base::win::ScopedHandle undo(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  for (const base::FilePath& path : {folder_, file}) {
    EXPECT_FALSE(GrantFolderPermission(path, L"Everyone", true, give.Get(), undo.Get(), nullptr,
                                       base::TimeDelta()))
        << path;
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(give.Get(), 0)) << path;
  }
  EXPECT_EQ(0u, GetEveryonesAccess(elsewhere) & FILE_ADD_FILE);
  ::RemoveDirectoryW(folder_.value().c_str());
}

// What the user's installer made during a temporary grant would stay the user's (an owner
// may change the access list) once the grant ends: the end of the grant gives it, and the
// folder, back to Administrators, but nothing that a link leads to. Wine shows every file as
// the user's and keeps no owner it is given: the log tells what was given back.
TEST_F(FolderPermissionHelperTest, TheEndOfTheGrantGivesWhatTheUserMadeBack) {
  base::win::ScopedHandle give =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  ASSERT_TRUE(give.IsValid() && undo.IsValid());
  const base::FilePath outside = temp_.GetPath().Append(L"outside");
  ASSERT_TRUE(base::CreateDirectory(outside));
  ASSERT_TRUE(test::WriteTestFile(outside.Append(L"data.txt"), "kept"));

  base::test::ScopedLogCapture log;
  base::win::ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread helper([&] {
    RunFolderPermissionHelper(HelperCommandLine(folder_), base::TimeDelta::FromMilliseconds(50));
    ::SetEvent(done.Get());
  });
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give.Get(), 10000));
  const base::FilePath made = folder_.Append(L"7.4\\tavro.dll");
  EXPECT_TRUE(base::CreateDirectory(made.DirName()));
  EXPECT_TRUE(test::WriteTestFile(made, "MZ"));
  base::test::ScopedFolderLink link;
  const bool linked = link.Make(folder_.Append(L"link"), outside);
  ::SetEvent(undo.Get());
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(done.Get(), 10000));
  helper.join();

  EXPECT_TRUE(log.Logged(logging::LOG_INFO, "Gave " + folder_.ToUtf8() + " back to Administrators"));
  EXPECT_TRUE(
      log.Logged(logging::LOG_INFO, "Gave " + made.DirName().ToUtf8() + " back to Administrators"));
  EXPECT_TRUE(log.Logged(logging::LOG_INFO, "Gave " + made.ToUtf8() + " back to Administrators"));
  if (linked) {
    EXPECT_EQ(0, log.CountLinesContaining("data.txt"));
  }
  EXPECT_EQ(0, log.CountLinesContaining("Cannot"));
}

TEST_F(FolderPermissionHelperTest, InterruptionEndsTheWaitWithoutHandOver) {
  base::win::ScopedHandle ready = CreateEvent(folder_, L"TavroInstaller/PackageReady", true);
  base::win::ScopedHandle interrupted =
      CreateEvent(folder_, L"TavroInstaller/InstallationInterrupted", true);
  base::CommandLine command_line = HelperCommandLine(folder_);
  command_line.AppendSwitchPath("wait-for-package", temp_.GetPath().Append(L"missing"));
  command_line.AppendSwitchASCII("initial-pid", std::to_string(::GetCurrentProcessId()));
  ::SetEvent(interrupted.Get());
  RunFolderPermissionHelper(command_line);  // Returns: nothing to start.
}

// Run elevated on a command line anybody may write, the helper grants only to the user of
// the installer that asks, and only on a folder an installation can own.
TEST_F(FolderPermissionHelperTest, RefusesWhatNoInstallerRunAsksFor) {
  const base::FilePath foreign = temp_.GetPath().Append(L"foreign");
  ASSERT_TRUE(base::CreateDirectory(foreign));
  ASSERT_TRUE(test::WriteTestFile(foreign.Append(L"data.txt"), "not an installation"));
  wchar_t windows_folder[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetSystemWindowsDirectoryW(windows_folder, MAX_PATH));
  const base::FilePath windows(windows_folder);
  base::FilePath profile;
  ASSERT_TRUE(base::PathRegistry::Get(base::DIR_HOME, &profile));
  // One consent would otherwise give the user a folder of their own among the system's
  // programs, or anywhere a new folder can be made.
  const base::FilePath in_system = windows.Append(
      L"System32\\tavro_probe_" + std::to_wstring(::GetCurrentProcessId()));
  const base::FilePath nested = temp_.GetPath().Append(L"deeper\\Install");
  const base::FilePath empty = temp_.GetPath().Append(L"empty");
  ASSERT_TRUE(base::CreateDirectory(empty));
  const struct {
    base::CommandLine command_line;
    const char* logged;
  } cases[] = {
      {HelperCommandLine(base::FilePath(L"C:\\")),
       "Refusing to grant access to C:\\: it is the root"},
      {HelperCommandLine(windows), "Refusing to grant access to"},
      {HelperCommandLine(profile.DirName()), "Refusing to grant access to"},
      {HelperCommandLine(foreign), "Refusing to grant access to"},
      {HelperCommandLine(in_system), "Refusing to grant access to"},
      {HelperCommandLine(nested), "Refusing to grant access to"},
      {HelperCommandLine(empty), "Refusing to grant access to"},
      {HelperCommandLine(folder_, L"Everyone"), "Refusing to grant access to Everyone"},
      {HelperCommandLine(folder_, GetCurrentUserName(), 0), "Refusing to grant access: no"},
  };
  for (const auto& entry : cases) {
    const base::FilePath folder = entry.command_line.GetSwitchValuePath("set-folder-permission");
    base::win::ScopedHandle give =
        CreateEvent(folder, L"TavroInstaller/GiveInstallPermission", false);
    base::win::ScopedHandle undo =
        CreateEvent(folder, L"TavroInstaller/GiveInstallPermission/Undo", false);
    base::test::ScopedLogCapture log;
    RunFolderPermissionHelper(entry.command_line);
    EXPECT_TRUE(log.LoggedPrefix(logging::LOG_ERROR, entry.logged))
        << entry.command_line.GetCommandLineString();
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(give.Get(), 0));
  }
  EXPECT_FALSE(base::PathExists(folder_));
  EXPECT_FALSE(base::PathExists(in_system));
  EXPECT_FALSE(base::PathExists(nested.DirName()));
  EXPECT_EQ("it lies in the Windows folder", GetGrantRefusal(in_system));
  // A new folder directly in a program-files folder, or an installation's folder, may be
  // granted; files that only look like one prove nothing.
  EXPECT_EQ("", GetGrantRefusal(folder_));
  ASSERT_TRUE(test::WriteTestFile(foreign.Append(L"installation_status.xml"), "<install_log/>"));
  ASSERT_TRUE(test::WriteTestFile(foreign.Append(L"launcher.exe"), "MZ"));
  EXPECT_NE("", GetGrantRefusal(foreign));
  ASSERT_TRUE(MakeInstallation(foreign));
  EXPECT_EQ("", GetGrantRefusal(foreign));
}

// The real helper (the installer in its helper role) gives a temporary grant back when the
// installer that asked for it ends without asking: it ends itself at once, without waiting
// for the undo event.
TEST_F(FolderPermissionHelperTest, TheHelperWhoseRequesterDiesTakesItsGrantBack) {
  ASSERT_TRUE(MakeInstallation(folder_));
  base::win::ScopedHandle give =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
  base::win::ScopedHandle undo =
      CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
  base::win::ScopedHandle requester = StartRequester();
  ASSERT_TRUE(requester.IsValid());
  base::CommandLine helper(base::FilePath(test::GetTestBinFolder()).Append(L"installer.exe"));
  helper.AppendArguments(
      HelperCommandLine(folder_, GetCurrentUserName(), ::GetProcessId(requester.Get())), false);
  test::TestProcess process;
  ASSERT_TRUE(process.Start(helper, test::ProcessOptions()));
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give.Get(), 20000));
  EXPECT_TRUE(process.IsRunning());
  ASSERT_TRUE(::TerminateProcess(requester.Get(), 1));
  const test::ProcessResult result = process.Wait();
  EXPECT_TRUE(result.started && !result.timed_out) << result.Describe();
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(undo.Get(), 0));
}

// An uninstall entry of the product under |root|, in the view the installer writes, that
// names |location| as the install location; deleted again when this ends.
class TestUninstallEntry {
 public:
  TestUninstallEntry(HKEY root, const base::FilePath& location)
      : root_(root),
        path_(GetUninstallRegistryKey() + L"\\" +
              base::Utf8ToUtf16(ProductInfo::GetProductName()) + L" 7.4 test " +
              std::to_wstring(::GetCurrentProcessId())) {
    base::win::RegistryKey key;
    written_ = key.Create(root_, path_.c_str(), KEY_SET_VALUE | KEY_WOW64_32KEY) ==
                   ERROR_SUCCESS &&
               key.WriteValue(L"InstallLocation", location.value().c_str()) == ERROR_SUCCESS;
  }
  ~TestUninstallEntry() {
    base::win::RegistryKey(root_, L"", KEY_ALL_ACCESS | KEY_WOW64_32KEY).DeleteKey(path_.c_str());
  }
  bool written() const { return written_; }

 private:
  const HKEY root_;
  const std::wstring path_;
  bool written_ = false;
};

// An installation whose status file is truncated is recognised only by what only
// administrators can write: an uninstall entry of the machine that names exactly its folder
// (in any letter case). The user's own entry, or the machine's for another folder, proves
// nothing, and the helper grants nothing.
TEST_F(FolderPermissionHelperTest, GrantsOnADamagedInstallationOnlyByTheMachinesEntry) {
  ASSERT_TRUE(MakeInstallation(folder_));
  const base::FilePath status_file = folder_.Append(kInstallStatusFileName);
  std::string status_text;
  ASSERT_TRUE(base::ReadFileToString(status_file, &status_text));
  ASSERT_TRUE(test::WriteTestFile(status_file, status_text.substr(0, status_text.size() / 2)));
  const base::FilePath other = temp_.GetPath().Append(L"Other");
  ASSERT_TRUE(base::CreateDirectory(other));
  std::wstring upper_case = folder_.value();
  for (wchar_t& c : upper_case)
    c = static_cast<wchar_t>(::towupper(c));

  const struct {
    HKEY root;
    base::FilePath location;
    bool granted;
  } cases[] = {
      {HKEY_CURRENT_USER, folder_, false},
      {HKEY_LOCAL_MACHINE, other, false},
      {HKEY_LOCAL_MACHINE, base::FilePath(upper_case), true},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.location.value());
    const TestUninstallEntry uninstall_entry(entry.root, entry.location);
    ASSERT_TRUE(uninstall_entry.written());
    base::win::ScopedHandle give =
        CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission", false);
    base::win::ScopedHandle undo =
        CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
    ASSERT_TRUE(give.IsValid() && undo.IsValid());
    base::CommandLine command_line = HelperCommandLine(folder_);
    command_line.AppendSwitch("permanent-permissions");
    base::test::ScopedLogCapture log;
    RunFolderPermissionHelper(command_line);
    EXPECT_EQ(entry.granted ? WAIT_OBJECT_0 : WAIT_TIMEOUT, ::WaitForSingleObject(give.Get(), 0));
    EXPECT_EQ(!entry.granted, log.LoggedPrefix(logging::LOG_ERROR, "Refusing to grant access to"));
  }
}

// The take-back reaches what the user shut Administrators out of through the privileges to
// take ownership and to restore (Wine makes file lists up from Unix modes, so the shut-out
// itself cannot be shown here): what it still cannot open is named and makes it fail. A
// name with a trailing dot, made through the "\\?\" form, does not open by its path.
TEST_F(FolderPermissionHelperTest, TakingBackFailsLoudlyForWhatItCannotOpen) {
  const base::FilePath made = folder_.Append(L"7.4\\tavro.dll");
  const base::FilePath unopenable = folder_.Append(L"7.4\\tavro.");
  ASSERT_TRUE(base::CreateDirectory(made.DirName()));
  ASSERT_TRUE(test::WriteTestFile(made, "MZ"));
  const base::win::ScopedHandle pinned(::CreateFileW(
      folder_.value().c_str(), READ_CONTROL | WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  ASSERT_TRUE(pinned.IsValid());
  std::vector<BYTE> user_buffer;
  const PSID user = GetProcessUserSid(::GetCurrentProcess(), &user_buffer);
  ASSERT_NE(nullptr, user);
  const ScopedTokenPrivileges privileges({SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME});
  EXPECT_TRUE(privileges.IsValid());
  EXPECT_TRUE(GiveBackToAdministrators(pinned.Get(), folder_, user));

  const std::wstring unopenable_long = L"\\\\?\\" + unopenable.value();
  ASSERT_TRUE(base::win::ScopedHandle(::CreateFileW(unopenable_long.c_str(), GENERIC_WRITE, 0,
                                                    nullptr, CREATE_NEW, 0, nullptr))
                  .IsValid());
  base::test::ScopedLogCapture log;
  EXPECT_FALSE(GiveBackToAdministrators(pinned.Get(), folder_, user));
  EXPECT_TRUE(log.LoggedPrefix(logging::LOG_ERROR,
                               "Cannot open " + unopenable.ToUtf8() + " to give it back"));
  EXPECT_TRUE(log.Logged(logging::LOG_INFO, "Gave " + made.ToUtf8() + " back to Administrators"));
  EXPECT_TRUE(::DeleteFileW(unopenable_long.c_str()));
}

// An event of the installer's name that someone made first with a list that lets others
// signal it, or with another owner, could announce or undo a grant nobody asked for: the
// helper names it and grants nothing. The owner it trusts is the user of the installer
// that asks, which may not be the helper's own.
TEST_F(FolderPermissionHelperTest, RefusesEventsMadeFirstByOthers) {
  std::vector<BYTE> user_buffer;
  const PSID user = GetProcessUserSid(::GetCurrentProcess(), &user_buffer);
  wchar_t* user_text = nullptr;
  ASSERT_TRUE(user && ::ConvertSidToStringSidW(user, &user_text));
  const base::win::ScopedLocalAlloc user_text_owner(user_text);
  const std::wstring other_user = L"S-1-5-21-1004336348-1177238915-682003330-1001";
  const auto plant = [](const std::wstring& name, const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
    const base::win::ScopedLocalAlloc owned(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    return base::win::ScopedHandle(::CreateEventW(&attributes, TRUE, FALSE, name.c_str()));
  };
  const std::wstring other_users =
      L"O:" + other_user + L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + other_user + L")";
  const std::wstring give_name =
      MakeObjectName(folder_, L"TavroInstaller/GiveInstallPermission", false);
  for (const std::wstring& sddl : {L"O:" + std::wstring(user_text) + L"D:(A;;GA;;;WD)",
                                   other_users}) {
    SCOPED_TRACE(sddl);
    const base::win::ScopedHandle give = plant(give_name, sddl);
    const base::win::ScopedHandle undo =
        CreateEvent(folder_, L"TavroInstaller/GiveInstallPermission/Undo", false);
    ASSERT_TRUE(give.IsValid() && undo.IsValid());
    base::test::ScopedLogCapture log;
    RunFolderPermissionHelper(HelperCommandLine(folder_), base::TimeDelta());
    EXPECT_TRUE(log.Logged(logging::LOG_ERROR,
                           "The named object " + base::SystemWideToUtf8(give_name) +
                               " was made by another user or may be changed by others: it is "
                               "not used"));
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(give.Get(), 0));
    EXPECT_FALSE(base::PathExists(folder_));
  }
  // Had the asking installer run as that other user, its event would pass.
  PSID other_sid = nullptr;
  ASSERT_TRUE(::ConvertStringSidToSidW(other_user.c_str(), &other_sid));
  const base::win::ScopedLocalAlloc other_sid_owner(other_sid);
  const base::win::ScopedHandle other_users_event = plant(give_name, other_users);
  EXPECT_TRUE(OpenNamedEvent(give_name, SYNCHRONIZE, other_sid).handle.IsValid());
}

}  // namespace
}  // namespace installer
