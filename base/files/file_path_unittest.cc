#include "base/files/file_path.h"

#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

struct PathCase {
  const wchar_t* input;
  const wchar_t* expected;
};

TEST(FilePathTest, DirNameOfRootsUncAndRelativePaths) {
  const PathCase cases[] = {
      {L"C:\\a\\b", L"C:\\a"},
      {L"C:\\a\\b\\\\", L"C:\\a"},
      {L"C:\\a", L"C:\\"},
      {L"C:\\", L"C:\\"},
      {L"C:\\\\", L"C:\\"},
      {L"C:", L"C:"},
      {L"C:a", L"C:"},
      {L"C:/a/b", L"C:/a"},
      {L"c:/a", L"c:/"},
      {L"\\a", L"\\"},
      {L"\\", L"\\"},
      {L"\\\\server\\share\\x\\y", L"\\\\server\\share\\x"},
      {L"\\\\server\\share\\x", L"\\\\server\\share"},
      {L"\\\\server\\share\\", L"\\\\server\\share"},
      {L"\\\\server\\share", L"\\\\server\\share"},
      {L"\\\\server", L"\\\\server"},
      {L"a\\\\b", L"a"},
      {L"a\\b/", L"a"},
      {L"a", L"."},
      {L".", L"."},
      {L"", L"."},
  };
  for (const PathCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).DirName().value()) << c.input;
}

TEST(FilePathTest, BaseNameDropsTrailingSeparatorsAndDriveLetter) {
  const PathCase cases[] = {
      {L"C:\\a\\b.txt", L"b.txt"},
      {L"C:\\a\\b\\", L"b"},
      {L"C:/a//b//", L"b"},
      {L"C:b", L"b"},
      {L"C:\\", L""},
      {L"C:", L""},
      {L"\\", L""},
      {L"\\\\server\\share", L""},
      {L"\\\\server\\share\\x", L"x"},
      {L"a", L"a"},
      {L"", L""},
  };
  for (const PathCase& c : cases)
    EXPECT_EQ(c.expected, FilePath(c.input).BaseName().value()) << c.input;
}

TEST(FilePathTest, AppendJoinsWithOneBackslash) {
  EXPECT_EQ(L"C:\\a\\b", FilePath(L"C:\\a").Append(L"b").value());
  EXPECT_EQ(L"C:\\a\\b", FilePath(L"C:\\a\\").Append(L"b").value());
  EXPECT_EQ(L"C:\\a\\b", FilePath(L"C:\\a/").Append(L"\\b").value());
  EXPECT_EQ(L"C:\\b", FilePath(L"C:\\").Append(L"b").value());
  EXPECT_EQ(L"C:\\b", FilePath(L"C:").Append(L"b").value());
  EXPECT_EQ(L"\\b", FilePath(L"\\").Append(L"b").value());
  EXPECT_EQ(L"\\\\srv", FilePath(L"\\\\").Append(L"srv").value());
  EXPECT_EQ(L"\\\\s\\x\\y\\z", FilePath(L"\\\\s\\x").Append(FilePath(L"y\\z")).value());
  EXPECT_EQ(L"b\\c", FilePath().Append(L"b\\c").value());
  EXPECT_EQ(L"C:\\a", FilePath(L"C:\\a").Append(L"").value());
  EXPECT_EQ(L"C:\\a\\setup.exe", FilePath(L"C:\\a").AppendASCII("setup.exe").value());
}

TEST(FilePathTest, ExtensionEdgeCases) {
  struct ExtensionCase {
    const wchar_t* path;
    const wchar_t* extension;
    const wchar_t* removed;
  };
  const ExtensionCase cases[] = {
      {L"C:\\a\\b.txt", L".txt", L"C:\\a\\b"},
      {L"b.tar.gz", L".gz", L"b.tar"},
      {L".bashrc", L"", L".bashrc"},
      {L"C:\\x\\.bashrc", L"", L"C:\\x\\.bashrc"},
      {L"..a", L"", L"..a"},
      {L".a.b", L".b", L".a"},
      {L"a.b\\c", L"", L"a.b\\c"},
      {L"a.b/c", L"", L"a.b/c"},
      {L"name.", L".", L"name"},
      {L"name..", L".", L"name."},
      {L"dir.d\\", L".d", L"dir"},
      {L".", L"", L"."},
      {L"..", L"", L".."},
      {L"C:.txt", L"", L"C:.txt"},
      {L"C:\\", L"", L"C:\\"},
      {L"", L"", L""},
  };
  for (const ExtensionCase& c : cases) {
    EXPECT_EQ(c.extension, FilePath(c.path).Extension()) << c.path;
    EXPECT_EQ(c.removed, FilePath(c.path).RemoveExtension().value()) << c.path;
  }
}

TEST(FilePathTest, AddReplaceAndInsertBeforeExtension) {
  const FilePath file(L"C:\\d\\setup.exe");
  EXPECT_EQ(L"C:\\d\\setup.exe.old", file.AddExtension(L"old").value());
  EXPECT_EQ(L"C:\\d\\setup.exe.old", file.AddExtension(L".old").value());
  EXPECT_EQ(L"C:\\d\\setup.exe", file.AddExtension(L"").value());
  EXPECT_EQ(L"C:\\d\\setup.log", file.ReplaceExtension(L"log").value());
  EXPECT_EQ(L"C:\\d\\setup.log", file.ReplaceExtension(L".log").value());
  EXPECT_EQ(L"C:\\d\\setup", file.ReplaceExtension(L"").value());
  EXPECT_EQ(L".bashrc.bak", FilePath(L".bashrc").ReplaceExtension(L"bak").value());
  EXPECT_EQ(L"C:\\d\\setup_1.exe", file.InsertBeforeExtensionASCII("_1").value());
  EXPECT_EQ(L"C:\\d\\readme_1", FilePath(L"C:\\d\\readme\\").InsertBeforeExtensionASCII("_1").value());
  EXPECT_EQ(L".bashrc_1", FilePath(L".bashrc").InsertBeforeExtensionASCII("_1").value());
  // No last component to give an extension to.
  EXPECT_TRUE(FilePath(L"C:\\").AddExtension(L"txt").empty());
  EXPECT_TRUE(FilePath(L"a\\..").ReplaceExtension(L"txt").empty());
  EXPECT_TRUE(FilePath(L".").InsertBeforeExtensionASCII("_1").empty());
}

TEST(FilePathTest, SeparatorsAndAbsolutePaths) {
  EXPECT_EQ(L"C:\\a", FilePath(L"C:\\a\\/\\").StripTrailingSeparators().value());
  EXPECT_EQ(L"C:\\", FilePath(L"C:\\\\").StripTrailingSeparators().value());
  EXPECT_EQ(L"\\", FilePath(L"\\").StripTrailingSeparators().value());
  EXPECT_EQ(L"\\\\s\\x", FilePath(L"\\\\s\\x\\").StripTrailingSeparators().value());
  EXPECT_EQ(L"C:\\a\\b\\", FilePath(L"C:/a\\b/").NormalizePathSeparators().value());

  EXPECT_TRUE(FilePath(L"C:\\a").IsAbsolute());
  EXPECT_TRUE(FilePath(L"z:/").IsAbsolute());
  EXPECT_TRUE(FilePath(L"\\\\server\\share").IsAbsolute());
  EXPECT_TRUE(FilePath(L"//server/share").IsAbsolute());
  EXPECT_FALSE(FilePath(L"C:").IsAbsolute());
  EXPECT_FALSE(FilePath(L"C:a").IsAbsolute());
  EXPECT_FALSE(FilePath(L"\\a").IsAbsolute());
  EXPECT_FALSE(FilePath(L"\\\\").IsAbsolute());
  EXPECT_FALSE(FilePath(L"a\\b").IsAbsolute());
  EXPECT_FALSE(FilePath().IsAbsolute());

  const std::vector<std::wstring> expected = {L"C:\\", L"a", L"b"};
  EXPECT_EQ(expected, FilePath(L"C:\\a\\\\b\\").GetComponents());
  const std::vector<std::wstring> unc = {L"\\\\s\\x", L"y"};
  EXPECT_EQ(unc, FilePath(L"\\\\s\\x\\y").GetComponents());
}

TEST(FilePathTest, ParentsAndRelativePaths) {
  const FilePath parent(L"C:\\Program Files\\Tavro");
  EXPECT_TRUE(parent.IsParent(FilePath(L"C:\\Program Files\\Tavro\\app")));
  // Drive letters compare without case, separators are interchangeable.
  EXPECT_TRUE(parent.IsParent(FilePath(L"c:/Program Files/Tavro/app/x.dll")));
  EXPECT_TRUE(FilePath(L"C:\\Program Files\\Tavro\\").IsParent(FilePath(L"c:\\Program Files\\Tavro\\a")));
  EXPECT_TRUE(FilePath(L"C:\\").IsParent(FilePath(L"c:\\a")));
  // Other components compare exactly.
  EXPECT_FALSE(parent.IsParent(FilePath(L"C:\\program files\\Tavro\\app")));
  // Not proper, not a component boundary, different roots.
  EXPECT_FALSE(parent.IsParent(parent));
  EXPECT_FALSE(parent.IsParent(FilePath(L"C:\\Program Files\\Tavro\\")));
  EXPECT_FALSE(parent.IsParent(FilePath(L"C:\\Program Files\\Tavro2\\app")));
  EXPECT_FALSE(parent.IsParent(FilePath(L"D:\\Program Files\\Tavro\\app")));
  EXPECT_FALSE(FilePath(L"C:").IsParent(FilePath(L"C:\\a")));
  EXPECT_FALSE(FilePath(L"Tavro").IsParent(FilePath(L"\\Tavro\\a")));
  EXPECT_FALSE(FilePath().IsParent(FilePath(L"a")));
  EXPECT_TRUE(FilePath(L"\\\\srv\\share").IsParent(FilePath(L"//srv/share/a")));
  EXPECT_FALSE(FilePath(L"\\\\srv\\share").IsParent(FilePath(L"\\\\SRV\\share\\a")));
  // Without regard to case in every component; the root as written.
  EXPECT_TRUE(parent.IsParentIgnoreCase(FilePath(L"c:\\program files\\TAVRO\\app")));
  EXPECT_FALSE(parent.IsParentIgnoreCase(FilePath(L"c:\\program files\\TAVRO")));
  EXPECT_FALSE(parent.IsParentIgnoreCase(FilePath(L"C:\\Program Files\\Tavro2\\app")));
  EXPECT_FALSE(parent.IsParentIgnoreCase(FilePath(L"C:/Program Files/Tavro/app")));
  EXPECT_FALSE(FilePath().IsParentIgnoreCase(FilePath(L"a")));

  FilePath relative(L"D:\\backup");
  EXPECT_TRUE(parent.AppendRelativePath(FilePath(L"c:\\Program Files/Tavro\\app\\\\x.dll"), &relative));
  EXPECT_EQ(L"D:\\backup\\app\\x.dll", relative.value());
  FilePath from_empty;
  EXPECT_TRUE(FilePath(L"a").AppendRelativePath(FilePath(L"a\\b\\c"), &from_empty));
  EXPECT_EQ(L"b\\c", from_empty.value());
  FilePath untouched(L"x");
  EXPECT_FALSE(parent.AppendRelativePath(FilePath(L"C:\\Other\\a"), &untouched));
  EXPECT_EQ(L"x", untouched.value());
}

TEST(FilePathTest, ReferencesParent) {
  EXPECT_TRUE(FilePath(L"..").ReferencesParent());
  EXPECT_TRUE(FilePath(L"C:\\a\\..\\b").ReferencesParent());
  EXPECT_TRUE(FilePath(L"a/../b").ReferencesParent());
  // Windows drops trailing dots and spaces, so these name the parent too.
  EXPECT_TRUE(FilePath(L"C:\\a\\...\\b").ReferencesParent());
  EXPECT_TRUE(FilePath(L"C:\\a\\.. \\b").ReferencesParent());
  EXPECT_FALSE(FilePath(L"C:\\a\\.\\b").ReferencesParent());
  EXPECT_FALSE(FilePath(L"C:\\a..b\\..c").ReferencesParent());
  EXPECT_FALSE(FilePath(L"C:\\a\\b..").ReferencesParent());
}

TEST(FilePathTest, EqualityAndCaseInsensitiveComparison) {
  EXPECT_EQ(FilePath(L"c:\\Dir"), FilePath(L"C:\\Dir"));
  EXPECT_NE(FilePath(L"C:\\dir"), FilePath(L"C:\\Dir"));
  EXPECT_NE(FilePath(L"C:\\dir"), FilePath(L"C:/dir"));

  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"C:\\Program Files", L"c:\\PROGRAM files"));
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(L"abc", L"ABD"));
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(L"abd", L"ABC"));
  EXPECT_EQ(-1, FilePath::CompareIgnoreCase(L"ab", L"ABC"));
  EXPECT_EQ(1, FilePath::CompareIgnoreCase(L"abc", L"AB"));
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"", L""));
  // Upper-casing goes beyond ASCII.
  EXPECT_EQ(0, FilePath::CompareIgnoreCase(L"\u00e9t\u00e9", L"\u00c9T\u00c9"));
  EXPECT_TRUE(FilePath::CompareEqualIgnoreCase(L"\u0444\u0430\u0439\u043b", L"\u0424\u0410\u0419\u041b"));
  EXPECT_FALSE(FilePath::CompareEqualIgnoreCase(L"a", L"b"));
}

TEST(FilePathTest, Utf8Output) {
  const FilePath path(L"C:\\\u00fcber\\\u6587");
  EXPECT_EQ("C:\\\xc3\xbc" "ber\\\xe6\x96\x87", path.ToUtf8());
  std::ostringstream out;
  out << path;
  EXPECT_EQ(path.ToUtf8(), out.str());
}

}  // namespace
}  // namespace base
