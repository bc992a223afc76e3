#ifndef BASE_FILES_FILE_PATH_H_
#define BASE_FILES_FILE_PATH_H_

#include <string>
#include <string_view>

namespace base {

// A file-system path held as one UTF-16 string. Backslash and slash both separate
// components; joins write a backslash.
class FilePath {
 public:
  using StringType = std::wstring;
  using CharType = wchar_t;

  static constexpr wchar_t kSeparator = L'\\';

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

 private:
  std::wstring path_;
};

}  // namespace base

#endif  // BASE_FILES_FILE_PATH_H_
