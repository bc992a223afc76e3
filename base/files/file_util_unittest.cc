#include "base/files/file_util.h"

#include <string>

#include "base/files/file.h"
#include "base/files/scoped_temp_dir.h"
#include "base/test/folder_link.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

bool WriteText(const FilePath& path, const std::string& text) {
  return WriteFileFromBuffer(path, text.data(), static_cast<int>(text.size())) ==
         static_cast<int>(text.size());
}

std::string ReadText(const FilePath& path) {
  std::string text;
  EXPECT_TRUE(ReadFileToString(path, &text)) << path;
  return text;
}

void MakeReadOnly(const FilePath& path) {
  ASSERT_TRUE(::SetFileAttributesW(path.value().c_str(), FILE_ATTRIBUTE_READONLY));
}

// The temporary folder in its long form, as the folders and files made in it are named.
FilePath LongTempDir() {
  FilePath temp;
  EXPECT_TRUE(GetTempDir(&temp));
  wchar_t long_path[MAX_PATH + 1];
  const DWORD length = ::GetLongPathNameW(temp.value().c_str(), long_path, MAX_PATH + 1);
  EXPECT_TRUE(length > 0 && length <= MAX_PATH);
  return FilePath(std::wstring(long_path, length));
}

bool IsReadOnly(const FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

class FileUtilTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }
  FilePath Path(const wchar_t* relative) const { return temp_dir_.GetPath().Append(relative); }

  ScopedTempDir temp_dir_;
};

TEST(ScopedTempDirTest, CreatesUniqueFolderAndDeletesItWithContents) {
  FilePath temp;
  ASSERT_TRUE(GetTempDir(&temp));
  EXPECT_FALSE(FilePath::IsSeparator(temp.value().back()));
  EXPECT_TRUE(DirectoryExists(temp));

  FilePath kept;
  {
    ScopedTempDir first;
    ScopedTempDir second;
    ASSERT_TRUE(first.CreateUniqueTempDir());
    ASSERT_TRUE(second.CreateUniqueTempDir());
    EXPECT_FALSE(first.CreateUniqueTempDir());
    EXPECT_NE(first.GetPath(), second.GetPath());
    EXPECT_EQ(LongTempDir(), first.GetPath().DirName());
    kept = first.GetPath();
    ASSERT_TRUE(CreateDirectory(kept.Append(L"a\\b")));
    ASSERT_TRUE(WriteText(kept.Append(L"a\\b\\f.txt"), "x"));
    MakeReadOnly(kept.Append(L"a\\b\\f.txt"));
    EXPECT_TRUE(second.Delete());
    EXPECT_FALSE(second.IsValid());
  }
  EXPECT_FALSE(PathExists(kept));
}

TEST_F(FileUtilTest, CreateDirectoryMakesParentsAndRejectsFiles) {
  const FilePath nested = Path(L"one\\two/three");
  EXPECT_TRUE(CreateDirectory(nested));
  EXPECT_TRUE(DirectoryExists(nested));
  EXPECT_TRUE(CreateDirectory(nested));  // Already there.
  EXPECT_TRUE(CreateDirectory(Path(L"one\\four\\")));
  EXPECT_TRUE(DirectoryExists(Path(L"one\\four")));

  const FilePath file = Path(L"file");
  ASSERT_TRUE(WriteText(file, "data"));
  EXPECT_TRUE(PathExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_FALSE(CreateDirectory(file));
  EXPECT_FALSE(CreateDirectory(file.Append(L"below")));
  EXPECT_FALSE(CreateDirectory(FilePath()));

  EXPECT_TRUE(CanCreateFilesInDirectory(nested));
  EXPECT_FALSE(CanCreateFilesInDirectory(Path(L"missing")));
  EXPECT_FALSE(CanCreateFilesInDirectory(file));
}

TEST_F(FileUtilTest, DeletePathFilesAndMissingPaths) {
  EXPECT_TRUE(DeletePath(FilePath(), false));
  EXPECT_TRUE(DeletePath(Path(L"missing"), false));
  EXPECT_TRUE(DeletePath(Path(L"missing\\below"), true));

  const FilePath file = Path(L"f.txt");
  ASSERT_TRUE(WriteText(file, "x"));
  EXPECT_TRUE(DeletePath(file, false));
  EXPECT_FALSE(PathExists(file));

  const FilePath read_only = Path(L"ro.txt");
  ASSERT_TRUE(WriteText(read_only, "x"));
  MakeReadOnly(read_only);
  EXPECT_TRUE(DeletePath(read_only, false));
  EXPECT_FALSE(PathExists(read_only));
}

TEST_F(FileUtilTest, DeletePathFolderOnlyRecursiveEmptiesIt) {
  const FilePath dir = Path(L"tree");
  ASSERT_TRUE(CreateDirectory(dir.Append(L"sub\\deeper")));
  ASSERT_TRUE(WriteText(dir.Append(L"top.txt"), "1"));
  ASSERT_TRUE(WriteText(dir.Append(L"sub\\deeper\\leaf.txt"), "2"));
  MakeReadOnly(dir.Append(L"sub\\deeper\\leaf.txt"));

  EXPECT_FALSE(DeletePath(dir, false));
  EXPECT_TRUE(PathExists(dir.Append(L"top.txt")));
  EXPECT_TRUE(PathExists(dir.Append(L"sub\\deeper\\leaf.txt")));

  EXPECT_TRUE(DeletePath(dir, true));
  EXPECT_FALSE(PathExists(dir));

  // An empty folder goes without recursion.
  ASSERT_TRUE(CreateDirectory(Path(L"empty")));
  EXPECT_TRUE(DeletePath(Path(L"empty"), false));
  EXPECT_FALSE(PathExists(Path(L"empty")));
}

TEST_F(FileUtilTest, DeletePathOnThreadsRemovesTheWholeTree) {
  EXPECT_TRUE(DeletePathOnThreads(Path(L"missing"), 4));
  const FilePath dir = Path(L"tree");
  for (int i = 0; i < 40; ++i) {
    const FilePath folder = dir.Append(i % 2 ? L"a\\b" : L"c");
    ASSERT_TRUE(CreateDirectory(folder));
    ASSERT_TRUE(WriteText(folder.Append(L"f" + std::to_wstring(i)), "x"));
  }
  ASSERT_TRUE(CreateDirectory(dir.Append(L"empty")));
  MakeReadOnly(dir.Append(L"a\\b\\f1"));
  EXPECT_TRUE(DeletePathOnThreads(dir, 4));
  EXPECT_FALSE(PathExists(dir));

  // A file is deleted as DeletePath does; an open one stays, and says so.
  ASSERT_TRUE(CreateDirectory(dir.Append(L"sub")));
  const FilePath held = dir.Append(L"sub\\held");
  ASSERT_TRUE(WriteText(held, "x"));
  win::ScopedHandle handle(::CreateFileW(held.value().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(handle.IsValid());
  EXPECT_FALSE(DeletePathOnThreads(dir, 3));
  EXPECT_TRUE(PathExists(held));
  handle.Close();
  EXPECT_TRUE(DeletePathOnThreads(dir, 3));
  EXPECT_FALSE(PathExists(dir));
}

// A link in a tree is removed itself (where the system lets a link be removed: Wine's
// Unix links stay), and what it leads to is kept; the rest of the tree goes.
TEST_F(FileUtilTest, RecursiveDeleteDoesNotFollowFolderLinks) {
  const FilePath outside = Path(L"outside");
  ASSERT_TRUE(CreateDirectory(outside.Append(L"sub")));
  ASSERT_TRUE(WriteText(outside.Append(L"sub\\keep.txt"), "keep"));
  const FilePath tree = Path(L"tree");
  const FilePath link = tree.Append(L"inner\\link");
  for (const bool threads : {false, true}) {
    SCOPED_TRACE(threads ? "on threads" : "on the calling thread");
    ASSERT_TRUE(CreateDirectory(tree.Append(L"inner")));
    ASSERT_TRUE(WriteText(tree.Append(L"inner\\file.txt"), "x"));
    test::ScopedFolderLink made;
    if (!PathExists(link) && !made.Make(link, outside))
      GTEST_SKIP() << "Folder links cannot be made here";
    ASSERT_TRUE(PathExists(link.Append(L"sub\\keep.txt")));

    if (threads ? DeletePathOnThreads(tree, 3) : DeletePath(tree, true)) {
      EXPECT_FALSE(PathExists(tree));
    }
    EXPECT_FALSE(PathExists(tree.Append(L"inner\\file.txt")));
    EXPECT_EQ("keep", ReadText(outside.Append(L"sub\\keep.txt")));
  }
}

// An open folder lies where the system resolves it, through the links on the way; held, it
// can be neither renamed nor deleted.
TEST_F(FileUtilTest, FinalPathOfAnOpenFolderIsWhereLinksLead) {
  const FilePath target = Path(L"target");
  const FilePath inner = target.Append(L"inner");
  ASSERT_TRUE(CreateDirectory(inner));
  win::ScopedHandle folder = OpenFolderForDeletion(inner);
  ASSERT_TRUE(folder.IsValid());
  EXPECT_TRUE(FilePath::CompareEqualIgnoreCase(inner.value(), GetFinalPath(folder.Get()).value()))
      << GetFinalPath(folder.Get());
  EXPECT_FALSE(::MoveFileW(inner.value().c_str(), Path(L"moved").value().c_str()));
  EXPECT_FALSE(::RemoveDirectoryW(inner.value().c_str()));
  EXPECT_FALSE(OpenFolderForDeletion(Path(L"missing")).IsValid());
  folder.Close();

  const FilePath link = Path(L"link");
  test::ScopedFolderLink made;
  if (!made.Make(link, target))
    GTEST_SKIP() << "Folder links cannot be made here";
  folder = OpenFolderForDeletion(link.Append(L"inner"));
  ASSERT_TRUE(folder.IsValid());
  EXPECT_TRUE(FilePath::CompareEqualIgnoreCase(inner.value(), GetFinalPath(folder.Get()).value()))
      << GetFinalPath(folder.Get());
}

TEST_F(FileUtilTest, DeletePathRefusesLongPaths) {
  std::wstring long_path = temp_dir_.GetPath().value() + L"\\";
  long_path.append(kMaxPathLength - 1 - long_path.size(), L'a');
  ASSERT_EQ(259u, long_path.size());
  EXPECT_TRUE(DeletePath(FilePath(long_path), false));  // Missing: deleted.
  long_path.push_back(L'a');
  EXPECT_FALSE(DeletePath(FilePath(long_path), false));
  EXPECT_FALSE(DeletePath(FilePath(long_path), true));
}

TEST_F(FileUtilTest, MovePathFilesAndFoldersButNotParents) {
  const FilePath from = Path(L"from.txt");
  const FilePath to = Path(L"to.txt");
  ASSERT_TRUE(WriteText(from, "new"));
  ASSERT_TRUE(WriteText(to, "old"));
  EXPECT_TRUE(MovePath(from, to));
  EXPECT_FALSE(PathExists(from));
  EXPECT_EQ("new", ReadText(to));

  ASSERT_TRUE(CreateDirectory(Path(L"dir\\sub")));
  ASSERT_TRUE(WriteText(Path(L"dir\\sub\\f"), "f"));
  EXPECT_TRUE(MovePath(Path(L"dir"), Path(L"moved")));
  EXPECT_FALSE(PathExists(Path(L"dir")));
  EXPECT_EQ("f", ReadText(Path(L"moved\\sub\\f")));

  ASSERT_TRUE(CreateDirectory(Path(L"x")));
  EXPECT_FALSE(MovePath(Path(L"x\\..\\to.txt"), Path(L"y.txt")));
  EXPECT_FALSE(MovePath(to, Path(L"x\\..\\y.txt")));
  EXPECT_FALSE(MovePath(to, Path(L"x\\...\\y.txt")));
  EXPECT_TRUE(PathExists(to));
  EXPECT_FALSE(PathExists(Path(L"y.txt")));

  EXPECT_FALSE(MovePath(Path(L"missing"), Path(L"z")));
}

TEST_F(FileUtilTest, CopySingleFileOverwritesAndClearsReadOnly) {
  const FilePath source = Path(L"source.txt");
  const FilePath target = Path(L"target.txt");
  ASSERT_TRUE(WriteText(source, "first"));
  MakeReadOnly(source);
  EXPECT_TRUE(CopySingleFile(source, target));
  EXPECT_EQ("first", ReadText(target));
  EXPECT_FALSE(IsReadOnly(target));
  EXPECT_TRUE(IsReadOnly(source));

  // A read-only target is overwritten too.
  const FilePath other = Path(L"other.txt");
  ASSERT_TRUE(WriteText(other, "second"));
  MakeReadOnly(target);
  EXPECT_TRUE(CopySingleFile(other, target));
  EXPECT_EQ("second", ReadText(target));
  EXPECT_FALSE(IsReadOnly(target));

  EXPECT_FALSE(CopySingleFile(Path(L"missing"), target));
  EXPECT_EQ("second", ReadText(target));
}

TEST_F(FileUtilTest, ReadWriteAndAppendRoundTrips) {
  const FilePath file = Path(L"data.bin");
  const std::string data("line one\r\n\0binary\xff", 18);
  EXPECT_EQ(18, WriteFileFromBuffer(file, data.data(), static_cast<int>(data.size())));
  EXPECT_EQ(data, ReadText(file));
  int64_t size = 0;
  EXPECT_TRUE(GetFileSize(file, &size));
  EXPECT_EQ(18, size);

  // Writing again truncates.
  EXPECT_EQ(3, WriteFileFromBuffer(file, "abc", 3));
  EXPECT_EQ("abc", ReadText(file));

  EXPECT_TRUE(AppendToFile(file, "def", 3));
  EXPECT_TRUE(AppendToFile(file, "", 0));
  EXPECT_EQ("abcdef", ReadText(file));
  EXPECT_FALSE(AppendToFile(Path(L"missing.txt"), "x", 1));
  EXPECT_FALSE(PathExists(Path(L"missing.txt")));

  char buffer[16] = {};
  EXPECT_EQ(4, ReadFileToBuffer(file, buffer, 4));
  EXPECT_EQ("abcd", std::string(buffer, 4));
  EXPECT_EQ(6, ReadFileToBuffer(file, buffer, sizeof(buffer)));
  EXPECT_EQ(-1, ReadFileToBuffer(Path(L"missing.txt"), buffer, sizeof(buffer)));
  std::string text = "stale";
  EXPECT_FALSE(ReadFileToString(Path(L"missing.txt"), &text));
  EXPECT_TRUE(text.empty());
  EXPECT_FALSE(GetFileSize(Path(L"missing.txt"), &size));

  // Reading shares the file with a writer that has it open.
  File writer(file, File::FLAG_OPEN | File::FLAG_WRITE);
  ASSERT_TRUE(writer.IsValid());
  EXPECT_EQ(6, ReadFileToBuffer(file, buffer, sizeof(buffer)));
  EXPECT_EQ("abcdef", ReadText(file));

  EXPECT_EQ(-1, WriteFileFromBuffer(Path(L"no\\such\\dir.txt"), "x", 1));
}

TEST_F(FileUtilTest, TemporaryFilesAreUniqueAndEmpty) {
  FilePath first;
  FilePath second;
  ASSERT_TRUE(CreateTemporaryFileInDir(temp_dir_.GetPath(), &first));
  ASSERT_TRUE(CreateTemporaryFileInDir(temp_dir_.GetPath(), &second));
  EXPECT_NE(first, second);
  EXPECT_EQ(temp_dir_.GetPath(), first.DirName());
  int64_t size = -1;
  EXPECT_TRUE(GetFileSize(first, &size));
  EXPECT_EQ(0, size);
  EXPECT_FALSE(CreateTemporaryFileInDir(Path(L"missing"), &first));

  FilePath in_temp;
  ASSERT_TRUE(CreateTemporaryFile(&in_temp));
  EXPECT_TRUE(PathExists(in_temp));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(LongTempDir().value(), in_temp.DirName().value()));
  EXPECT_TRUE(DeletePath(in_temp, false));
}

TEST(FileUtilPathTest, MakeAbsoluteFilePath) {
  FilePath absolute;
  ASSERT_TRUE(MakeAbsoluteFilePath(FilePath(L"C:\\a\\.\\b\\..\\c"), &absolute));
  EXPECT_EQ(FilePath(L"C:\\a\\c"), absolute);
  // Longer than MAX_PATH, and no need to exist.
  const std::wstring long_path = L"C:\\" + std::wstring(300, L'x') + L"\\y";
  ASSERT_TRUE(MakeAbsoluteFilePath(FilePath(long_path), &absolute));
  EXPECT_EQ(FilePath(long_path), absolute);
  EXPECT_FALSE(MakeAbsoluteFilePath(FilePath(), &absolute));
}

TEST(FileUtilPathTest, MakeLongFilePath) {
  ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const FilePath folder = temp.GetPath().Append(L"A long folder name");
  ASSERT_TRUE(CreateDirectory(folder));
  wchar_t short_path[MAX_PATH];
  const DWORD length = ::GetShortPathNameW(folder.value().c_str(), short_path, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  ASSERT_NE(folder.value(), short_path);
  FilePath long_path;
  ASSERT_TRUE(MakeLongFilePath(FilePath(short_path), &long_path));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(folder.value(), long_path.value()));
  EXPECT_FALSE(MakeLongFilePath(folder.Append(L"missing"), &long_path));
  EXPECT_FALSE(MakeLongFilePath(FilePath(), &long_path));
}

TEST(FileUtilPathTest, IsValidPath) {
  EXPECT_TRUE(IsValidPath(FilePath(L"C:\\Program Files\\Tavro"), true));
  EXPECT_TRUE(IsValidPath(FilePath(L"d:/x"), false));
  EXPECT_TRUE(IsValidPath(FilePath(L"\\\\server\\share"), true));
  EXPECT_TRUE(IsValidPath(FilePath(L"\\\\server\\share\\dir"), true));
  EXPECT_FALSE(IsValidPath(FilePath(), false));
  EXPECT_FALSE(IsValidPath(FilePath(L"C:"), true));
  EXPECT_FALSE(IsValidPath(FilePath(L"C:dir"), true));
  EXPECT_FALSE(IsValidPath(FilePath(L"\\dir"), true));
  EXPECT_FALSE(IsValidPath(FilePath(L"relative\\dir"), true));
  EXPECT_FALSE(IsValidPath(FilePath(L"\\\\server"), true));
  EXPECT_FALSE(IsValidPath(FilePath(L"\\\\server\\"), true));
  EXPECT_FALSE(IsValidPath(FilePath(L"\\\\\\share"), true));
  EXPECT_FALSE(IsValidPath(FilePath(L"1:\\dir"), true));

  // Folders stay below 248 characters, files below 260.
  std::wstring path = L"C:\\";
  path.append(247 - path.size(), L'a');
  EXPECT_TRUE(IsValidPath(FilePath(path), true));
  path.push_back(L'a');
  EXPECT_FALSE(IsValidPath(FilePath(path), true));
  EXPECT_TRUE(IsValidPath(FilePath(path), false));
  path.append(259 - path.size(), L'a');
  EXPECT_TRUE(IsValidPath(FilePath(path), false));
  path.push_back(L'a');
  EXPECT_FALSE(IsValidPath(FilePath(path), false));
}

}  // namespace
}  // namespace base
