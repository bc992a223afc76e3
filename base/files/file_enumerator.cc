#include "base/files/file_enumerator.h"

#include <string.h>

#include "base/logging.h"

namespace base {

namespace {

constexpr wchar_t kMatchAll[] = L"*";

bool IsDotEntry(const wchar_t* name) {
  return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

}  // namespace

FileEnumerator::FileInfo::FileInfo() {
  memset(&find_data_, 0, sizeof(find_data_));
}

FileEnumerator::FileInfo::FileInfo(const WIN32_FIND_DATAW& find_data) : find_data_(find_data) {}

bool FileEnumerator::FileInfo::IsDirectory() const {
  return (find_data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FilePath FileEnumerator::FileInfo::GetName() const {
  return FilePath(find_data_.cFileName);
}

int64_t FileEnumerator::FileInfo::GetSize() const {
  return static_cast<int64_t>((static_cast<uint64_t>(find_data_.nFileSizeHigh) << 32) |
                              find_data_.nFileSizeLow);
}

FileEnumerator::FileEnumerator(const FilePath& root,
                               bool recursive,
                               int file_type,
                               std::wstring_view pattern)
    : recursive_(recursive),
      file_type_(file_type),
      pattern_(pattern.empty() ? std::wstring(kMatchAll) : std::wstring(pattern)) {
  memset(&find_data_, 0, sizeof(find_data_));
  pending_dirs_.push_back(root);
}

FileEnumerator::~FileEnumerator() = default;

FilePath FileEnumerator::Next() {
  const bool subfolder_pass_needed = recursive_ && pattern_ != kMatchAll;
  for (;;) {
    if (!find_handle_.IsValid()) {
      if (pending_dirs_.empty())
        return FilePath();
      current_dir_ = pending_dirs_.back();
      pending_dirs_.pop_back();
      if (!StartSearch(Pass::kMatches) && subfolder_pass_needed)
        StartSearch(Pass::kSubfolders);
      continue;
    }
    if (!has_find_data_ && !::FindNextFileW(find_handle_.Get(), &find_data_)) {
      find_handle_.Close();
      if (pass_ == Pass::kMatches && subfolder_pass_needed)
        StartSearch(Pass::kSubfolders);
      continue;
    }
    has_find_data_ = false;
    if (IsDotEntry(find_data_.cFileName))
      continue;
    const FilePath path = current_dir_.Append(find_data_.cFileName);
    const bool finds_subfolders = pass_ == Pass::kSubfolders || !subfolder_pass_needed;
    if (recursive_ && finds_subfolders && ShouldEnter(find_data_))
      pending_dirs_.push_back(path);
    if (pass_ == Pass::kMatches && ShouldReturn(find_data_)) {
      current_info_ = FileInfo(find_data_);
      return path;
    }
  }
}

FileEnumerator::FileInfo FileEnumerator::GetInfo() const {
  return current_info_;
}

bool FileEnumerator::StartSearch(Pass pass) {
  pass_ = pass;
  const FilePath query = current_dir_.Append(pass == Pass::kMatches ? pattern_ : kMatchAll);
  // The standard information level and no flags: the faster variants need Windows 7.
  find_handle_.Set(::FindFirstFileExW(query.value().c_str(), FindExInfoStandard, &find_data_,
                                      FindExSearchNameMatch, nullptr, 0));
  has_find_data_ = find_handle_.IsValid();
  if (!has_find_data_) {
    const DWORD error = ::GetLastError();
    // No match is a normal outcome; anything else (a missing or unreadable folder) is
    // worth a verbose line only, as callers see an empty listing either way.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
      VLOG(1) << "Cannot list " << query << " (error " << error << ")";
  }
  return has_find_data_;
}

bool FileEnumerator::ShouldReturn(const WIN32_FIND_DATAW& data) const {
  const bool is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return (file_type_ & (is_directory ? DIRECTORIES : FILES)) != 0;
}

bool FileEnumerator::ShouldEnter(const WIN32_FIND_DATAW& data) const {
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace base
