#include "desktop/windows/installer/package_fetcher/lzma_util.h"

#include <windows.h>

#include <psapi.h>
#include <stdint.h>

#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/logging.h"
#include "base/test/folder_link.h"
#include "desktop/windows/installer/test/installer_process.h"
#include "base/test/scoped_log_capture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// 2001-02-03 04:05:06 UTC, the time of every entry of nested.7z.
constexpr uint64_t kFixtureTime = 126256467060000000ull;

base::FilePath Fixture(const wchar_t* name) {
  return base::FilePath(test::GetTestBinFolder()).Append(L"7z_fixtures").Append(name);
}

// Every file and folder below |root| by relative path: a file's contents, or "<folder>".
std::map<std::wstring, std::string> ReadTree(const base::FilePath& root) {
  std::map<std::wstring, std::string> tree;
  base::FileEnumerator entries(root, true,
                               base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = entries.Next(); !path.empty(); path = entries.Next()) {
    base::FilePath relative;
    EXPECT_TRUE(root.AppendRelativePath(path, &relative)) << path;
    std::string contents = "<folder>";
    if (!base::DirectoryExists(path)) {
      EXPECT_TRUE(base::ReadFileToString(path, &contents)) << path;
    }
    tree[relative.value()] = contents;
  }
  return tree;
}

uint64_t LastWriteTime(const base::FilePath& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  EXPECT_TRUE(::GetFileAttributesExW(path.value().c_str(), GetFileExInfoStandard, &data)) << path;
  return static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
         data.ftLastWriteTime.dwLowDateTime;
}

// Checks what each unpacking tells its delegate: the number of entries, then a count that
// only grows.
class ProgressRecorder : public WininetDownloader::Delegate {
 public:
  void SetTotalProgress(int32_t total) override {
    total_ = total;
    current_ = 0;
  }
  void SetCurrentProgress(int32_t current) override {
    EXPECT_GT(current, current_);
    current_ = current;
  }
  void NotifyStalled() override { ADD_FAILURE() << "not expected from unpacking"; }

  int32_t total_ = -1;
  int32_t current_ = 0;
};

class LzmaUtilTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }

  base::FilePath Destination(const wchar_t* name) const { return temp_dir_.GetPath().Append(name); }

  // Unpacks |archive| into |destination|, expecting |result| and |status|.
  void Unpack(const wchar_t* archive,
              const base::FilePath& destination,
              DWORD result,
              UnpackStatus status) {
    LzmaUtil lzma;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lzma.OpenArchive(Fixture(archive))) << archive;
    EXPECT_EQ(result, lzma.UnPack(destination, nullptr)) << archive;
    EXPECT_EQ(status, lzma.status()) << archive;
  }

  // Unpacks |archive| |runs| times, each into a new destination: it is refused as invalid
  // every time, and nothing is written, not even next to the destination.
  void ExpectRefusedBeforeWriting(const wchar_t* archive, int runs) {
    for (int run = 0; run < runs; ++run) {
      log_.Clear();
      Unpack(archive, Destination(L"dest"), ERROR_INVALID_NAME, kUnpackNameError);
      EXPECT_TRUE(log_.LoggedPrefix(logging::LOG_ERROR, "Refusing the archive entry "))
          << archive << " run " << run;
      EXPECT_EQ((std::map<std::wstring, std::string>{}), ReadTree(temp_dir_.GetPath()))
          << archive << " run " << run;
    }
  }

  base::ScopedTempDir temp_dir_;
  base::test::ScopedLogCapture log_;
};

TEST_F(LzmaUtilTest, UnpacksNestedFoldersEmptyEntriesUnicodeNamesAndTimes) {
  LzmaUtil lzma;
  ProgressRecorder progress;
  lzma.set_delegate(&progress);
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lzma.OpenArchive(Fixture(L"nested.7z")));
  std::vector<base::FilePath> paths;
  const base::FilePath destination = Destination(L"out");
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lzma.UnPack(destination, &paths));
  EXPECT_EQ(kUnpackNoError, lzma.status());

  const std::map<std::wstring, std::string> expected = ReadTree(Fixture(L"src\\nested"));
  EXPECT_EQ(expected, ReadTree(destination));
  EXPECT_EQ("<folder>", expected.at(L"empty folder"));
  EXPECT_EQ("", expected.at(L"a\\empty.txt"));
  EXPECT_EQ(1u, expected.count(L"ünïcødé 文件夹\\日本語 ファイル.txt"));
  EXPECT_EQ(kFixtureTime, LastWriteTime(destination.Append(L"a\\b\\c\\deep.txt")));
  EXPECT_EQ(kFixtureTime, LastWriteTime(destination.Append(L"a\\empty.txt")));

  // Every entry once, below the destination, with backslashes.
  ASSERT_EQ(expected.size(), paths.size());
  for (const base::FilePath& path : paths) {
    base::FilePath relative;
    ASSERT_TRUE(destination.AppendRelativePath(path, &relative)) << path;
    EXPECT_EQ(1u, expected.count(relative.value())) << path;
  }
  EXPECT_EQ(static_cast<int32_t>(paths.size()), progress.total_);
  EXPECT_EQ(progress.total_, progress.current_);

  // A second unpacking of the same open archive reads it from the start again.
  const base::FilePath again = Destination(L"again");
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lzma.UnPack(again, nullptr));
  EXPECT_EQ(expected, ReadTree(again));
}

TEST_F(LzmaUtilTest, UnpacksSolidBlocksPpmdParallelPartsAndFoldersOnly) {
  const std::map<std::wstring, std::string> dirs = ReadTree(Fixture(L"src\\dirs"));
  for (const wchar_t* archive : {L"solid_dirs.7z", L"blocks.7z", L"ppmd.7z"}) {
    const base::FilePath destination = Destination(archive);
    Unpack(archive, destination, ERROR_SUCCESS, kUnpackNoError);
    EXPECT_EQ(dirs, ReadTree(destination)) << archive;
  }

  const base::FilePath big = Destination(L"big");
  Unpack(L"parts.7z", big, ERROR_SUCCESS, kUnpackNoError);
  EXPECT_TRUE(ReadTree(Fixture(L"src\\big")) == ReadTree(big));

  const base::FilePath folders = Destination(L"folders");
  Unpack(L"folders_only.7z", folders, ERROR_SUCCESS, kUnpackNoError);
  const std::map<std::wstring, std::string> expected = {
      {L"one", "<folder>"}, {L"one\\two", "<folder>"}, {L"one\\two\\three", "<folder>"}};
  EXPECT_EQ(expected, ReadTree(folders));
}

TEST_F(LzmaUtilTest, ReportsMissingUnreadableTruncatedCorruptAndUnwritableArchives) {
  LzmaUtil lzma;
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), lzma.OpenArchive(Destination(L"missing.7z")));
  EXPECT_EQ(kUnpackArchiveNotFound, lzma.status());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), lzma.UnPack(Destination(L"out"), nullptr));

  // A folder cannot be opened as a file.
  EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), lzma.OpenArchive(temp_dir_.GetPath()));
  EXPECT_EQ(kUnpackArchiveCannotOpen, lzma.status());

  // The headers of a 7z archive are at its end: a cut archive has none.
  Unpack(L"truncated.7z", Destination(L"truncated"), ERROR_INVALID_HANDLE, kUnpackHeaderError);
  EXPECT_TRUE(log_.LoggedPrefix(logging::LOG_ERROR, "Error returned by SzArchiveOpen: "));

  Unpack(L"corrupt.7z", Destination(L"corrupt"), ERROR_INVALID_HANDLE, kUnpackExtractError);
  EXPECT_TRUE(log_.LoggedPrefix(logging::LOG_ERROR, "Error returned by SzExtract: "));

  // A file where the archive has a folder: the files below it cannot be created.
  const base::FilePath blocked = Destination(L"blocked");
  ASSERT_TRUE(base::CreateDirectory(blocked));
  ASSERT_EQ(1, base::WriteFileFromBuffer(blocked.Append(L"a"), "x", 1));
  Unpack(L"nested.7z", blocked, ERROR_PATH_NOT_FOUND, kUnpackCreateFileError);
  EXPECT_TRUE(log_.LoggedPrefix(logging::LOG_ERROR, "Error returned by CreateFile: 3"));
}

// The destination may lie in a folder its user changes while an elevated process unpacks:
// a link in place of the destination, of a folder made below it, or of a file's name leads
// nothing out of it. The unpacking fails on a folder link, and replaces a file's other name
// without touching the file it names.
TEST_F(LzmaUtilTest, WritesThroughNoLinkPlantedInTheDestination) {
  const base::FilePath elsewhere = Destination(L"elsewhere");
  ASSERT_TRUE(base::CreateDirectory(elsewhere));
  const base::FilePath outside = elsewhere.Append(L"outside.txt");
  ASSERT_EQ(8, base::WriteFileFromBuffer(outside, "original", 8));
  const std::map<std::wstring, std::string> untouched = ReadTree(elsewhere);

  const base::FilePath linked = Destination(L"linked");
  base::test::ScopedFolderLink destination_link;
  if (!destination_link.Make(linked, elsewhere))
    GTEST_SKIP() << "Folder links cannot be made here";
  Unpack(L"nested.7z", linked, ERROR_CANT_ACCESS_FILE, kUnpackCreateFileError);
  EXPECT_TRUE(log_.LoggedPrefix(logging::LOG_ERROR, "A link was found at "));
  EXPECT_EQ(untouched, ReadTree(elsewhere));

  // A folder of the archive, a\b, already there as a link.
  const base::FilePath below = Destination(L"below");
  ASSERT_TRUE(base::CreateDirectory(below.Append(L"a")));
  base::test::ScopedFolderLink folder_link;
  ASSERT_TRUE(folder_link.Make(below.Append(L"a\\b"), elsewhere));
  log_.Clear();
  Unpack(L"nested.7z", below, ERROR_CANT_ACCESS_FILE, kUnpackCreateFileError);
  EXPECT_TRUE(log_.LoggedPrefix(logging::LOG_ERROR, "A link was found at "));
  EXPECT_EQ(untouched, ReadTree(elsewhere));

  // A file's name already there as another name of the outside file, and another file's
  // name as a link to the outside folder.
  const base::FilePath named = Destination(L"named");
  ASSERT_TRUE(base::CreateDirectory(named.Append(L"a\\b\\c")));
  ASSERT_TRUE(::CreateHardLinkW(named.Append(L"a\\b\\c\\deep.txt").value().c_str(),
                                outside.value().c_str(), nullptr));
  Unpack(L"nested.7z", named, ERROR_SUCCESS, kUnpackNoError);
  EXPECT_EQ(ReadTree(Fixture(L"src\\nested")), ReadTree(named));
  EXPECT_EQ(untouched, ReadTree(elsewhere));

  const base::FilePath file_link = Destination(L"file_link");
  ASSERT_TRUE(base::CreateDirectory(file_link.Append(L"a")));
  base::test::ScopedFolderLink name_link;
  ASSERT_TRUE(name_link.Make(file_link.Append(L"a\\empty.txt"), elsewhere));
  LzmaUtil lzma;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lzma.OpenArchive(Fixture(L"nested.7z")));
  lzma.UnPack(file_link, nullptr);
  EXPECT_EQ(untouched, ReadTree(elsewhere));
}

TEST_F(LzmaUtilTest, RefusesEntriesLeavingTheDestinationBeforeWritingAnything) {
  for (const wchar_t* archive : {L"hostile_dotdot.7z", L"hostile_absolute.7z", L"hostile_colon.7z",
                                 L"hostile_device.7z", L"hostile_unc.7z"}) {
    ExpectRefusedBeforeWriting(archive, 1);
  }
}

// Two entries of one solid folder that Windows would write as one file: whichever came
// last would win, on whichever writer thread; the archive is refused instead, every time.
TEST_F(LzmaUtilTest, RefusesEntriesReachingOneFileTheSameWayEveryTime) {
  for (const wchar_t* archive :
       {L"same_dot.7z", L"same_case.7z", L"same_repeated.7z", L"same_folder.7z"}) {
    ExpectRefusedBeforeWriting(archive, 20);
  }
}

// Folder entries among the files of a solid folder, as other tools may write them: an
// empty one and one holding a later file stay folders, every time.
TEST_F(LzmaUtilTest, FolderEntriesAmongTheFilesOfASolidFolderStayFolders) {
  const std::map<std::wstring, std::string> expected = ReadTree(Fixture(L"src\\dirs_in_solid"));
  ASSERT_EQ("<folder>", expected.at(L"empty"));
  ASSERT_EQ("<folder>", expected.at(L"holder"));
  ASSERT_EQ("", expected.at(L"zero.txt"));
  ASSERT_EQ(1u, expected.count(L"holder\\inner.txt"));
  for (int run = 0; run < 20; ++run) {
    const base::FilePath destination = Destination(L"run");
    Unpack(L"dirs_in_solid.7z", destination, ERROR_SUCCESS, kUnpackNoError);
    EXPECT_EQ(expected, ReadTree(destination)) << "run " << run;
    ASSERT_TRUE(base::DeletePath(destination, true));
  }
}

// The view of the temporary file that holds the decoded data, found as anyone could: a
// mapped read-write region whose file is in |folder|.
bool FindDecodedDataView(const base::FilePath& folder, void** base, size_t* size) {
  const std::wstring folder_name = folder.BaseName().value();
  MEMORY_BASIC_INFORMATION region = {};
  for (const char* address = nullptr;
       ::VirtualQuery(address, &region, sizeof(region)) == sizeof(region);
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State != MEM_COMMIT || region.Type != MEM_MAPPED ||
        region.Protect != PAGE_READWRITE) {
      continue;
    }
    wchar_t name[MAX_PATH * 2] = {};
    if (!::GetMappedFileNameW(::GetCurrentProcess(), region.BaseAddress, name,
                              static_cast<DWORD>(std::size(name))) ||
        !wcsstr(name, folder_name.c_str())) {
      continue;
    }
    *base = region.AllocationBase;
    *size = region.RegionSize +
            (static_cast<char*>(region.BaseAddress) - static_cast<char*>(region.AllocationBase));
    return true;
  }
  return false;
}

// Takes the decoded data's pages away once the first entries are written, while the
// decoders may still be filling them: every later touch faults, on whichever thread.
class ViewBreaker : public WininetDownloader::Delegate {
 public:
  explicit ViewBreaker(const base::FilePath& folder) : folder_(folder) {}

  void SetTotalProgress(int32_t total) override {}
  void SetCurrentProgress(int32_t current) override {
    if (broken_)
      return;
    void* base = nullptr;
    size_t size = 0;
    ASSERT_TRUE(FindDecodedDataView(folder_, &base, &size));
    DWORD old_protection;
    ASSERT_TRUE(::VirtualProtect(base, size, PAGE_NOACCESS, &old_protection));
    broken_ = true;
  }
  void NotifyStalled() override {}

  bool broken_ = false;

 private:
  const base::FilePath folder_;
};

TEST_F(LzmaUtilTest, FailingMappedViewEndsTheUnpackingWithInPageStatus) {
  const base::FilePath destination = Destination(L"parts");
  LzmaUtil lzma;
  ViewBreaker breaker(destination);
  lzma.set_delegate(&breaker);
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lzma.OpenArchive(Fixture(L"parts.7z")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), lzma.UnPack(destination, nullptr));
  EXPECT_TRUE(breaker.broken_);
  EXPECT_EQ(kUnpackInPageError, lzma.status());
  // Windows reports an in-page error with its cause; this fault comes as the access
  // violation that Wine also reports for a view over a file cut short.
  EXPECT_EQ(static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION), lzma.nt_status());
  EXPECT_TRUE(log_.Logged(logging::LOG_ERROR,
                          "EXCEPTION_IN_PAGE_ERROR while accessing mapped memory; "
                          "NTSTATUS = 0xC0000005"));
  // The unpacking stopped short, and its temporary file went with it (the entries being
  // written at the moment of the fault may be incomplete: the caller removes the folder).
  const std::map<std::wstring, std::string> left = ReadTree(destination);
  const std::map<std::wstring, std::string> source = ReadTree(Fixture(L"src\\big"));
  EXPECT_FALSE(left.empty());
  EXPECT_LT(left.size(), source.size());
  for (const auto& entry : left)
    EXPECT_EQ(1u, source.count(entry.first)) << entry.first;
}

}  // namespace
}  // namespace installer
