#include "desktop/windows/installer/service/transactions/undo_journal.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include <knownfolders.h>
#include <shlobj.h>

#include "base/command_line.h"
#include "base/environment.h"
#include "base/files/file_util.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/test/scoped_log_capture.h"
#include "base/values.h"
#include "base/win/known_folder.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/transactions/change_registry_value_operation.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/delete_registry_key_operation.h"
#include "desktop/windows/installer/service/transactions/move_file_operation.h"
#include "desktop/windows/installer/service/transactions/preserve_file_operation.h"
#include "desktop/windows/installer/service/transactions/snapshot_for_testing.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// What the test tells the run it kills: where the run works.
constexpr char kFolderVariable[] = "TAVRO_TEST_JOURNAL_FOLDER";
constexpr char kRegistryVariable[] = "TAVRO_TEST_JOURNAL_KEY";
constexpr char kPointOfNoReturnVariable[] = "TAVRO_TEST_JOURNAL_COMMITS";
constexpr base::TimeDelta kNoWait = base::TimeDelta();
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring GetVar(const char* name) {
  std::string value;
  base::Environment::Create()->GetVar(name, &value);
  return base::Utf8ToUtf16(value);
}

// A run in the installation "install" of the test's folder: a version folder with a new
// file, a file replaced, one deleted, one renamed, the preferences rewritten in place,
// registry values written and deleted and a key deleted; then the process ends as a crash
// would end it, without rolling back or committing. With the commit variable set it has
// passed its point of no return first.
TEST(UndoJournalChildTest, DISABLED_RunThatIsKilled) {
  if (!base::test::IsChildTest())
    return;
  const base::FilePath root(GetVar(kFolderVariable));
  const base::FilePath install = root.Append(L"install");
  const std::wstring key = GetVar(kRegistryVariable);
  UndoJournal::OpenResult opened = UndoJournal::OpenResult::kFailed;
  std::unique_ptr<UndoJournal> journal = UndoJournal::OpenForRun(install, kNoWait, {}, &opened);
  ASSERT_EQ(UndoJournal::OpenResult::kOpened, opened);
  auto* transaction = new Transaction;  // Never destroyed: the process is killed.
  transaction->AttachJournal(std::move(journal));
  const base::FilePath source = root.Append(L"package\\new.txt");
  ASSERT_TRUE(transaction->Do(std::make_unique<CreateFolderOperation>(install.Append(L"2.0"))));
  ASSERT_TRUE(transaction->Do(
      std::make_unique<CopyFileOperation>(source, install.Append(L"2.0\\bin\\new.txt"))));
  ASSERT_TRUE(transaction->Do(
      std::make_unique<CopyFileOperation>(source, install.Append(L"launcher.exe"))));
  ASSERT_TRUE(transaction->Do(
      std::make_unique<DeleteFileOperation>(install.Append(L"1.0\\old.txt"), false, true)));
  ASSERT_TRUE(transaction->Do(std::make_unique<MoveFileOperation>(
      install.Append(L"tavro.exe"), install.Append(L"tavro.old"))));
  ASSERT_TRUE(
      transaction->Do(std::make_unique<PreserveFileOperation>(install.Append(L"prefs.json"))));
  ASSERT_EQ(7, base::WriteFileFromBuffer(install.Append(L"prefs.json"), "{\"a\":2}", 7));
  ASSERT_TRUE(transaction->Do(std::make_unique<ChangeRegistryValueOperation>(
      HKEY_CURRENT_USER, key + L"\\Classes\\New", L"Open",
      ChangeRegistryValueOperation::TextData(L"new"), REG_SZ, 0)));
  ASSERT_TRUE(transaction->Do(std::make_unique<ChangeRegistryValueOperation>(
      HKEY_CURRENT_USER, key, L"Kept", std::vector<uint8_t>(),
      ChangeRegistryValueOperation::kDeleteValue, 0)));
  ASSERT_TRUE(transaction->Do(
      std::make_unique<DeleteRegistryKeyOperation>(HKEY_CURRENT_USER, key + L"\\Tree", 0)));
  if (!GetVar(kPointOfNoReturnVariable).empty()) {
    ASSERT_TRUE(transaction->PassPointOfNoReturn());
  }
  ::TerminateProcess(::GetCurrentProcess(), 1);
}

class UndoJournalTest : public test::TempFolderTest {
 protected:
  UndoJournalTest() : key_(HKEY_CURRENT_USER, L"UndoJournal") {}

  void SetUp() override {
    test::TempFolderTest::SetUp();
    ASSERT_EQ(ERROR_SUCCESS, key_.result());
    Write(L"package\\new.txt", "new");
    Write(L"install\\launcher.exe", "launcher 1");
    Write(L"install\\tavro.exe", "tavro 1");
    Write(L"install\\1.0\\old.txt", "old");
    Write(L"install\\prefs.json", "{\"a\":1}");
    ASSERT_EQ(ERROR_SUCCESS, key_.WriteRaw(L"", L"Kept", REG_DWORD, {1, 0, 0, 0}));
    ASSERT_EQ(ERROR_SUCCESS, key_.WriteRaw(L"Tree\\Sub", L"", REG_SZ, {'x', 0, 0, 0}));
    ASSERT_EQ(ERROR_SUCCESS, key_.WriteRaw(L"Tree", L"Bytes", REG_BINARY, {1, 2, 3}));
  }

  // Runs the run of DISABLED_RunThatIsKilled and expects it to have been killed.
  void RunAndKill(bool pass_point_of_no_return) {
    base::LaunchOptions options;
    options.environment = {
        {base::Utf8ToUtf16(kFolderVariable), temp_.GetPath().value()},
        {base::Utf8ToUtf16(kRegistryVariable), key_.path()},
        {base::Utf8ToUtf16(kPointOfNoReturnVariable), pass_point_of_no_return ? L"1" : L""}};
    const base::test::ChildTestResult run =
        base::test::RunChildTest("UndoJournalChildTest.DISABLED_RunThatIsKilled", options);
    ASSERT_TRUE(run.started);
    ASSERT_EQ(1u, run.exit_code) << run.output;
    ASSERT_TRUE(HasUndoJournal(install()));
  }

  base::FilePath install() const { return Path(L"install"); }

  test::ScopedTestRegistryKey key_;
};

TEST_F(UndoJournalTest, AKilledRunIsUndoneByTheNextOne) {
  const test::FileSnapshot files = Snapshot();
  const test::RegistrySnapshot registry = key_.Snapshot();
  RunAndKill(false);
  ASSERT_NE(files, Snapshot());
  ASSERT_NE(registry, key_.Snapshot());

  EXPECT_EQ(RecoveryResult::kRecovered, RecoverInterruptedRun(install(), {}));
  // Everything as it was: files, folders, backups gone, the registry, the journal gone.
  EXPECT_EQ(files, Snapshot());
  EXPECT_EQ(registry, key_.Snapshot());
  EXPECT_EQ(RecoveryResult::kNothing, RecoverInterruptedRun(install(), {}));
}

TEST_F(UndoJournalTest, AKilledRunPastItsPointOfNoReturnIsFinished) {
  RunAndKill(true);
  const test::RegistrySnapshot registry = key_.Snapshot();

  EXPECT_EQ(RecoveryResult::kRecovered, RecoverInterruptedRun(install(), {}));
  // The run's changes stay; what it kept for an undo is gone.
  EXPECT_EQ((std::vector<std::wstring>{
                L"install", L"install\\2.0", L"install\\2.0\\bin", L"install\\2.0\\bin\\new.txt",
                L"install\\launcher.exe", L"install\\prefs.json", L"install\\tavro.old",
                L"package", L"package\\new.txt"}),
            test::ListPaths(Snapshot()));
  EXPECT_EQ("new", Read(L"install\\launcher.exe"));
  EXPECT_EQ("{\"a\":2}", Read(L"install\\prefs.json"));
  EXPECT_EQ(registry, key_.Snapshot());
}

TEST_F(UndoJournalTest, ANewRunWaitsForTheRunThatHoldsTheJournalThenTakesOverWhatIsLeft) {
  const base::FilePath made = Path(L"made\\install");
  ASSERT_TRUE(base::CreateDirectory(made));
  {
    UndoJournal::OpenResult opened = UndoJournal::OpenResult::kFailed;
    std::unique_ptr<UndoJournal> held = UndoJournal::OpenForRun(made, kNoWait, {}, &opened);
    ASSERT_EQ(UndoJournal::OpenResult::kOpened, opened);
    // The run made the folders of the installation and a file, then died before it could
    // write a whole record.
    ASSERT_TRUE(held->Append(*undo_record::FolderCreated(Path(L"made"))));
    ASSERT_TRUE(held->Append(*undo_record::FolderCreated(made)));
    ASSERT_TRUE(held->Append(*undo_record::FileCreated(made.Append(L"file.txt"))));
    Write(L"made\\install\\file.txt", "partial");

    EXPECT_EQ(RecoveryResult::kHeld, RecoverInterruptedRun(made, {}));
    std::unique_ptr<UndoJournal> second = UndoJournal::OpenForRun(made, kNoWait, {}, &opened);
    EXPECT_FALSE(second);
    EXPECT_EQ(UndoJournal::OpenResult::kHeld, opened);
  }
  ASSERT_TRUE(base::AppendToFile(made.Append(kUndoJournalFileName), "{\"kind\":\"file_cr", 16));

  // The next run undoes the file; the folders stay for it, as its own.
  UndoJournal::OpenResult opened = UndoJournal::OpenResult::kFailed;
  std::unique_ptr<UndoJournal> next = UndoJournal::OpenForRun(made, kNoWait, {}, &opened);
  ASSERT_TRUE(next);
  EXPECT_EQ(UndoJournal::OpenResult::kRecovered, opened);
  EXPECT_EQ(2u, next->size());
  EXPECT_FALSE(base::PathExists(made.Append(L"file.txt")));
  // Its point of no return, taken back, undoes nothing; its records undo what it made.
  ASSERT_TRUE(next->MarkPointOfNoReturn());
  next->RevokePointOfNoReturn();
  EXPECT_FALSE(next->passed_point_of_no_return());
  next.reset();
  EXPECT_EQ(RecoveryResult::kRecovered, RecoverInterruptedRun(made, {}));
  EXPECT_FALSE(base::PathExists(Path(L"made")));
}

// The bytes of |text| as a REG_SZ value holds them.
std::vector<uint8_t> TextBytes(const std::wstring& text) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
  return std::vector<uint8_t>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

// Leaves a journal in the installation holding |record| alone, as an interrupted run would.
void LeaveJournal(const base::FilePath& folder, const base::DictionaryValue& record) {
  UndoJournal::OpenResult opened = UndoJournal::OpenResult::kFailed;
  std::unique_ptr<UndoJournal> journal = UndoJournal::OpenForRun(folder, kNoWait, {}, &opened);
  ASSERT_TRUE(journal);
  ASSERT_TRUE(journal->Append(record));
}

std::string ReadJournal(const base::FilePath& folder) {
  std::string text;
  base::ReadFileToString(folder.Append(kUndoJournalFileName), &text);
  return text;
}

// Records that name places outside the installation, would write what starts a program,
// or belong to another user's hive are not acted on; each stays in the journal, with a
// warning, for whoever may undo it, and the journal is not taken as undone.
TEST_F(UndoJournalTest, RecordsThatActElsewhereOrWouldRunCodeAreRefusedAndKept) {
  Write(L"outside.txt", "someone else's");
  base::win::RegistryKey environment(HKEY_CURRENT_USER, L"Environment", KEY_READ);
  std::wstring temp_before;
  ASSERT_EQ(ERROR_SUCCESS, environment.ReadValue(L"TEMP", &temp_before));
  base::FilePath startup;
  ASSERT_EQ(S_OK, base::win::GetKnownFolderPath(FOLDERID_Startup, KF_FLAG_DONT_VERIFY, &startup));
  ASSERT_TRUE(base::CreateDirectory(startup));
  const base::FilePath startup_batch = startup.Append(L"tavro_test_evil.bat");
  const std::string evil_batch = "evil.exe";
  const std::wstring evil = L"\"C:\\evil\\evil.exe\" --run";
  std::unique_ptr<base::DictionaryValue> another_users =
      undo_record::RegistryValueChanged(HKEY_CURRENT_USER, 0, key_.path(), L"Kept", false,
                                        REG_NONE, {});
  another_users->SetString("user", "S-1-5-21-1-2-3-1001");
  std::unique_ptr<base::DictionaryValue> records[] = {
      undo_record::FileCreated(Path(L"outside.txt")),
      undo_record::FileCreated(install().Append(L"..\\outside.txt")),
      undo_record::RegistryValueChanged(HKEY_CURRENT_USER, 0, L"Environment", L"TEMP", false,
                                        REG_NONE, {}),
      // Inside "Software", but not the installation's.
      undo_record::RegistryValueChanged(HKEY_CURRENT_USER, 0, kRunKey, L"Evil", true, REG_SZ,
                                        TextBytes(evil)),
      // The installation's keys, with commands of someone else's program.
      undo_record::RegistryValueChanged(HKEY_CURRENT_USER, 0,
                                        key_.SubkeyPath(L"Classes\\TavroTest\\shell\\open\\command"),
                                        L"", true, REG_SZ, TextBytes(evil)),
      undo_record::RegistryValueChanged(HKEY_CURRENT_USER, 0, key_.SubkeyPath(L"Uninstall"),
                                        L"UninstallString", true, REG_SZ, TextBytes(evil)),
      undo_record::FileKept(startup_batch, &evil_batch, base::FilePath()),
      std::move(another_users)};
  const undo_record::RegistryKeyFilter installation_keys = [this](const std::wstring& path,
                                                                  bool) {
    return base::StartsWith(path, key_.path(), base::CompareCase::INSENSITIVE_ASCII);
  };
  const test::RegistrySnapshot registry = key_.Snapshot();
  for (const std::unique_ptr<base::DictionaryValue>& record : records) {
    LeaveJournal(install(), *record);
    const std::string journal = ReadJournal(install());
    base::test::ScopedLogCapture log;
    EXPECT_EQ(RecoveryResult::kFailed, RecoverInterruptedRun(install(), installation_keys));
    EXPECT_EQ(journal, ReadJournal(install()));
    EXPECT_TRUE(log.LoggedPrefix(logging::LOG_WARNING, "Keeping a refused undo record"));
    ASSERT_TRUE(base::DeletePath(install().Append(kUndoJournalFileName), false));
  }
  EXPECT_EQ("someone else's", Read(L"outside.txt"));
  std::wstring temp_after;
  EXPECT_EQ(ERROR_SUCCESS, environment.ReadValue(L"TEMP", &temp_after));
  EXPECT_EQ(temp_before, temp_after);
  EXPECT_FALSE(base::win::RegistryKey(HKEY_CURRENT_USER, kRunKey, KEY_READ).HasValue(L"Evil"));
  EXPECT_EQ(registry, key_.Snapshot());
  EXPECT_FALSE(base::PathExists(startup_batch));

  // A command of the installation's own program is put back, and so is a record of the
  // reader's hive that names no user (as journals did before records named one) when the
  // journal is the reader's.
  const std::wstring own = L"\"" + install().Append(L"launcher.exe").value() + L"\" /uninstall";
  LeaveJournal(install(), *undo_record::RegistryValueChanged(
                              HKEY_CURRENT_USER, 0, key_.SubkeyPath(L"Uninstall"),
                              L"UninstallString", true, REG_SZ, TextBytes(own)));
  EXPECT_EQ(RecoveryResult::kRecovered, RecoverInterruptedRun(install(), installation_keys));
  EXPECT_EQ(std::make_pair(static_cast<DWORD>(REG_SZ), TextBytes(own)),
            key_.ReadRaw(L"Uninstall", L"UninstallString"));
  std::unique_ptr<base::DictionaryValue> unnamed = undo_record::RegistryValueChanged(
      HKEY_CURRENT_USER, 0, key_.path(), L"Kept", false, REG_NONE, {});
  unnamed->Remove("user", nullptr);
  LeaveJournal(install(), *unnamed);
  EXPECT_EQ(RecoveryResult::kRecovered, RecoverInterruptedRun(install(), installation_keys));
  EXPECT_EQ(test::ScopedTestRegistryKey::kMissing, key_.ReadRaw(L"", L"Kept").first);
}

// A read of a folder's status undoes what it can, but never starts the program that would
// remove what an interrupted run installed: that record, and those before it, wait for a
// run of the installer.
TEST_F(UndoJournalTest, AStatusReadStartsNoProgram) {
  Write(L"install\\uninstall_component.exe", "not signed");
  const base::FilePath program = install().Append(L"uninstall_component.exe");
  base::CommandLine undo(program);
  undo.AppendSwitch("uninstall");
  UndoJournal::OpenResult opened = UndoJournal::OpenResult::kFailed;
  {
    std::unique_ptr<UndoJournal> journal =
        UndoJournal::OpenForRun(install(), kNoWait, {}, &opened);
    ASSERT_TRUE(journal);
    ASSERT_TRUE(journal->Append(*undo_record::ProgramRun(undo)));
    ASSERT_TRUE(journal->Append(*undo_record::FileCreated(install().Append(L"new.txt"))));
  }
  Write(L"install\\new.txt", "made by the run");
  base::test::ScopedLogCapture log;
  EXPECT_EQ(RecoveryResult::kFailed,
            RecoverInterruptedRun(install(), {}, RecoveryPurpose::kStatusRead));
  EXPECT_EQ("(missing)", Read(L"install\\new.txt"));
  EXPECT_TRUE(HasUndoJournal(install()));
  EXPECT_TRUE(log.Logged(logging::LOG_INFO,
                         "Leaving the undo of a program's installation to a run of the installer"));
  EXPECT_EQ(0, log.CountLinesContaining("Undoing an installation of an interrupted run"));

  // The run takes it up (the program, unsigned, is refused there).
  EXPECT_EQ(RecoveryResult::kRecovered, RecoverInterruptedRun(install(), {}));
  EXPECT_EQ(1, log.CountLinesContaining("Undoing an installation of an interrupted run"));
  EXPECT_FALSE(HasUndoJournal(install()));
}

// A journal that does not read whole, beyond a torn last line, is left as it is: what the
// interrupted run changed is unknown, and nothing of it is cut off or undone.
TEST_F(UndoJournalTest, AJournalThatDoesNotReadWholeIsLeftAsItIs) {
  Write(L"install\\new.txt", "made by the run");
  std::string line;
  ASSERT_TRUE(base::JsonWriter::Write(*undo_record::FileCreated(install().Append(L"new.txt")),
                                      &line));
  const base::FilePath journal = install().Append(kUndoJournalFileName);
  const std::string damaged = line + "\n\x01garbage\n" + line + "\n";
  Write(L"install\\installation_undo.journal", damaged);
  EXPECT_TRUE(HasUnreadableUndoJournal(install()));
  EXPECT_EQ(RecoveryResult::kUnreadable, RecoverInterruptedRun(install(), {}));
  UndoJournal::OpenResult opened = UndoJournal::OpenResult::kFailed;
  EXPECT_FALSE(UndoJournal::OpenForRun(install(), kNoWait, {}, &opened));
  EXPECT_EQ(UndoJournal::OpenResult::kUnreadable, opened);
  EXPECT_EQ(damaged, Read(L"install\\installation_undo.journal"));
  EXPECT_EQ("made by the run", Read(L"install\\new.txt"));

  // Emptied, it says nothing of what the run changed either; a journal that a run opened and
  // let go before it changed anything still holds its first line.
  Write(L"install\\installation_undo.journal", "");
  EXPECT_TRUE(HasUnreadableUndoJournal(install()));
  EXPECT_EQ(RecoveryResult::kUnreadable, RecoverInterruptedRun(install(), {}));
  ASSERT_TRUE(base::DeletePath(journal, false));
  EXPECT_TRUE(UndoJournal::OpenForRun(install(), kNoWait, {}, &opened));
  EXPECT_FALSE(HasUnreadableUndoJournal(install()));
  EXPECT_EQ(RecoveryResult::kNothing, RecoverInterruptedRun(install(), {}));
  EXPECT_FALSE(base::PathExists(journal));

  // A last line cut short is a write the run did not finish: the rest is undone.
  Write(L"install\\installation_undo.journal", line + "\n" + line.substr(0, 9));
  EXPECT_FALSE(HasUnreadableUndoJournal(install()));
  EXPECT_EQ(RecoveryResult::kRecovered, RecoverInterruptedRun(install(), {}));
  EXPECT_EQ("(missing)", Read(L"install\\new.txt"));
  EXPECT_FALSE(base::PathExists(journal));
}

}  // namespace
}  // namespace installer
