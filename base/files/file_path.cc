#include "base/files/file_path.h"

#include <windows.h>

#include <ostream>

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

constexpr wchar_t kSeparators[] = L"\\/";

bool HasDriveLetter(std::wstring_view path) {
  return path.size() >= 2 && path[1] == L':' &&
         ((path[0] >= L'a' && path[0] <= L'z') || (path[0] >= L'A' && path[0] <= L'Z'));
}

// Length of the root prefix: "C:\" 3, "C:" 2, "\" 1, "\\server\share" up to the end of the
// share name, relative paths 0.
size_t RootLength(std::wstring_view path) {
  if (HasDriveLetter(path))
    return (path.size() > 2 && FilePath::IsSeparator(path[2])) ? 3 : 2;
  size_t leading = 0;
  while (leading < path.size() && FilePath::IsSeparator(path[leading]))
    ++leading;
  if (leading < 2)
    return leading;
  // UNC: the server name, then the share name when there is one.
  size_t server_end = leading;
  while (server_end < path.size() && !FilePath::IsSeparator(path[server_end]))
    ++server_end;
  size_t share = server_end;
  while (share < path.size() && FilePath::IsSeparator(path[share]))
    ++share;
  if (share == path.size())
    return server_end;
  while (share < path.size() && !FilePath::IsSeparator(path[share]))
    ++share;
  return share;
}

std::wstring_view StripTrailing(std::wstring_view path) {
  const size_t root = RootLength(path);
  size_t end = path.size();
  while (end > root && FilePath::IsSeparator(path[end - 1]))
    --end;
  return path.substr(0, end);
}

// Start of the last component of a path without trailing separators (its size when the
// path is only a root).
size_t LastComponentStart(std::wstring_view stripped) {
  const size_t root = RootLength(stripped);
  const size_t last_separator = stripped.find_last_of(kSeparators);
  if (last_separator == std::wstring_view::npos || last_separator < root)
    return root;
  return last_separator + 1;
}

bool IsEmptyOrDotName(std::wstring_view name) {
  return name.empty() || name == L"." || name == L"..";
}

// Position of the extension's dot in a path without trailing separators, or npos.
size_t ExtensionPosition(std::wstring_view stripped) {
  const size_t start = LastComponentStart(stripped);
  const std::wstring_view name = stripped.substr(start);
  const size_t first_non_dot = name.find_first_not_of(L'.');
  const size_t dot = name.rfind(FilePath::kExtensionSeparator);
  if (first_non_dot == std::wstring_view::npos || dot == std::wstring_view::npos ||
      dot < first_non_dot) {
    return std::wstring_view::npos;
  }
  return start + dot;
}

// Compares two roots: separators are interchangeable, drive letters compare without case.
bool RootsEqual(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size() || HasDriveLetter(a) != HasDriveLetter(b))
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FilePath::IsSeparator(a[i]) && FilePath::IsSeparator(b[i]))
      continue;
    if (i == 0 && HasDriveLetter(a)) {
      if (ToUpperAscii(a[0]) != ToUpperAscii(b[0]))
        return false;
      continue;
    }
    if (a[i] != b[i])
      return false;
  }
  return true;
}

std::wstring UpperCaseForComparison(std::wstring_view text) {
  std::wstring upper(text);
  if (upper.empty())
    return upper;
  // Upper-casing maps each UTF-16 unit to one unit, so the length does not change.
  const int mapped = ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(),
                                    static_cast<int>(text.size()), upper.data(),
                                    static_cast<int>(upper.size()));
  if (mapped != static_cast<int>(text.size()))
    return ToUpperAscii(text);
  return upper;
}

}  // namespace

bool FilePath::operator==(const FilePath& other) const {
  if (path_.size() != other.path_.size())
    return false;
  if (HasDriveLetter(path_) && HasDriveLetter(other.path_)) {
    return ToUpperAscii(path_[0]) == ToUpperAscii(other.path_[0]) &&
           path_.compare(1, std::wstring::npos, other.path_, 1, std::wstring::npos) == 0;
  }
  return path_ == other.path_;
}

FilePath FilePath::DirName() const {
  const std::wstring_view stripped = StripTrailing(path_);
  const size_t root = RootLength(stripped);
  const size_t start = LastComponentStart(stripped);
  if (start <= root)
    return root == 0 ? FilePath(L".") : FilePath(stripped.substr(0, root));
  // Drop the last component and the separators before it, keeping the root.
  size_t end = start;
  while (end > root && IsSeparator(stripped[end - 1]))
    --end;
  return FilePath(stripped.substr(0, end));
}

FilePath FilePath::BaseName() const {
  const std::wstring_view stripped = StripTrailing(path_);
  return FilePath(stripped.substr(LastComponentStart(stripped)));
}

FilePath FilePath::Append(std::wstring_view component) const {
  if (path_.empty())
    return FilePath(component);
  const size_t first = component.find_first_not_of(kSeparators);
  if (first == std::wstring_view::npos)
    return *this;
  size_t end = path_.size();
  while (end > 0 && IsSeparator(path_[end - 1]))
    --end;
  std::wstring joined;
  if (end == 0) {
    // Only separators ("\" or the "\\" of a UNC path): the component follows them.
    joined = path_;
  } else {
    joined.assign(path_, 0, end);
    joined.push_back(kSeparator);
  }
  joined.append(component.substr(first));
  return FilePath(joined);
}

FilePath FilePath::Append(const FilePath& component) const {
  return Append(std::wstring_view(component.path_));
}

FilePath FilePath::AppendASCII(std::string_view component) const {
  return Append(AsciiToUtf16(component));
}

std::wstring FilePath::Extension() const {
  const std::wstring_view stripped = StripTrailing(path_);
  const size_t dot = ExtensionPosition(stripped);
  return dot == std::wstring_view::npos ? std::wstring() : std::wstring(stripped.substr(dot));
}

FilePath FilePath::RemoveExtension() const {
  const std::wstring_view stripped = StripTrailing(path_);
  const size_t dot = ExtensionPosition(stripped);
  return dot == std::wstring_view::npos ? *this : FilePath(stripped.substr(0, dot));
}

FilePath FilePath::AddExtension(std::wstring_view extension) const {
  if (extension.empty() || extension == L".")
    return *this;
  const std::wstring_view stripped = StripTrailing(path_);
  if (IsEmptyOrDotName(stripped.substr(LastComponentStart(stripped))))
    return FilePath();
  std::wstring result(stripped);
  if (extension[0] != kExtensionSeparator)
    result.push_back(kExtensionSeparator);
  result.append(extension);
  return FilePath(result);
}

FilePath FilePath::ReplaceExtension(std::wstring_view extension) const {
  const FilePath without = RemoveExtension();
  if (extension.empty() || extension == L".")
    return without;
  return without.AddExtension(extension);
}

FilePath FilePath::InsertBeforeExtensionASCII(std::string_view suffix) const {
  const std::wstring_view stripped = StripTrailing(path_);
  if (IsEmptyOrDotName(stripped.substr(LastComponentStart(stripped))))
    return FilePath();
  if (suffix.empty())
    return *this;
  size_t dot = ExtensionPosition(stripped);
  if (dot == std::wstring_view::npos)
    dot = stripped.size();
  std::wstring result(stripped.substr(0, dot));
  result.append(AsciiToUtf16(suffix));
  result.append(stripped.substr(dot));
  return FilePath(result);
}

FilePath FilePath::StripTrailingSeparators() const {
  return FilePath(StripTrailing(path_));
}

FilePath FilePath::NormalizePathSeparators() const {
  std::wstring normalized(path_);
  for (wchar_t& c : normalized) {
    if (IsSeparator(c))
      c = kSeparator;
  }
  return FilePath(normalized);
}

bool FilePath::IsAbsolute() const {
  if (HasDriveLetter(path_))
    return path_.size() > 2 && IsSeparator(path_[2]);
  return path_.size() > 2 && IsSeparator(path_[0]) && IsSeparator(path_[1]) &&
         !IsSeparator(path_[2]);
}

std::vector<std::wstring> FilePath::GetComponents() const {
  std::vector<std::wstring> components;
  const size_t root = RootLength(path_);
  if (root > 0)
    components.emplace_back(path_, 0, root);
  size_t pos = root;
  while (pos < path_.size()) {
    const size_t begin = path_.find_first_not_of(kSeparators, pos);
    if (begin == std::wstring::npos)
      break;
    size_t end = path_.find_first_of(kSeparators, begin);
    if (end == std::wstring::npos)
      end = path_.size();
    components.emplace_back(path_, begin, end - begin);
    pos = end;
  }
  return components;
}

bool FilePath::AppendRelativePath(const FilePath& child, FilePath* path) const {
  const std::vector<std::wstring> parent_components = GetComponents();
  const std::vector<std::wstring> child_components = child.GetComponents();
  if (parent_components.empty() || parent_components.size() >= child_components.size())
    return false;
  const bool parent_rooted = RootLength(path_) > 0;
  if (parent_rooted != (RootLength(child.path_) > 0))
    return false;
  for (size_t i = 0; i < parent_components.size(); ++i) {
    const bool equal = (i == 0 && parent_rooted)
                           ? RootsEqual(parent_components[i], child_components[i])
                           : parent_components[i] == child_components[i];
    if (!equal)
      return false;
  }
  if (path) {
    for (size_t i = parent_components.size(); i < child_components.size(); ++i)
      *path = path->Append(child_components[i]);
  }
  return true;
}

bool FilePath::IsParent(const FilePath& child) const {
  return AppendRelativePath(child, nullptr);
}

bool FilePath::IsParentIgnoreCase(const FilePath& child) const {
  const std::vector<std::wstring> parent_components = GetComponents();
  const std::vector<std::wstring> child_components = child.GetComponents();
  if (parent_components.empty() || parent_components.size() >= child_components.size())
    return false;
  for (size_t i = 0; i < parent_components.size(); ++i) {
    if (!CompareEqualIgnoreCase(parent_components[i], child_components[i]))
      return false;
  }
  return true;
}

bool FilePath::ReferencesParent() const {
  for (const std::wstring& component : GetComponents()) {
    if (component.find_first_not_of(L". ") == std::wstring::npos &&
        component.find(L"..") != std::wstring::npos) {
      return true;
    }
  }
  return false;
}

std::string FilePath::ToUtf8() const {
  return Utf16ToUtf8(path_);
}

// static
int FilePath::CompareIgnoreCase(std::wstring_view a, std::wstring_view b) {
  const int result = UpperCaseForComparison(a).compare(UpperCaseForComparison(b));
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// static
std::wstring FilePath::FoldCase(std::wstring_view text) {
  return UpperCaseForComparison(text);
}

std::ostream& operator<<(std::ostream& out, const FilePath& path) {
  return out << path.ToUtf8();
}

}  // namespace base
