#include "desktop/windows/installer/cleanup_batch.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "base/environment.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_environment.h"
#include "base/time/time.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/test/test_installation.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr base::TimeDelta kBatchWait = base::TimeDelta::FromSeconds(30);

bool WaitUntilGone(const base::FilePath& path) {
  const base::TimeTicks deadline = base::TimeTicks::Now() + kBatchWait;
  while (base::PathExists(path)) {
    if (base::TimeTicks::Now() >= deadline)
      return false;
    ::Sleep(50);
  }
  return true;
}

// Writes |path| with the folders it needs.
bool WriteNewFile(const base::FilePath& path, const std::string& contents) {
  return base::CreateDirectory(path.DirName()) && test::WriteTestFile(path, contents);
}

// The 8.3 form of an existing path in the OEM code page.
std::string ShortOemPath(const base::FilePath& path) {
  wchar_t short_path[MAX_PATH] = {};
  const DWORD length = ::GetShortPathNameW(path.value().c_str(), short_path, MAX_PATH);
  char oem[MAX_PATH * 2] = {};
  ::WideCharToMultiByte(CP_OEMCP, 0, short_path, static_cast<int>(length), oem, sizeof(oem),
                        nullptr, nullptr);
  return oem;
}

// The system folder as the batch names it.
std::string SystemFolderText() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  return base::Utf16ToUtf8(std::wstring(folder, length));
}

TEST(CleanupBatchTest, WaitsOnlyForTheProcessesThereAreAndDeletesOnlyWhatIsLeft) {
  const base::FilePath folder(L"C:\\Program Files\\Tavro");
  const std::string system = SystemFolderText();
  const std::string tasklist = "\"" + system + "\\TASKLIST.EXE\"";
  const std::string find = "\"" + system + "\\FIND.EXE\"";
  const std::string ping = "\"" + system + "\\ping.exe\"";
  // Only this installer, and everything deleted already: the batch only deletes itself.
  EXPECT_EQ(
      "SET PID1_RUNNING=TRUE\n"
      ":again\n"
      "IF %PID1_RUNNING%==TRUE (\n" +
          tasklist + " /FI \"PID eq 17\" | " + find + " /c /i \".exe\"\n" +
          "IF ERRORLEVEL 1 SET PID1_RUNNING=FALSE\n"
          ")\n" +
          ping +
          " -n 2 127.0.0.1\n"
          "IF %PID1_RUNNING%==TRUE GOTO :again\n"
          "del %0\n",
      MakeCleanupBatch({17, 0, 0}, folder, {}));

  // A second installer keeps its number without a front end; two files in one folder name
  // it once; a file outside the install folder removes no folder; a "%" stands doubled.
  EXPECT_EQ(
      "SET PID1_RUNNING=TRUE\n"
      "SET PID3_RUNNING=TRUE\n"
      ":again\n"
      "IF %PID1_RUNNING%==TRUE (\n" +
          tasklist + " /FI \"PID eq 17\" | " + find + " /c /i \".exe\"\n" +
          "IF ERRORLEVEL 1 SET PID1_RUNNING=FALSE\n"
          ")\n"
          "IF %PID3_RUNNING%==TRUE (\n" +
          tasklist + " /FI \"PID eq 4294967295\" | " + find + " /c /i \".exe\"\n" +
          "IF ERRORLEVEL 1 SET PID3_RUNNING=FALSE\n"
          ")\n" +
          ping +
          " -n 2 127.0.0.1\n"
          "IF %PID1_RUNNING%==TRUE GOTO :again\n"
          "IF %PID3_RUNNING%==TRUE GOTO :again\n"
          "del \"C:\\Program Files\\Tavro\\1.0\\a\\x.dll\"\n"
          "del \"C:\\Program Files\\Tavro\\1.0\\a\\y.dll\"\n"
          "del \"C:\\Program Files\\Tavro\\50%%Tavro\\launcher.exe\"\n"
          "del \"D:\\Elsewhere\\z.txt\"\n"
          "rmdir \"C:\\Program Files\\Tavro\\50%%Tavro\"\n"
          "rmdir \"C:\\Program Files\\Tavro\\1.0\\a\"\n"
          "rmdir \"C:\\Program Files\\Tavro\\1.0\"\n"
          "rmdir \"C:\\Program Files\\Tavro\"\n"
          "del %0\n",
      MakeCleanupBatch({17, 0, 0xFFFFFFFF}, folder,
                       {base::FilePath(L"C:\\Program Files\\Tavro\\1.0\\a\\x.dll"),
                        base::FilePath(L"C:\\Program Files\\Tavro\\1.0\\a\\y.dll"),
                        base::FilePath(L"C:\\Program Files\\Tavro\\50%Tavro\\launcher.exe"),
                        base::FilePath(L"D:\\Elsewhere\\z.txt")}));
}

// A name the OEM code page cannot hold is written by its 8.3 form, which names the same file,
// never by a best-fit stand-in; a missing file with such a name cannot be written at all.
// What the batch names reads back as the files it deletes.
TEST(CleanupBatchTest, NamesEachFileExactlyOrLeavesItOut) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath foreign = temp.GetPath().Append(L"a\uFF02b \u0141\u00F3d\u017A");
  const base::FilePath file = foreign.Append(L"x.dll");
  ASSERT_TRUE(WriteNewFile(file, "x"));
  const base::FilePath missing = foreign.Append(L"\x4E2D\x6587.dll");

  std::string text;
  ASSERT_TRUE(ToBatchPathText(file, &text));
  EXPECT_EQ(ShortOemPath(file), text);
  EXPECT_EQ(std::string::npos, text.find_first_of("\"?"));
  EXPECT_FALSE(ToBatchPathText(missing, &text));

  const std::vector<base::FilePath> read =
      ReadCleanupBatchFiles(MakeCleanupBatch({}, temp.GetPath(), {file, missing}));
  ASSERT_EQ(1u, read.size());
  EXPECT_EQ(base::FilePath(base::AsciiToUtf16(ShortOemPath(file))), read[0]);
  // What another program wrote is no doubled "%".
  EXPECT_TRUE(ReadCleanupBatchFiles("del \"C:\\%X%\\a.txt\"\ndel %0\n").empty());
}

// The command interpreter runs the batch as written: "%", "&", "^", "!", a fullwidth quote,
// Polish and Chinese letters in names delete those files only, never the files their
// expanded or best-fit forms would name, and run no command of a variable's value.
TEST(CleanupBatchTest, TheInterpreterDeletesExactlyTheNamedFiles) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath root = temp.GetPath();
  const base::FilePath injected = root.Append(L"injected.txt");
  const base::test::ScopedEnvironment environment(
      {{"TAVRO_X", "\" & echo INJECTED> \"" + injected.ToUtf8() + "\" & rem \""},
       {"TAVRO_NAME", "expanded"}});
  const wchar_t* const targets[] = {L"%TAVRO_NAME%", L"50%TAVRO_X% & ^!", L"a\uFF02b",
                                    L"\u0141\u00F3d\u017A", L"\x4E2D\x6587"};
  // What expansion or a best-fit conversion would turn the names into.
  const wchar_t* const decoys[] = {L"expanded", L"L\u00F3dz", L"ab"};
  std::vector<base::FilePath> files;
  for (const wchar_t* name : targets) {
    files.push_back(root.Append(name).Append(L"a.txt"));
    ASSERT_TRUE(WriteNewFile(files.back(), "delete me"));
  }
  for (const wchar_t* name : decoys)
    ASSERT_TRUE(WriteNewFile(root.Append(name).Append(L"a.txt"), "keep me"));
  const base::FilePath batch = root.Append(kCleanupBatchName);
  const std::string text = MakeCleanupBatch({}, root, files);
  ASSERT_TRUE(test::WriteTestFile(batch, text));

  ASSERT_TRUE(StartCleanupBatch(batch));
  ASSERT_TRUE(WaitUntilGone(batch)) << text;
  for (const wchar_t* name : targets)
    EXPECT_FALSE(base::PathExists(root.Append(name))) << base::FilePath(name);
  for (const wchar_t* name : decoys)
    EXPECT_TRUE(base::PathExists(root.Append(name).Append(L"a.txt"))) << base::FilePath(name);
  EXPECT_FALSE(base::PathExists(injected));
}

// Programs named like the batch's own, put in the folder where it runs and in the system's
// temporary folder (where every user may add files, and where elevated batches once ran):
// the batch runs the system's programs only, from a protected folder of its own that goes
// when it ends.
TEST(CleanupBatchTest, RunsNoProgramPlantedWhereItRuns) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath root = temp.GetPath();
  const base::FilePath ran = root.Append(L"planted_ran.txt");
  struct PlantedFiles {
    ~PlantedFiles() {
      for (const base::FilePath& file : files)
        base::DeletePath(file, false);
    }
    std::vector<base::FilePath> files;
  } planted;
  for (const base::FilePath& folder : {root, SystemTempFolder()}) {
    for (const wchar_t* name : {L"tasklist.bat", L"find.bat", L"ping.bat"}) {
      planted.files.push_back(folder.Append(name));
      ASSERT_TRUE(
          test::WriteTestFile(planted.files.back(), "echo %0>> \"" + ran.ToUtf8() + "\"\r\n"));
    }
  }
  // A process id that no process has (ids are multiples of 4): the batch asks once.
  const std::vector<uint32_t> pids = {4294967291u};

  const base::FilePath batch = root.Append(kCleanupBatchName);
  const base::FilePath users_file = root.Append(L"user\\a.txt");
  ASSERT_TRUE(WriteNewFile(users_file, "delete me"));
  ASSERT_TRUE(test::WriteTestFile(batch, MakeCleanupBatch(pids, root, {users_file})));
  ASSERT_TRUE(StartCleanupBatch(batch));
  EXPECT_TRUE(WaitUntilGone(batch));
  EXPECT_FALSE(base::PathExists(users_file));

  const std::set<base::FilePath> folders_before = test::ListSystemTempFolders(L"tavro_cleanup_*");
  const base::FilePath elevated_file = root.Append(L"elevated\\a.txt");
  ASSERT_TRUE(WriteNewFile(elevated_file, "delete me"));
  ASSERT_TRUE(StartProtectedCleanupBatch(MakeCleanupBatch(pids, root, {elevated_file})));
  EXPECT_TRUE(WaitUntilGone(elevated_file.DirName()));
  const base::TimeTicks deadline = base::TimeTicks::Now() + kBatchWait;
  while (test::ListSystemTempFolders(L"tavro_cleanup_*") != folders_before &&
         base::TimeTicks::Now() < deadline)
    ::Sleep(50);
  EXPECT_EQ(folders_before, test::ListSystemTempFolders(L"tavro_cleanup_*"));

  std::string runs;
  base::ReadFileToString(ran, &runs);
  EXPECT_FALSE(base::PathExists(ran)) << runs;
}

}  // namespace
}  // namespace installer
