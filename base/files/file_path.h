#ifndef BASE_FILES_FILE_PATH_H_
#define BASE_FILES_FILE_PATH_H_

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// A file-system path held as one UTF-16 string. Backslash and slash both separate
// components; joins write a backslash. Operations work on the text only; none of them
// touches the file system.
//
// The root of a path is the part no parent can be taken from:
//   "C:\" and "C:/"  drive root         "C:"  a drive's current folder
//   "\"              current drive root  "\\server\share"  (or "\\server") UNC root
// Relative paths have no root.
//
// DirName and BaseName split a path after its last component, ignoring trailing
// separators:
//   "C:\a\b\" -> "C:\a" and "b"     "C:\a" -> "C:\" and "a"     "C:a" -> "C:" and "a"
//   "\\server\share\x" -> "\\server\share" and "x"      "a" -> "." and "a"
// A root is its own DirName and has an empty BaseName ("C:\", "\\server\share", "\"), so
// walking up with DirName always ends. The DirName of an empty path is ".".
class FilePath {
 public:
  using StringType = std::wstring;
  using CharType = wchar_t;

  static constexpr wchar_t kSeparator = L'\\';
  static constexpr wchar_t kExtensionSeparator = L'.';

  FilePath() = default;
  explicit FilePath(std::wstring_view path) : path_(path) {}

  const std::wstring& value() const { return path_; }
  bool empty() const { return path_.empty(); }
  void clear() { path_.clear(); }

  static bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

  // Drive letters compare without regard to case, the rest exactly.
  bool operator==(const FilePath& other) const;
  bool operator!=(const FilePath& other) const { return !(*this == other); }
  bool operator<(const FilePath& other) const { return path_ < other.path_; }

  // The parent folder (see above).
  FilePath DirName() const;
  // The last component without trailing separators and drive letter (see above).
  FilePath BaseName() const;

  // |component| joined with exactly one backslash: trailing separators of this path and
  // leading separators of |component| are dropped ("C:\" + "a" = "C:\a", "C:" + "a" =
  // "C:\a"). An empty path gives |component| unchanged; an empty component gives this
  // path. |component| is taken as relative to this path.
  FilePath Append(std::wstring_view component) const;
  FilePath Append(const FilePath& component) const;
  // Widens |component| byte by byte; it must be ASCII.
  FilePath AppendASCII(std::string_view component) const;

  // The extension of BaseName(), dot included: "a\b.txt" -> ".txt", "b." -> ".". Leading
  // dots do not start an extension (".bashrc" has none); "a.b\c" has none.
  std::wstring Extension() const;
  // The path without Extension() (and then without trailing separators); unchanged when
  // there is no extension.
  FilePath RemoveExtension() const;
  // Appends |extension| with one "." between ("a" + "txt" or ".txt" -> "a.txt"). Trailing
  // separators are dropped first. Empty when the last component is missing, "." or "..";
  // unchanged for an empty or "." extension.
  FilePath AddExtension(std::wstring_view extension) const;
  // RemoveExtension then AddExtension; an empty or "." extension just removes it.
  FilePath ReplaceExtension(std::wstring_view extension) const;
  // "a\b.txt" + "_1" -> "a\b_1.txt". Empty when the last component is missing, "." or "..".
  FilePath InsertBeforeExtensionASCII(std::string_view suffix) const;

  // Drops trailing separators, never below the root ("C:\a\\" -> "C:\a", "C:\" stays).
  FilePath StripTrailingSeparators() const;
  // Every slash turned into a backslash.
  FilePath NormalizePathSeparators() const;

  // A drive letter followed by a separator, or a UNC path ("\\server...").
  bool IsAbsolute() const;

  // The root (as written), then every non-empty component.
  std::vector<std::wstring> GetComponents() const;

  // True when this path is a proper ancestor of |child|: its components are a shorter
  // prefix of the child's, roots compared with drive letters without regard to case and
  // slash equal to backslash, all other text exactly. Then the child's remaining
  // components are appended to |*path| (when |path| is not null).
  bool AppendRelativePath(const FilePath& child, FilePath* path) const;
  bool IsParent(const FilePath& child) const;
  // The same ancestry with every component, the root as written included, compared as
  // CompareIgnoreCase compares ("c:\A" is a parent of "C:\a\b", not of "C:/a/b").
  bool IsParentIgnoreCase(const FilePath& child) const;

  // True when a component refers to a parent folder: "..", or (as Windows drops trailing
  // dots and spaces from names) any component of only dots and spaces that holds "..".
  bool ReferencesParent() const;

  std::string ToUtf8() const;

  // -1, 0 or 1 after upper-casing each character through the system; a shorter prefix
  // sorts first.
  static int CompareIgnoreCase(std::wstring_view a, std::wstring_view b);
  static bool CompareEqualIgnoreCase(std::wstring_view a, std::wstring_view b) {
    return CompareIgnoreCase(a, b) == 0;
  }
  // |text| upper-cased as CompareIgnoreCase compares it: two texts that compare equal
  // fold to the same text.
  static std::wstring FoldCase(std::wstring_view text);

 private:
  std::wstring path_;
};

// Writes the path as UTF-8 (for logging).
std::ostream& operator<<(std::ostream& out, const FilePath& path);

}  // namespace base

#endif  // BASE_FILES_FILE_PATH_H_
