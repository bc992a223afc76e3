// Faults in real runs: the real installer.exe of the example packages (current and next),
// its backend ended as Windows ends a process (TerminateProcess, exit code 1) at chosen
// points, status files cut short, front ends killed while they download or unpack. Each
// time the next run must take up what was left, and the uninstallation at the end must
// leave nothing but the installer preferences: no uninstall entry, task or shortcut.

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/json/json_writer.h"
#include "base/path_registry.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/known_folder.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/backend_claim.h"
#include "desktop/windows/installer/damaged_installation.h"
#include "desktop/windows/installer/installation_registry_keys.h"
#include "desktop/windows/installer/installer.h"
#include "desktop/windows/installer/service/install_status.h"
#include "desktop/windows/installer/service/installation.h"
#include "desktop/windows/installer/service/product_info.h"
#include "desktop/windows/installer/service/product_naming.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"
#include "desktop/windows/installer/test/example_package.h"
#include "desktop/windows/installer/test/installer_logs.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "desktop/windows/installer/test/registry_snapshot.h"
#include "desktop/windows/installer/test/server_install_e2e_test.h"
#include "desktop/windows/installer/test/tree_snapshot.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

// How long a program that the ended backend was starting has to show that it runs.
constexpr base::TimeDelta kStartGrace = base::TimeDelta::FromSeconds(30);

size_t CountOccurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class InstallerRecoveryE2eTest : public ServerInstallE2eTest {
 protected:
  void SetUp() override {
    ServerInstallE2eTest::SetUp();
    shortcuts_before_ = FindShortcuts();
    files_before_ = TreeSnapshot::Capture(work_folder());
    registry_before_ = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
  }

  // Copies the example packages to run: their installer.exe is the front end, which runs
  // itself as the backend.
  void CopyPackages() {
    ASSERT_TRUE(ExamplePackage::Current().CopyTo(work_folder().Append(L"current"), &current_));
    ASSERT_TRUE(ExamplePackage::Next().CopyTo(work_folder().Append(L"next"), &next_));
    files_before_ = TreeSnapshot::Capture(work_folder());
  }

  // A silent installation of |package| with its component.
  std::wstring Install(const base::FilePath& package) const {
    return L"\"" + package.Append(L"installer.exe").value() + L"\" --silent --installfolder=\"" +
           install_folder().value() + L"\" --components=suite:suite";
  }
  // A silent uninstallation with the installer the installation holds.
  std::wstring Uninstall() const {
    const base::win::ScopedComInitializer com;
    InstallStatus status;
    EXPECT_TRUE(LoadInstallStatus(install_folder().Append(kInstallStatusFileName), &status));
    return L"\"" + install_folder().Append(status.subfolder).Append(L"installer.exe").value() +
           L"\" --uninstall --silent";
  }

  void RunToSuccess(const std::wstring& command_line) {
    const ProcessResult run = RunProcess(command_line, MakeProcessOptions());
    EXPECT_TRUE(run.Succeeded()) << run.Describe() << ReadLogs();
  }

  // A condition that holds once the logs hold |marker| once more than now.
  std::function<bool()> Logged(const std::string& marker) const {
    const size_t seen = CountOccurrences(ReadLogs(), marker);
    return [this, marker, seen] { return CountOccurrences(ReadLogs(), marker) > seen; };
  }
  // One that holds once the stub |program| has started once more than until now.
  std::function<bool()> Started(const std::wstring& program) const {
    const size_t seen = ReadStubInvocations(program).size();
    return [this, program, seen] { return ReadStubInvocations(program).size() > seen; };
  }

  // Runs |command_line| and ends its backend once |reached| holds; |hold| (may be null)
  // keeps a stub running until then, and lets go of it after.
  void RunAndKillBackend(const std::wstring& command_line,
                         const std::function<bool()>& reached,
                         StubHold* hold = nullptr) {
    ProcessOptions options = MakeProcessOptions();
    if (hold)
      options.environment.push_back(hold->GetEnvironment());
    TestProcess front_end;
    ASSERT_TRUE(front_end.Start(command_line, options));
    DWORD backend = 0;
    const bool killed = TerminateWhenLogged(&front_end, reached, L"installer.exe", &backend);
    if (hold)
      hold->Release();
    // A program of the package the backend was starting when it was ended may never run
    // under Wine: such a one is ended, one that ran is waited for.
    const auto ran = [this](DWORD pid, const std::wstring& image) {
      return !IsStub(image) || HasStubRun(image, pid);
    };
    if (killed)
      EndChildrenThatNeverRan(backend, ran, kStartGrace);
    const ProcessResult run = front_end.Wait();
    ASSERT_TRUE(killed) << ReadLogs();
    // The front end tells of the failure; the undo journal tells the next run.
    EXPECT_TRUE(run.started && !run.timed_out && run.exit_code != 0) << run.Describe();
    EXPECT_TRUE(HasUndoJournal(install_folder()));
  }

  // Whether |image| is a stub of the example package, which records each run as it starts;
  // an installer.exe tells nothing of whether it ran, so it is always waited for.
  static bool IsStub(const std::wstring& image) {
    for (const wchar_t* stub : {kLauncherExeName, L"tavro.exe", L"suite_installer.exe"}) {
      if (base::FilePath::CompareEqualIgnoreCase(image, stub))
        return true;
    }
    return false;
  }
  bool HasStubRun(const std::wstring& image, DWORD pid) const {
    for (const StubInvocation& run : ReadStubInvocations(image)) {
      if (run.pid == pid)
        return true;
    }
    return false;
  }

  // The uninstall entries whose "InstallLocation" is the install folder.
  std::vector<std::wstring> FindUninstallEntries() const {
    std::vector<std::wstring> entries;
    const RegistrySnapshot registry = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
    for (const auto& [key, values] : registry.keys()) {
      const auto location = values.find(L"InstallLocation");
      if (key.find(L"\\CurrentVersion\\Uninstall\\") != std::wstring::npos &&
          location != values.end() && location->second.data == TextBytes(install_folder().value())) {
        entries.push_back(key);
      }
    }
    return entries;
  }

  // One installation stands: one uninstall entry, one autoupdate task, no journal and no
  // file kept aside for an undo.
  void ExpectOneInstallation() {
    const std::vector<std::wstring> entries = FindUninstallEntries();
    EXPECT_EQ(1u, entries.size()) << base::Utf16ToUtf8(base::JoinString(entries, L"\n"));
    const base::win::ScopedComInitializer com;
    EXPECT_EQ(1u, FindAutoupdateTaskIds(install_folder().Append(kLauncherExeName)).size());
    EXPECT_FALSE(HasUndoJournal(install_folder()));
    for (const std::wstring& path : TreeSnapshot::Capture(install_folder()).GetFilePaths())
      EXPECT_EQ(std::wstring::npos, path.find(L"~undo_")) << path;
  }

  // After the last uninstallation: what the test made and the installer preferences (and
  // the component's installer, which its uninstaller keeps) in the folders; in the registry
  // the last install folder and keys shared with other programs, emptied; no task.
  void ExpectNothingLeftButThePreferences() {
    const auto files = CompareSnapshots(files_before_, TreeSnapshot::Capture(work_folder()),
                                        {L"current\\*", L"next\\*"});
    EXPECT_EQ(
        "+ Tavro Browser\n"
        "+ Tavro Browser\\installer_prefs.json\n"
        "+ Tavro Browser\\suite\n"
        "+ Tavro Browser\\suite\\suite_installer.exe\n",
        FormatDifferences(files));
    EXPECT_EQ(shortcuts_before_, FindShortcuts());
    const RegistrySnapshot registry = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());
    const std::wstring company_key = L"HKCU\\" + GetCompanyRegistryKey();
    for (const SnapshotDifference& difference :
         CompareSnapshots(registry_before_, registry, RegistrySnapshot::DefaultAllowList())) {
      const RegistrySnapshot::Values* values = registry.FindKey(difference.path);
      const bool emptied_key = values && values->empty();
      // The company's key keeps the last install folder.
      const bool last_install_path =
          difference.path == company_key ||
          difference.path == company_key + L"\\Last Stable Install Path";
      EXPECT_TRUE(last_install_path ||
                  (difference.kind == SnapshotDifference::Kind::kAdded && emptied_key))
          << FormatDifferences({difference});
    }
    const base::win::ScopedComInitializer com;
    EXPECT_TRUE(FindAutoupdateTaskIds(install_folder().Append(kLauncherExeName)).empty());
  }

  // The shortcuts of the product's names on the desktops and in the start menus.
  static std::vector<base::FilePath> FindShortcuts() {
    std::vector<base::FilePath> shortcuts;
    for (int key : {base::DIR_USER_DESKTOP, base::DIR_COMMON_DESKTOP, base::DIR_START_MENU,
                    base::DIR_COMMON_START_MENU}) {
      base::FilePath folder;
      if (!base::PathRegistry::Get(key, &folder))
        continue;
      for (bool with_version : {false, true}) {
        const base::FilePath shortcut = folder.Append(Installer::GetMasterShortcutName(with_version));
        if (base::PathExists(shortcut))
          shortcuts.push_back(shortcut);
      }
    }
    return shortcuts;
  }

  // The bytes of a REG_SZ value holding |text|.
  static std::vector<uint8_t> TextBytes(const std::wstring& text) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
    return std::vector<uint8_t>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
  }

  base::FilePath current_;
  base::FilePath next_;

 private:
  std::vector<base::FilePath> shortcuts_before_;
  TreeSnapshot files_before_;
  RegistrySnapshot registry_before_;
};

// The backend is ended at a point of each kind of change: while the component installer
// runs (the browser registered, files and shortcuts in place; the component installs itself
// after the backend is gone), after the new status file stood (past the point of no
// return), while an upgrade's component installer runs (the old registration, files and
// status file kept aside or copied), and after an uninstallation removed the registration.
// Each next run first undoes or finishes what was left, then does its own work: never a
// second installation.
TEST_F(InstallerRecoveryE2eTest, BackendEndedAtEachKindOfChangeIsTakenUpByTheNextRun) {
  CopyPackages();
  // As in a fresh profile, the first run makes the quick launch folder and the one above it
  // for its shortcut, and the undo by the next run takes them away again: empty ones that
  // earlier tests left are removed first (one that holds something stays).
  base::FilePath quick_launch;
  ASSERT_TRUE(base::PathRegistry::Get(base::DIR_USER_QUICK_LAUNCH, &quick_launch));
  for (const base::FilePath& folder : {quick_launch, quick_launch.DirName()})
    ::RemoveDirectoryW(folder.value().c_str());
  // Held while its component installer runs: the browser registered, its files and
  // shortcuts in place, and the component installed after the backend is gone.
  {
    StubHold component(L"suite_installer.exe");
    ASSERT_TRUE(component.IsValid());
    RunAndKillBackend(Install(current_), Started(L"suite_installer.exe"), &component);
  }
  RunAndKillBackend(Install(current_), Logged("] Creating scheduled task"));
  // What stood then was finished, not undone: the run repairs that installation.
  EXPECT_TRUE(base::PathExists(install_folder().Append(kInstallStatusFileName)));
  RunToSuccess(Install(current_));
  ExpectOneInstallation();

  {
    StubHold component(L"suite_installer.exe");
    ASSERT_TRUE(component.IsValid());
    RunAndKillBackend(Install(next_), Started(L"suite_installer.exe"), &component);
  }
  // Undone: the current version's installation is back whole, its record in place.
  EXPECT_EQ(RecoveryResult::kRecovered,
            RecoverInterruptedRun(install_folder(), &IsInstallationRegistryKey));
  ExpectOneInstallation();
  EXPECT_NE(std::wstring::npos,
            Uninstall().find(base::Utf8ToUtf16(ExamplePackage::Current().version())));
  RunToSuccess(Install(next_));
  ExpectOneInstallation();

  // The uninstaller is the installation's, which the ended run had begun to set aside.
  const std::wstring uninstall = Uninstall();
  RunAndKillBackend(uninstall, Logged("] Removing shortctus."));
  RunToSuccess(uninstall);
  ExpectNothingLeftButThePreferences();
}

// A status file cut short is the record of an installation all the same: an installation
// over it is an upgrade (one uninstall entry, one task), and it can be uninstalled. The
// damaged file is kept beside the logs.
TEST_F(InstallerRecoveryE2eTest, StatusFileCutShortBeforeAnUpgradeAndBeforeAnUninstall) {
  CopyPackages();
  const base::FilePath status_file = install_folder().Append(kInstallStatusFileName);
  const auto cut_status_file = [&] {
    std::string text;
    ASSERT_TRUE(base::ReadFileToString(status_file, &text));
    text.resize(text.size() / 2);
    ASSERT_EQ(static_cast<int>(text.size()),
              base::WriteFileFromBuffer(status_file, text.data(), static_cast<int>(text.size())));
  };
  RunToSuccess(Install(current_));
  cut_status_file();
  RunToSuccess(Install(next_));
  ExpectOneInstallation();
  EXPECT_NE(std::string::npos, ReadLogs().find("Operation: 2")) << ReadLogs();
  size_t kept = 0;
  for (const std::wstring& path : TreeSnapshot::Capture(download_folder()).GetFilePaths())
    kept += base::StartsWith(path, L"damaged_installation_status_", base::CompareCase::SENSITIVE);
  EXPECT_EQ(1u, kept);

  const std::wstring uninstall = Uninstall();
  cut_status_file();
  RunToSuccess(uninstall);
  ExpectNothingLeftButThePreferences();
}

// An upgrade ended at its first write of the uninstall entry (its entry half written beside
// the installation's), then its journal replaced by what does not read, or emptied: what
// that run changed is unknown, so the next run takes the folder for a damaged installation,
// keeps the journal beside the logs and upgrades it: one uninstall entry, no stranded
// version folder or backup, and the uninstallation leaves only the preferences.
TEST_F(InstallerRecoveryE2eTest, UnreadableJournalIsKeptAndItsFolderTakenAsDamaged) {
  CopyPackages();
  const std::string damages[] = {"\x01\x02 not a record\n{\"kind\": \n", ""};
  size_t round = 0;
  for (const std::string& damage : damages) {
    SCOPED_TRACE(++round);
    RunToSuccess(Install(current_));
    // The line is written once the upgrade's entry exists and names the folder; the
    // installation's own was taken away before.
    RunAndKillBackend(Install(next_) + L" --v=1", Logged("] Uninstall key: "));
    const std::vector<std::wstring> entries = FindUninstallEntries();
    ASSERT_EQ(1u, entries.size());
    ASSERT_TRUE(base::EndsWith(entries.front(),
                               base::Utf8ToUtf16(" " + ExamplePackage::Next().version()),
                               base::CompareCase::SENSITIVE))
        << base::Utf16ToUtf8(entries.front());
    ASSERT_EQ(static_cast<int>(damage.size()),
              base::WriteFileFromBuffer(install_folder().Append(kUndoJournalFileName),
                                        damage.data(), static_cast<int>(damage.size())));
    RunToSuccess(Install(next_));
    ExpectOneInstallation();
    size_t kept = 0;
    for (const std::wstring& path : TreeSnapshot::Capture(download_folder()).GetFilePaths()) {
      kept +=
          base::StartsWith(path, L"damaged_installation_journal_", base::CompareCase::SENSITIVE);
    }
    EXPECT_EQ(round, kept);

    RunToSuccess(Uninstall());
    ExpectNothingLeftButThePreferences();
  }
}

// Uninstall entries that name the installation's folder beside the one it recorded (as
// older runs ended after they made theirs left them: one naming the folder, one only its
// launcher, spelled otherwise) go with the uninstallation; an entry of another folder stays.
TEST_F(InstallerRecoveryE2eTest, UninstallationTakesEveryUninstallEntryOfItsFolder) {
  CopyPackages();
  RunToSuccess(Install(current_));
  const std::wstring name = base::Utf8ToUtf16(ProductInfo::GetProductName()) + L" " +
                           base::Utf8ToUtf16(ExamplePackage::Current().version());
  const std::wstring parent = GetUninstallRegistryKey() + L"\\" + name;
  const base::FilePath other_folder = work_folder().Append(L"Other Tavro");
  const struct {
    const wchar_t* suffix;
    const wchar_t* name;
    std::wstring data;
  } planted[] = {
      {L"7", L"InstallLocation", install_folder().value() + L"\\"},
      {L"8", L"UninstallString",
       L"\"" + base::ToUpperAscii(install_folder().value()) + L"\\.\\" + kLauncherExeName +
           L"\" /uninstall"},
      {L"9", L"InstallLocation", other_folder.value()},
  };
  for (const auto& entry : planted) {
    base::win::RegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_LOCAL_MACHINE, (parent + entry.suffix).c_str(),
                                        KEY_WRITE | KEY_WOW64_32KEY));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(L"DisplayName", L"Tavro"));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(entry.name, entry.data.c_str()));
  }

  RunToSuccess(Uninstall());
  const std::string logs = ReadLogs();
  EXPECT_EQ(2u, CountOccurrences(logs, "] Removing the uninstall entry ")) << logs;
  const base::win::RegistryKey other(HKEY_LOCAL_MACHINE, (parent + L"9").c_str(),
                                     KEY_READ | KEY_WOW64_32KEY);
  EXPECT_TRUE(other.Valid());
  ASSERT_EQ(ERROR_SUCCESS, base::win::RegistryKey(HKEY_LOCAL_MACHINE,
                                                  GetUninstallRegistryKey().c_str(),
                                                  KEY_WRITE | KEY_WOW64_32KEY)
                               .DeleteKey((name + L"9").c_str()));
  ExpectNothingLeftButThePreferences();
}

// A folder typed in holds a journal written by hand: it would put a batch file into the
// all users' startup folder and make the browser's class and uninstall entry start another
// program. Neither the front end's read of the folder nor the backend acts on it; the
// journal stays as it was, and the installation is refused.
TEST_F(InstallerRecoveryE2eTest, HandWrittenJournalThatWouldStartProgramsIsNotActedOn) {
  CopyPackages();
  const base::FilePath planted = work_folder().Append(L"evil");
  ASSERT_TRUE(base::CreateDirectory(planted));
  base::FilePath startup;
  ASSERT_EQ(S_OK, base::win::GetKnownFolderPath(FOLDERID_CommonStartup, KF_FLAG_CREATE, &startup));
  const base::FilePath batch = startup.Append(L"tavro_test_planted.bat");
  const std::string contents = "start evil.exe\r\n";
  const std::wstring command = L"\"" + planted.Append(L"evil.exe").value() + L"\"";
  const std::vector<uint8_t> data = TextBytes(command);
  const std::wstring product_class =
      L"Software\\Classes\\" +
      base::Utf8ToUtf16(ProductInfo::GetProductName() + ProductInfo::GetStream()) +
      L"\\shell\\open\\command";
  std::string journal;
  for (const std::unique_ptr<base::DictionaryValue>& record :
       {undo_record::FileKept(batch, &contents, base::FilePath()),
        undo_record::RegistryValueChanged(HKEY_LOCAL_MACHINE, 0, product_class, L"", true, REG_SZ,
                                          data),
        undo_record::RegistryValueChanged(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY,
                                          Installer::MakeUninstallKey(std::wstring()),
                                          L"UninstallString", true, REG_SZ, data)}) {
    std::string line;
    ASSERT_TRUE(base::JsonWriter::Write(*record, &line));
    journal += line + "\n";
  }
  const base::FilePath journal_file = planted.Append(kUndoJournalFileName);
  ASSERT_EQ(static_cast<int>(journal.size()),
            base::WriteFileFromBuffer(journal_file, journal.data(), static_cast<int>(journal.size())));
  const RegistrySnapshot registry_before = RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots());

  const ProcessResult run = RunProcess(
      L"\"" + current_.Append(L"installer.exe").value() + L"\" --silent --installfolder=\"" +
          planted.value() + L"\"",
      MakeProcessOptions());
  EXPECT_TRUE(run.started && !run.timed_out && run.exit_code != 0) << run.Describe();
  EXPECT_FALSE(base::PathExists(batch));
  EXPECT_EQ("(no differences)\n",
            FormatDifferences(CompareSnapshots(
                registry_before, RegistrySnapshot::Capture(RegistrySnapshot::DefaultRoots()),
                RegistrySnapshot::DefaultAllowList())));
  std::string kept;
  ASSERT_TRUE(base::ReadFileToString(journal_file, &kept));
  EXPECT_EQ(journal, kept);
  EXPECT_NE(std::string::npos, ReadLogs().find("Keeping a refused undo record")) << ReadLogs();
}

// A front end killed while it downloads the package, another while it unpacks it: what
// they left in the download folder goes with the next front end, which installs.
TEST_F(InstallerRecoveryE2eTest, FrontEndsKilledWhileDownloadingAndUnpackingLeaveNothing) {
  const std::wstring install = L"\"" + host().value() + L"\" --silent --installfolder=\"" +
                               install_folder().value() + L"\"";
  // Half the package comes, again and again.
  std::string package;
  ASSERT_TRUE(base::ReadFileToString(ExamplePackage::Current().package_installer(), &package));
  server().CutPackageDownloads(static_cast<int64_t>(package.size() / 2), 1000);
  for (const char* marker : {"] Retry 1 of the download of", "] Unpacking files from archive"}) {
    TestProcess front_end;
    ASSERT_TRUE(front_end.Start(install, MakeProcessOptions()));
    // Once its backend runs too: under Wine a process whose parent is ended while it starts
    // it may never start at all (it then stays, one thread and no log line, for good).
    const std::function<bool()> reached = Logged(marker);
    const std::function<bool()> backend_runs = Logged("] Using initial process handle");
    ASSERT_TRUE(TerminateWhenLogged(&front_end, [&] { return reached() && backend_runs(); }))
        << ReadLogs();
    const ProcessResult run = front_end.Wait();
    EXPECT_EQ(1u, run.exit_code) << run.Describe();
    // The backend it started, waiting for the package outside its job, ends with it.
    ASSERT_TRUE(PollUntil([this] { return !IsBackendClaimHeld(install_folder()); }))
        << ReadLogs();
    server().ClearFailures();
  }
  bool left = false;
  for (const std::wstring& path : TreeSnapshot::Capture(download_folder()).GetFilePaths())
    left = left || base::StartsWith(path, L"tavro_installer_", base::CompareCase::SENSITIVE);
  ASSERT_TRUE(left) << "the killed front ends left nothing to clean";

  RunToSuccess(install);
  ExpectDownloadFolderClean();
  RunToSuccess(Uninstall());
}

// The installer of the version in the install folder.
base::FilePath InstalledUninstaller(const base::FilePath& install_folder) {
  return install_folder.AppendASCII(ExamplePackage::Current().version()).Append(L"installer.exe");
}

// An uninstallation ended after it deleted the autoupdate task, before its point of no
// return, is undone whole by the next run that reads the folder: the task is back with the
// status file, the entry and the shortcuts, and the browser keeps updating.
TEST_F(InstallerRecoveryE2eTest, UninstallationUndoneAfterItDeletedTheTaskKeepsTheTask) {
  CopyPackages();
  // The files go quickly: on a busy machine the end may come past the point of no return,
  // where the uninstallation is rightly finished instead. Then once more.
  bool ended_before_the_point_of_no_return = false;
  for (int attempt = 0; attempt < 3 && !ended_before_the_point_of_no_return; ++attempt) {
    RunToSuccess(Install(current_));
    const std::wstring uninstall = Uninstall();
    TestProcess front_end;
    ASSERT_TRUE(front_end.Start(uninstall, MakeProcessOptions()));
    // While the installation's files go: the installer that runs stays for the batch.
    EXPECT_TRUE(TerminateWhenLogged(&front_end,
                                    Logged(InstalledUninstaller(install_folder()).ToUtf8() +
                                           ": it cannot be opened for exclusive access"),
                                    L"installer.exe"))
        << ReadLogs();
    front_end.Wait();
    ended_before_the_point_of_no_return = HasUndoJournal(install_folder());
    if (!ended_before_the_point_of_no_return &&
        base::PathExists(InstalledUninstaller(install_folder()))) {
      RunToSuccess(uninstall);
    }
  }
  ASSERT_TRUE(ended_before_the_point_of_no_return);
  {
    const base::win::ScopedComInitializer com;
    EXPECT_EQ(RecoveryResult::kRecovered,
              RecoverInterruptedRun(install_folder(), &IsInstallationRegistryKey));
  }
  ExpectOneInstallation();
  EXPECT_TRUE(base::PathExists(install_folder().Append(kInstallStatusFileName)));
  RunToSuccess(Uninstall());
  ExpectNothingLeftButThePreferences();
}

// An uninstallation whose backend is ended at |marker|, past its point of no return: the
// backend has removed everything but what it runs from. What it had kept aside for an undo
// is gone already; when the batch had started, it removed the rest; else the same command
// run again finishes the uninstallation. Either way nothing but the preferences is left.
// With |profile_files|, the installation has a single profile of that many files, and the
// uninstallation deletes it.
class UninstallPastItsPointOfNoReturnE2eTest : public InstallerRecoveryE2eTest {
 protected:
  // Installs, and uninstalls but for what an uninstallation ended before its batch started
  // leaves: the installer and library it ran from, in their version folder, and the batch.
  // The uninstallation's command.
  std::wstring LeaveWhatAnUninstallationEndedBeforeItsBatchLeaves() {
    CopyPackages();
    RunToSuccess(Install(current_));
    const std::wstring uninstall = Uninstall();
    const base::FilePath version_folder = InstalledUninstaller(install_folder()).DirName();
    const base::FilePath kept = work_folder().Append(L"kept");
    EXPECT_TRUE(base::CreateDirectory(kept));
    for (const wchar_t* name : {L"installer.exe", L"tavro_installer.dll"})
      EXPECT_TRUE(base::CopySingleFile(version_folder.Append(name), kept.Append(name)));
    RunToSuccess(uninstall);
    EXPECT_FALSE(base::PathExists(version_folder));
    EXPECT_TRUE(base::CreateDirectory(version_folder));
    for (const wchar_t* name : {L"installer.exe", L"tavro_installer.dll"})
      EXPECT_TRUE(base::CopySingleFile(kept.Append(name), version_folder.Append(name)));
    EXPECT_EQ(7, base::WriteFileFromBuffer(install_folder().Append(L"k.bat"), "del %0\n", 7));
    EXPECT_TRUE(base::DeletePath(kept, true));
    return uninstall;
  }

  // Whether the same command had to be run again.
  bool EndAndRunAgain(const std::string& marker, int profile_files) {
    CopyPackages();
    const bool delete_profile = profile_files > 0;
    RunToSuccess(Install(current_) + (delete_profile ? L" --singleprofile=1" : L""));
    const base::FilePath profile = install_folder().Append(L"profile");
    for (int i = 0; i < profile_files; ++i) {
      const base::FilePath file = profile.Append(L"Cache").AppendASCII("f" + std::to_string(i));
      EXPECT_TRUE(base::CreateDirectory(file.DirName()));
      EXPECT_EQ(4, base::WriteFileFromBuffer(file, "data", 4));
    }
    const std::wstring uninstall =
        Uninstall() + (delete_profile ? L" --deleteuserprofile" : L"");
    {
      TestProcess front_end;
      EXPECT_TRUE(front_end.Start(uninstall, MakeProcessOptions()));
      EXPECT_TRUE(TerminateWhenLogged(&front_end, Logged(marker), L"installer.exe"))
          << ReadLogs();
      // And for the clean-up batch, when it was started.
      const ProcessResult run = front_end.Wait();
      EXPECT_TRUE(run.started && !run.timed_out) << run.Describe();
    }
    // Nothing is left for an undo: the journal and what it kept aside went first.
    EXPECT_FALSE(HasUndoJournal(install_folder()));
    const bool again = base::PathExists(InstalledUninstaller(install_folder()));
    if (again)
      RunToSuccess(uninstall);
    ExpectNothingLeftButThePreferences();
    return again;
  }
};

TEST_F(UninstallPastItsPointOfNoReturnE2eTest, EndedWhileDeletingTheProfile) {
  // Ended before its batch could start: the run again deletes the rest of the profile.
  EXPECT_TRUE(EndAndRunAgain("] Deleting user profile.", 400));
}

// Past the start of its batch. (Not at the start itself: under Wine a process whose parent
// is ended while it starts it may never start at all, and then stays for good.)
TEST_F(UninstallPastItsPointOfNoReturnE2eTest, EndedAtItsSuccess) {
  EndAndRunAgain("] Installation succeeded", 0);
}

TEST_F(UninstallPastItsPointOfNoReturnE2eTest, EndedAfterItsSuccessWithTheProfile) {
  EndAndRunAgain("] Installer backend exiting", 20);
}

// The same command run again, with nothing but its own installer and the batch it never
// started left: it removes them.
TEST_F(UninstallPastItsPointOfNoReturnE2eTest, RunAgainAfterTheBatchWasWrittenButNotStarted) {
  const std::wstring uninstall = LeaveWhatAnUninstallationEndedBeforeItsBatchLeaves();
  RunToSuccess(uninstall);
  ExpectNothingLeftButThePreferences();
}

// An installation instead of the same command: it removes what the ended uninstallation
// left, and makes no second version folder.
TEST_F(UninstallPastItsPointOfNoReturnE2eTest, InstallationAfterTheBatchWasWrittenButNotStarted) {
  LeaveWhatAnUninstallationEndedBeforeItsBatchLeaves();
  RunToSuccess(Install(current_));
  ExpectOneInstallation();
  EXPECT_FALSE(base::PathExists(install_folder().AppendASCII(ExamplePackage::Current().version() + "_0")));
  RunToSuccess(Uninstall());
  ExpectNothingLeftButThePreferences();
}

// After an upgrade, the previous version's installer uninstalls: the files of its own
// version go too, and what of them it runs from is left to the batch under the names it
// has then. Nothing is left.
TEST_F(InstallerRecoveryE2eTest, UninstalledByThePreviousVersionsInstallerAfterAnUpgrade) {
  CopyPackages();
  RunToSuccess(Install(current_));
  RunToSuccess(Install(next_));
  const base::FilePath previous = InstalledUninstaller(install_folder());
  ASSERT_TRUE(base::PathExists(previous));
  RunToSuccess(L"\"" + previous.value() + L"\" --uninstall --silent");
  ExpectNothingLeftButThePreferences();
}

// The version folder deleted by hand, then the installation made again: the uninstaller
// that runs from the version folder both records name leaves itself to the batch, which
// removes it.
TEST_F(InstallerRecoveryE2eTest, UninstalledAfterTheVersionFolderWasDeletedAndReinstalled) {
  CopyPackages();
  RunToSuccess(Install(current_));
  ASSERT_TRUE(base::DeletePath(InstalledUninstaller(install_folder()).DirName(), true));
  RunToSuccess(Install(current_));
  ExpectOneInstallation();
  RunToSuccess(Uninstall());
  ExpectNothingLeftButThePreferences();
}

// Neither status file nor uninstall entry, but the version folder and the launcher: the
// next installation is an upgrade of that installation (its task, its shortcuts, no second
// version folder), and the uninstallation leaves nothing.
TEST_F(InstallerRecoveryE2eTest, InstallationWithoutStatusFileAndUninstallEntryIsUpgraded) {
  CopyPackages();
  RunToSuccess(Install(current_));
  const std::vector<base::FilePath> shortcuts = FindShortcuts();
  ASSERT_TRUE(base::DeletePath(install_folder().Append(kInstallStatusFileName), false));
  const std::wstring entry = FindUninstallEntry(install_folder());
  ASSERT_FALSE(entry.empty());
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    base::win::RegistryKey parent(root, GetUninstallRegistryKey().c_str(),
                                  KEY_ALL_ACCESS | KEY_WOW64_32KEY);
    if (parent.Valid())
      parent.DeleteKey(entry.c_str());
  }
  ASSERT_TRUE(FindUninstallEntry(install_folder()).empty());

  RunToSuccess(Install(next_));
  ExpectOneInstallation();
  EXPECT_EQ(shortcuts, FindShortcuts());
  EXPECT_FALSE(base::PathExists(install_folder().AppendASCII(ExamplePackage::Next().version() + "_0")));
  RunToSuccess(Uninstall());
  ExpectNothingLeftButThePreferences();
}

}  // namespace
}  // namespace test
}  // namespace installer
