#include "base/files/file_enumerator.h"

#include <set>
#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class FileEnumeratorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    root_ = temp_dir_.GetPath();
    for (const wchar_t* dir : {L"sub\\deeper", L"plain", L"empty"})
      ASSERT_TRUE(CreateDirectory(root_.Append(dir)));
    for (const wchar_t* file :
         {L"a.txt", L"b.log", L"sub\\c.txt", L"sub\\deeper\\d.txt", L"plain\\e.txt"}) {
      ASSERT_EQ(3, WriteFileFromBuffer(root_.Append(file), "abc", 3));
    }
  }

  // The listed paths relative to the root.
  std::set<std::wstring> List(bool recursive, int types, const wchar_t* pattern = L"*") {
    std::set<std::wstring> found;
    FileEnumerator enumerator(root_, recursive, types, pattern);
    for (FilePath path = enumerator.Next(); !path.empty(); path = enumerator.Next()) {
      FilePath relative;
      EXPECT_TRUE(root_.AppendRelativePath(path, &relative)) << path;
      EXPECT_TRUE(found.insert(relative.value()).second) << "twice: " << path;
    }
    return found;
  }

  ScopedTempDir temp_dir_;
  FilePath root_;
};

TEST_F(FileEnumeratorTest, TypesAndRecursion) {
  const std::set<std::wstring> files = {L"a.txt", L"b.log"};
  EXPECT_EQ(files, List(false, FileEnumerator::FILES));
  const std::set<std::wstring> dirs = {L"sub", L"plain", L"empty"};
  EXPECT_EQ(dirs, List(false, FileEnumerator::DIRECTORIES));
  const std::set<std::wstring> everything = {
      L"a.txt",      L"b.log",        L"sub",          L"sub\\c.txt",
      L"sub\\deeper", L"sub\\deeper\\d.txt", L"plain", L"plain\\e.txt",
      L"empty"};
  EXPECT_EQ(everything, List(true, FileEnumerator::FILES | FileEnumerator::DIRECTORIES));
  const std::set<std::wstring> all_dirs = {L"sub", L"sub\\deeper", L"plain", L"empty"};
  EXPECT_EQ(all_dirs, List(true, FileEnumerator::DIRECTORIES));
}

TEST_F(FileEnumeratorTest, PatternFiltersNamesButRecursionEntersEveryFolder) {
  const std::set<std::wstring> txt = {L"a.txt", L"sub\\c.txt", L"sub\\deeper\\d.txt",
                                      L"plain\\e.txt"};
  EXPECT_EQ(txt, List(true, FileEnumerator::FILES, L"*.txt"));
  const std::set<std::wstring> top_txt = {L"a.txt"};
  EXPECT_EQ(top_txt, List(false, FileEnumerator::FILES, L"*.txt"));
  const std::set<std::wstring> deeper = {L"sub\\deeper"};
  EXPECT_EQ(deeper, List(true, FileEnumerator::DIRECTORIES, L"d??per"));
  EXPECT_TRUE(List(true, FileEnumerator::FILES, L"*.none").empty());
}

TEST_F(FileEnumeratorTest, InfoOfCurrentEntryAndMissingRoot) {
  FileEnumerator enumerator(root_, false, FileEnumerator::FILES, L"b.*");
  const FilePath path = enumerator.Next();
  EXPECT_EQ(root_.Append(L"b.log"), path);
  const FileEnumerator::FileInfo info = enumerator.GetInfo();
  EXPECT_EQ(L"b.log", info.GetName().value());
  EXPECT_EQ(3, info.GetSize());
  EXPECT_FALSE(info.IsDirectory());
  EXPECT_TRUE(enumerator.Next().empty());
  EXPECT_TRUE(enumerator.Next().empty());

  FileEnumerator missing(root_.Append(L"missing"), true,
                         FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  EXPECT_TRUE(missing.Next().empty());
}

}  // namespace
}  // namespace base
