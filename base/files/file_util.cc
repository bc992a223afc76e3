#include "base/files/file_util.h"

#include <algorithm>
#include <atomic>
#include <string_view>
#include <utility>
#include <vector>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/threading/os_thread.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

constexpr DWORD kReadChunkSize = 64 * 1024;

bool IsNotFoundError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

DWORD GetAttributes(const FilePath& path) {
  return ::GetFileAttributesW(path.value().c_str());
}

// Clears FILE_ATTRIBUTE_READONLY when |attributes| (those of |path|) have it.
bool ClearReadOnly(const FilePath& path, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
    return true;
  // Only these attributes can be set; none of them left means "normal".
  constexpr DWORD kSettable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY;
  DWORD cleared = attributes & kSettable;
  if (cleared == 0)
    cleared = FILE_ATTRIBUTE_NORMAL;
  if (!::SetFileAttributesW(path.value().c_str(), cleared)) {
    PLOG(WARNING) << "Cannot clear the read-only attribute of " << path;
    return false;
  }
  return true;
}

// Removes one file or one empty folder (or a link to a folder), clearing a read-only
// attribute in the way. An entry that is already gone counts as removed.
bool RemoveEntry(const FilePath& path, DWORD attributes) {
  const bool is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const auto remove = [&path, is_directory]() {
    return is_directory ? ::RemoveDirectoryW(path.value().c_str()) != FALSE
                        : ::DeleteFileW(path.value().c_str()) != FALSE;
  };
  if (remove())
    return true;
  DWORD error = ::GetLastError();
  if (error == ERROR_ACCESS_DENIED && (attributes & FILE_ATTRIBUTE_READONLY) &&
      ClearReadOnly(path, attributes)) {
    if (remove())
      return true;
    error = ::GetLastError();
  }
  if (IsNotFoundError(error))
    return true;
  ELOG(ERROR, error) << "Cannot delete " << path;
  return false;
}

bool IsRealDirectory(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The system's path of what |handle| holds as GetFinalPathNameByHandleW gives it:
// "\\?\C:\..." or "\\?\UNC\server\share\...". Empty when the system cannot tell.
std::wstring GetRawFinalPath(HANDLE handle) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length =
        ::GetFinalPathNameByHandleW(handle, &buffer[0], static_cast<DWORD>(buffer.size()),
                                    FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0)
      break;
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    // Too small: |length| holds the terminator too.
    buffer.resize(length);
  }
  PLOG(ERROR) << "Cannot tell where an open folder lies";
  return std::wstring();
}

struct ListedEntry {
  std::wstring name;
  DWORD attributes;
};

// What the open folder |handle| (at |path|) holds, listed through the handle itself, "."
// and ".." left out. False, logged, when it cannot be listed.
bool ListOpenFolder(HANDLE handle, const std::wstring& path, std::vector<ListedEntry>* entries) {
  // FILE_ID_BOTH_DIR_INFO records are 8-byte aligned.
  std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
  const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(LONGLONG));
  FILE_INFO_BY_HANDLE_CLASS info_class = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!::GetFileInformationByHandleEx(handle, info_class, buffer.data(), size)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_NO_MORE_FILES)
        return true;
      ELOG(ERROR, error) << "Cannot list " << path;
      return false;
    }
    info_class = FileIdBothDirectoryInfo;
    const uint8_t* record = reinterpret_cast<const uint8_t*>(buffer.data());
    for (;;) {
      const FILE_ID_BOTH_DIR_INFO* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(record);
      const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..")
        entries->push_back({name, info->FileAttributes});
      if (info->NextEntryOffset == 0)
        break;
      record += info->NextEntryOffset;
    }
  }
}

// |path| opened as a folder to hold while what is in it goes: without following a link at
// |path|, and not shared for deletion, so that nobody can rename or delete it meanwhile
// and the paths below it keep leading into it. Invalid, logged, when it cannot be opened
// or is no folder of its own (a link, a file).
win::ScopedHandle HoldFolder(const FilePath& path) {
  win::ScopedHandle folder(::CreateFileW(
      path.value().c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder.IsValid()) {
    const DWORD error = ::GetLastError();
    if (IsNotFoundError(error))
      VLOG(1) << "Cannot open " << path << ": not found";
    else
      ELOG(ERROR, error) << "Cannot open the folder " << path << " to delete it";
    return folder;
  }
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!::GetFileInformationByHandle(folder.Get(), &information)) {
    PLOG(ERROR) << "Cannot read what " << path << " is";
    return win::ScopedHandle();
  }
  if (!IsRealDirectory(information.dwFileAttributes)) {
    LOG(ERROR) << "Not deleting through " << path << ": it is no folder of its own";
    return win::ScopedHandle();
  }
  return folder;
}

// HoldFolder for |path|, a folder that the listing of its held parent named: it must still
// lie there, not where a link put in its place leads.
win::ScopedHandle HoldListedFolder(const FilePath& path) {
  win::ScopedHandle folder = HoldFolder(path);
  if (!folder.IsValid())
    return folder;
  const std::wstring final_path = GetRawFinalPath(folder.Get());
  if (!FilePath::CompareEqualIgnoreCase(final_path, path.value())) {
    LOG(ERROR) << "Not deleting " << path << ": it leads to " << final_path;
    return win::ScopedHandle();
  }
  return folder;
}

struct TreeEntry {
  FilePath path;
  DWORD attributes;
};

// Lists everything inside the held folder |folder| (final path |path|, raw): the real
// folders into |folders|, each held, after its contents, and all else (files and links)
// into |entries|. False when a folder could not be held or listed (what it holds is not
// listed).
bool ListTree(HANDLE folder,
              const std::wstring& path,
              std::vector<TreeEntry>* entries,
              std::vector<std::pair<TreeEntry, win::ScopedHandle>>* folders) {
  std::vector<ListedEntry> listed;
  if (!ListOpenFolder(folder, path, &listed))
    return false;
  bool complete = true;
  for (const ListedEntry& entry : listed) {
    const FilePath child(path + L"\\" + entry.name);
    if (!IsRealDirectory(entry.attributes)) {
      entries->push_back({child, entry.attributes});
      continue;
    }
    win::ScopedHandle subfolder = HoldListedFolder(child);
    if (!subfolder.IsValid() || !ListTree(subfolder.Get(), child.value(), entries, folders))
      complete = false;
    if (subfolder.IsValid())
      folders->emplace_back(TreeEntry{child, entry.attributes}, std::move(subfolder));
  }
  return complete;
}

// Removes the listed entries, one after another as each thread running it takes the next.
class EntryRemover : public OsThread::Delegate {
 public:
  explicit EntryRemover(const std::vector<TreeEntry>& entries) : entries_(entries) {}
  EntryRemover(const EntryRemover&) = delete;
  EntryRemover& operator=(const EntryRemover&) = delete;

  void ThreadMain() override {
    for (size_t i = next_.fetch_add(1); i < entries_.size(); i = next_.fetch_add(1)) {
      if (!RemoveEntry(entries_[i].path, entries_[i].attributes))
        failed_.store(true);
    }
  }
  bool failed() const { return failed_.load(); }

 private:
  const std::vector<TreeEntry>& entries_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> failed_{false};
};

// Deletes the held folder |folder| with everything in it (see DeleteOpenFolder): the files
// and links by |threads| threads (the caller's among them), then the folders, each after
// what it held, which it kept in place until then.
bool DeleteHeldTree(win::ScopedHandle folder, int threads) {
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!folder.IsValid() || !::GetFileInformationByHandle(folder.Get(), &information))
    return false;
  const std::wstring path = GetRawFinalPath(folder.Get());
  if (path.empty())
    return false;
  std::vector<TreeEntry> entries;
  std::vector<std::pair<TreeEntry, win::ScopedHandle>> folders;
  bool success = ListTree(folder.Get(), path, &entries, &folders);
  EntryRemover remover(entries);
  std::vector<win::ScopedHandle> helpers(static_cast<size_t>(std::max(threads - 1, 0)));
  for (win::ScopedHandle& helper : helpers) {
    // Fewer helpers only make it slower: the calling thread removes what they leave.
    if (!OsThread::Create(0, &remover, &helper))
      break;
  }
  remover.ThreadMain();
  for (win::ScopedHandle& helper : helpers) {
    if (helper.IsValid())
      OsThread::Join(&helper);
  }
  if (remover.failed())
    success = false;
  for (auto& [subfolder, held] : folders) {
    held.Close();
    if (!RemoveEntry(subfolder.path, subfolder.attributes))
      success = false;
  }
  folder.Close();
  return RemoveEntry(FilePath(path), information.dwFileAttributes) && success;
}

// DeleteHeldTree for the folder |path|; one that is gone meanwhile counts as deleted.
bool DeleteFolderTree(const FilePath& path, int threads) {
  win::ScopedHandle folder = HoldFolder(path);
  return folder.IsValid() ? DeleteHeldTree(std::move(folder), threads)
                          : GetAttributes(path) == INVALID_FILE_ATTRIBUTES;
}

// Logs a failure to open |path|: a missing file only at verbose level, as callers often
// probe for files.
void LogOpenFailure(const FilePath& path) {
  const DWORD error = ::GetLastError();
  if (IsNotFoundError(error))
    VLOG(1) << "Cannot open " << path << ": not found";
  else
    ELOG(WARNING, error) << "Cannot open " << path;
}

win::ScopedHandle OpenForReading(const FilePath& path) {
  win::ScopedHandle file(::CreateFileW(path.value().c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid())
    LogOpenFailure(path);
  return file;
}

// Writes all |size| bytes; false with an error log otherwise.
bool WriteAll(HANDLE file, const FilePath& path, const char* data, int size) {
  DWORD written = 0;
  if (!::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr)) {
    PLOG(ERROR) << "Cannot write to " << path;
    return false;
  }
  if (written != static_cast<DWORD>(size)) {
    LOG(ERROR) << "Wrote " << written << " of " << size << " bytes to " << path;
    return false;
  }
  return true;
}

// The long form of an existing path; |path| itself when the system cannot give one.
FilePath ToLongPath(const FilePath& path) {
  wchar_t long_path[MAX_PATH + 1];
  const DWORD length = ::GetLongPathNameW(path.value().c_str(), long_path, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH)
    return path;
  return FilePath(std::wstring_view(long_path, length));
}

bool CreateTemporaryDirInDir(const FilePath& dir, std::wstring_view prefix, FilePath* new_dir) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    std::wstring name(prefix);
    name += std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++counter) +
            L"_" + std::to_wstring(now.LowPart);
    const FilePath candidate = dir.Append(name);
    if (::CreateDirectoryW(candidate.value().c_str(), nullptr)) {
      *new_dir = ToLongPath(candidate);
      return true;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      PLOG(ERROR) << "Cannot create folder " << candidate;
      return false;
    }
  }
  LOG(ERROR) << "No unique folder name found in " << dir;
  return false;
}

}  // namespace

bool PathExists(const FilePath& path) {
  return GetAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const FilePath& path) {
  const DWORD attributes = GetAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectory(const FilePath& path) {
  if (path.empty())
    return false;
  // The missing folders, innermost first.
  std::vector<FilePath> missing;
  FilePath current = path;
  for (;;) {
    const DWORD attributes = GetAttributes(current);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        LOG(ERROR) << "Cannot create folder " << path << ": " << current << " is a file";
        return false;
      }
      break;
    }
    missing.push_back(current);
    const FilePath parent = current.DirName();
    if (parent == current)
      break;  // A missing root: creating it fails below with the system's reason.
    current = parent;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!::CreateDirectoryW(it->value().c_str(), nullptr)) {
      const DWORD error = ::GetLastError();
      // Someone else may have created it in the meantime.
      if (error == ERROR_ALREADY_EXISTS && DirectoryExists(*it))
        continue;
      ELOG(ERROR, error) << "Cannot create folder " << *it;
      return false;
    }
  }
  return true;
}

bool CanCreateFilesInDirectory(const FilePath& path) {
  if (!DirectoryExists(path))
    return false;
  win::ScopedHandle dir(::CreateFileW(path.value().c_str(), FILE_ADD_FILE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr));
  return dir.IsValid();
}

bool DeletePath(const FilePath& path, bool recursive) {
  if (path.empty())
    return true;
  if (path.value().size() >= kMaxPathLength) {
    LOG(ERROR) << "Cannot delete " << path << ": the path is too long";
    return false;
  }
  const DWORD attributes = GetAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (IsNotFoundError(error))
      return true;
    ELOG(ERROR, error) << "Cannot delete " << path;
    return false;
  }
  if (!recursive || !IsRealDirectory(attributes))
    return RemoveEntry(path, attributes);
  return DeleteFolderTree(path, 1);
}

bool DeletePathOnThreads(const FilePath& path, int threads) {
  const DWORD attributes = path.empty() || path.value().size() >= kMaxPathLength
                               ? INVALID_FILE_ATTRIBUTES
                               : GetAttributes(path);
  if (threads <= 1 || attributes == INVALID_FILE_ATTRIBUTES || !IsRealDirectory(attributes))
    return DeletePath(path, true);
  return DeleteFolderTree(path, threads);
}

win::ScopedHandle OpenFolderForDeletion(const FilePath& path) {
  return HoldFolder(path);
}

FilePath GetFinalPath(HANDLE handle) {
  const std::wstring raw = GetRawFinalPath(handle);
  constexpr std::wstring_view kUncPrefix = L"\\\\?\\UNC\\";
  constexpr std::wstring_view kPrefix = L"\\\\?\\";
  if (raw.starts_with(kUncPrefix))
    return FilePath(L"\\\\" + raw.substr(kUncPrefix.size()));
  if (raw.starts_with(kPrefix))
    return FilePath(raw.substr(kPrefix.size()));
  return FilePath(raw);
}

bool DeleteOpenFolder(win::ScopedHandle folder) {
  return DeleteHeldTree(std::move(folder), 1);
}

bool MovePath(const FilePath& from, const FilePath& to) {
  if (from.ReferencesParent() || to.ReferencesParent()) {
    LOG(ERROR) << "Refusing to move " << from << " to " << to << ": parent reference";
    return false;
  }
  if (::MoveFileExW(from.value().c_str(), to.value().c_str(), MOVEFILE_REPLACE_EXISTING))
    return true;
  const DWORD error = ::GetLastError();
  const DWORD attributes = GetAttributes(from);
  if (error == ERROR_NOT_SAME_DEVICE && attributes != INVALID_FILE_ATTRIBUTES &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // Another volume: copy, then delete the source. When the delete fails both copies
    // stay, so nothing is lost.
    return CopySingleFile(from, to) && DeletePath(from, false);
  }
  ELOG(ERROR, error) << "Cannot move " << from << " to " << to;
  return false;
}

bool CopySingleFile(const FilePath& from, const FilePath& to) {
  const DWORD target_attributes = GetAttributes(to);
  if (target_attributes != INVALID_FILE_ATTRIBUTES &&
      !(target_attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ClearReadOnly(to, target_attributes);
  }
  if (!::CopyFileW(from.value().c_str(), to.value().c_str(), FALSE)) {
    PLOG(ERROR) << "Cannot copy " << from << " to " << to;
    return false;
  }
  // The copy takes the source's attributes; it must stay writable.
  return ClearReadOnly(to, GetAttributes(to));
}

bool ReadFileToString(const FilePath& path, std::string* contents) {
  if (contents)
    contents->clear();
  win::ScopedHandle file = OpenForReading(path);
  if (!file.IsValid())
    return false;
  std::vector<char> chunk(kReadChunkSize);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.Get(), chunk.data(), kReadChunkSize, &read, nullptr)) {
      PLOG(ERROR) << "Cannot read " << path;
      return false;
    }
    if (read == 0)
      return true;
    if (contents)
      contents->append(chunk.data(), read);
  }
}

int ReadFileToBuffer(const FilePath& path, char* buffer, int size) {
  if (!buffer || size < 0)
    return -1;
  win::ScopedHandle file = OpenForReading(path);
  if (!file.IsValid())
    return -1;
  DWORD read = 0;
  if (!::ReadFile(file.Get(), buffer, static_cast<DWORD>(size), &read, nullptr)) {
    PLOG(ERROR) << "Cannot read " << path;
    return -1;
  }
  return static_cast<int>(read);
}

int WriteFileFromBuffer(const FilePath& path, const char* data, int size) {
  if (size < 0 || (!data && size > 0))
    return -1;
  win::ScopedHandle file(::CreateFileW(path.value().c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS, 0, nullptr));
  if (!file.IsValid()) {
    PLOG(ERROR) << "Cannot create " << path;
    return -1;
  }
  return WriteAll(file.Get(), path, data, size) ? size : -1;
}

bool AppendToFile(const FilePath& path, const char* data, int size) {
  if (size < 0 || (!data && size > 0))
    return false;
  win::ScopedHandle file(::CreateFileW(path.value().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid()) {
    PLOG(ERROR) << "Cannot open " << path << " for appending";
    return false;
  }
  return WriteAll(file.Get(), path, data, size);
}

bool GetFileSize(const FilePath& path, int64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.value().c_str(), GetFileExInfoStandard, &data))
    return false;
  *size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                               data.nFileSizeLow);
  return true;
}

bool CreateTemporaryFileInDir(const FilePath& dir, FilePath* temp_file) {
  wchar_t name[MAX_PATH + 1];
  if (!::GetTempFileNameW(dir.value().c_str(), L"", 0, name)) {
    PLOG(ERROR) << "Cannot create a temporary file in " << dir;
    return false;
  }
  *temp_file = ToLongPath(FilePath(name));
  return true;
}

bool CreateTemporaryFile(FilePath* temp_file) {
  FilePath temp_dir;
  return GetTempDir(&temp_dir) && CreateTemporaryFileInDir(temp_dir, temp_file);
}

bool GetTempDir(FilePath* path) {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length >= kMaxPathLength)
    return false;
  *path = FilePath(std::wstring_view(buffer, length)).StripTrailingSeparators();
  return true;
}

bool CreateNewTempDirectory(std::wstring_view prefix, FilePath* new_dir) {
  FilePath temp_dir;
  return GetTempDir(&temp_dir) && CreateTemporaryDirInDir(temp_dir, prefix, new_dir);
}

namespace {

// The path text that |get| writes: |get| (buffer, size) returns the length without the
// terminator when the text fits, the size needed with the terminator when it does not, and
// 0 on failure.
template <typename Get>
bool GetPathText(Get get, FilePath* result) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = get(&buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0)
      return false;
    if (length < buffer.size()) {
      buffer.resize(length);
      *result = FilePath(buffer);
      return true;
    }
    buffer.resize(length);
  }
}

}  // namespace

bool MakeAbsoluteFilePath(const FilePath& path, FilePath* absolute) {
  if (path.empty())
    return false;
  return GetPathText(
      [&path](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(path.value().c_str(), size, buffer, nullptr);
      },
      absolute);
}

bool MakeLongFilePath(const FilePath& path, FilePath* long_path) {
  if (path.empty())
    return false;
  return GetPathText(
      [&path](wchar_t* buffer, DWORD size) {
        return ::GetLongPathNameW(path.value().c_str(), buffer, size);
      },
      long_path);
}

bool IsDeviceName(std::wstring_view name) {
  // The name up to its first dot, without the spaces before it.
  name = name.substr(0, name.find(L'.'));
  while (!name.empty() && name.back() == L' ')
    name.remove_suffix(1);
  constexpr std::wstring_view kDevices[] = {L"CON",    L"PRN",     L"AUX",   L"NUL",
                                            L"CONIN$", L"CONOUT$", L"CLOCK$"};
  for (std::wstring_view device : kDevices) {
    if (EqualsCaseInsensitiveAscii(name, device))
      return true;
  }
  // COM0 to COM9 and LPT0 to LPT9, with the superscript digits that Windows takes as well.
  if (name.size() != 4 || !(EqualsCaseInsensitiveAscii(name.substr(0, 3), L"COM") ||
                            EqualsCaseInsensitiveAscii(name.substr(0, 3), L"LPT"))) {
    return false;
  }
  const wchar_t digit = name[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
         digit == L'\u00B3';
}

bool IsPlainFileName(std::wstring_view name) {
  if (name.empty() || name.back() == L'.' || name.back() == L' ')
    return false;
  for (const wchar_t c : name) {
    if (c < 0x20 || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos)
      return false;
  }
  return !IsDeviceName(name);
}

bool IsValidPath(const FilePath& path, bool is_directory) {
  const std::wstring& text = path.value();
  if (text.empty() || text.size() >= (is_directory ? kMaxDirectoryPathLength : kMaxPathLength))
    return false;
  const bool drive_letter = (text[0] >= L'a' && text[0] <= L'z') ||
                            (text[0] >= L'A' && text[0] <= L'Z');
  if (text.size() >= 3 && drive_letter && text[1] == L':' && FilePath::IsSeparator(text[2]))
    return true;
  // "\\server\share": both names present.
  if (text.size() < 5 || !FilePath::IsSeparator(text[0]) || !FilePath::IsSeparator(text[1]) ||
      FilePath::IsSeparator(text[2])) {
    return false;
  }
  const size_t server_end = text.find_first_of(L"\\/", 2);
  return server_end != std::wstring::npos && server_end + 1 < text.size() &&
         !FilePath::IsSeparator(text[server_end + 1]);
}

}  // namespace base
