#include "base/files/file_path.h"

namespace base {

namespace {

wchar_t ToUpperDriveLetter(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool HasDriveLetter(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':' &&
         ((path[0] >= L'a' && path[0] <= L'z') || (path[0] >= L'A' && path[0] <= L'Z'));
}

}  // namespace

bool FilePath::operator==(const FilePath& other) const {
  if (path_.size() != other.path_.size())
    return false;
  if (HasDriveLetter(path_) && HasDriveLetter(other.path_)) {
    return ToUpperDriveLetter(path_[0]) == ToUpperDriveLetter(other.path_[0]) &&
           path_.compare(1, std::wstring::npos, other.path_, 1, std::wstring::npos) == 0;
  }
  return path_ == other.path_;
}

}  // namespace base
