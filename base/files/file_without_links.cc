#include "base/files/file_without_links.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <string.h>

#include <string>

#include "base/files/file_util.h"
#include "base/logging.h"

namespace base {

namespace {

// What the attempts to open the file may meet before one of them wins: another process
// making or deleting the same file between two of them.
constexpr int kOpenAttempts = 3;

// |path| as the system would resolve it if no link were on the way: full, with long names.
// Empty, logged, when it cannot be made (|path| or a folder of it missing, say).
FilePath NormalizedPath(const FilePath& path) {
  FilePath absolute;
  FilePath long_path;
  if (!MakeAbsoluteFilePath(path, &absolute) || !MakeLongFilePath(absolute, &long_path)) {
    PLOG(WARNING) << "Cannot resolve " << path;
    return FilePath();
  }
  return long_path;
}

// What the checks below need to know of an open file or folder.
struct ObjectFacts {
  DWORD attributes = 0;
  DWORD links = 0;
};

// The facts of what |handle| holds, from the two classes of information the system reads
// without asking for the volume's (GetFileInformationByHandle asks for its serial number,
// which Wine answers slowly: an unpacking of thousands of files would pay it per file).
bool ReadFacts(HANDLE handle, ObjectFacts* facts) {
  FILE_BASIC_INFO basic = {};
  FILE_STANDARD_INFO standard = {};
  if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) ||
      !::GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard))) {
    return false;
  }
  facts->attributes = basic.FileAttributes;
  facts->links = standard.NumberOfLinks;
  return true;
}

// Whether the object |handle| holds is no link and lies at |expected|, as the system
// resolves it. Windows shows a link opened with FILE_FLAG_OPEN_REPARSE_POINT as a reparse
// point; Wine opens what a Unix link leads to whatever the flag says, so there its final
// path, which names the link's target, is what tells.
bool LiesWhereItsPathSays(HANDLE handle, const FilePath& expected, ObjectFacts* facts) {
  if (!ReadFacts(handle, facts)) {
    PLOG(WARNING) << "Cannot read what " << expected << " is";
    return false;
  }
  if (facts->attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    LOG(WARNING) << expected << " is a link";
    return false;
  }
  const FilePath final_path = GetFinalPath(handle);
  if (!FilePath::CompareEqualIgnoreCase(final_path.value(), expected.value())) {
    LOG(WARNING) << expected << " leads to " << final_path;
    return false;
  }
  return true;
}

// |folder| opened without following a link and without sharing deletion, when it is a
// folder lying at |expected|; |information| says what it is. Invalid, with the last error
// ERROR_CANT_ACCESS_FILE for a link and ERROR_PATH_NOT_FOUND for no folder, otherwise.
win::ScopedHandle OpenFolderItself(const FilePath& folder,
                                   const FilePath& expected,
                                   ObjectFacts* information) {
  win::ScopedHandle handle(::CreateFileW(folder.value().c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
  if (!handle.IsValid()) {
    PLOG(WARNING) << "Cannot open the folder " << folder;
    return handle;
  }
  if (!LiesWhereItsPathSays(handle.Get(), expected, information)) {
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return win::ScopedHandle();
  }
  if (!(information->attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    LOG(WARNING) << folder << " is no folder";
    // What making a file below it would say.
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return win::ScopedHandle();
  }
  return handle;
}

// Removes the file |file| holds (opened with DELETE access) once every handle of it is
// closed; whatever name it has now, no path is looked up.
void RemoveThroughHandle(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (!::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                    sizeof(disposition))) {
    PLOG(ERROR) << "Cannot remove a file made where a link led";
  }
}

}  // namespace

win::ScopedHandle HoldFolderWithoutLinks(const FilePath& folder) {
  const FilePath normalized = NormalizedPath(folder);
  if (normalized.empty())
    return win::ScopedHandle();
  // Every folder above first: a link in any of them leads the whole path elsewhere.
  ObjectFacts information;
  for (FilePath above = normalized.DirName(); above != above.DirName(); above = above.DirName()) {
    if (!OpenFolderItself(above, above, &information).IsValid()) {
      ::SetLastError(ERROR_CANT_ACCESS_FILE);
      return win::ScopedHandle();
    }
  }
  win::ScopedHandle held = OpenFolderItself(normalized, normalized, &information);
  if (!held.IsValid())
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
  return held;
}

win::ScopedHandle OpenForAppendingWithoutLinks(const FilePath& path) {
  const win::ScopedHandle folder = HoldFolderWithoutLinks(path.DirName());
  if (!folder.IsValid())
    return win::ScopedHandle();
  const FilePath expected = GetFinalPath(folder.Get()).Append(path.BaseName());
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    // Made only as new: making a file through a link in its place (one that leads nowhere
    // yet) would make it where the link leads.
    for (const DWORD disposition :
         {static_cast<DWORD>(OPEN_EXISTING), static_cast<DWORD>(CREATE_NEW)}) {
      win::ScopedHandle file(
          ::CreateFileW(path.value().c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (!file.IsValid()) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_FILE_EXISTS)
          continue;
        ELOG(WARNING, error) << "Cannot open " << path;
        ::SetLastError(error);
        return file;
      }
      ObjectFacts information;
      if (!LiesWhereItsPathSays(file.Get(), expected, &information)) {
        ::SetLastError(ERROR_CANT_ACCESS_FILE);
        return win::ScopedHandle();
      }
      if (information.links > 1 ||
          (information.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        LOG(WARNING) << path << " is no file of its own (a folder, or a file of "
                     << information.links << " names)";
        ::SetLastError(ERROR_CANT_ACCESS_FILE);
        return win::ScopedHandle();
      }
      return file;
    }
  }
  LOG(WARNING) << "Cannot open " << path << ": it comes and goes";
  ::SetLastError(ERROR_SHARING_VIOLATION);
  return win::ScopedHandle();
}

win::ScopedHandle CreateNewWithoutLinks(const FilePath& path) {
  return CreateNewWithoutLinks(path, GENERIC_WRITE, FILE_SHARE_READ);
}

win::ScopedHandle CreateNewWithoutLinks(const FilePath& path, DWORD access, DWORD share) {
  const win::ScopedHandle folder = HoldFolderWithoutLinks(path.DirName());
  if (!folder.IsValid())
    return win::ScopedHandle();
  return CreateNewInHeldFolder(GetFinalPath(folder.Get()), path, access, share,
                               FILE_ATTRIBUTE_NORMAL);
}

win::ScopedHandle MakeSubfolderWithoutLinks(const FilePath& parent_final_path,
                                            const FilePath& folder,
                                            FilePath* final_path) {
  // A link already in the name makes this fail as an existing name; it is found below.
  if (!::CreateDirectoryW(folder.value().c_str(), nullptr) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    const DWORD error = ::GetLastError();
    ELOG(WARNING, error) << "Cannot make the folder " << folder;
    ::SetLastError(error);
    return win::ScopedHandle();
  }
  const FilePath expected = parent_final_path.Append(folder.BaseName());
  ObjectFacts information;
  win::ScopedHandle held = OpenFolderItself(folder, expected, &information);
  if (held.IsValid())
    *final_path = expected;
  return held;
}

win::ScopedHandle MakeFolderWithoutLinks(const FilePath& folder) {
  const win::ScopedHandle parent = HoldFolderWithoutLinks(folder.DirName());
  if (!parent.IsValid())
    return win::ScopedHandle();
  FilePath final_path;
  return MakeSubfolderWithoutLinks(GetFinalPath(parent.Get()), folder, &final_path);
}

win::ScopedHandle CreateNewInHeldFolder(const FilePath& parent_final_path,
                                        const FilePath& path,
                                        DWORD access,
                                        DWORD share,
                                        DWORD flags_and_attributes) {
  win::ScopedHandle file;
  for (int attempt = 0; attempt < kOpenAttempts && !file.IsValid(); ++attempt) {
    // Made only as new: a link in the name fails this rather than leads it.
    file.Set(::CreateFileW(path.value().c_str(), access | FILE_READ_ATTRIBUTES | DELETE, share,
                           nullptr, CREATE_NEW, flags_and_attributes | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr));
    if (file.IsValid())
      break;
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      ELOG(WARNING, error) << "Cannot make " << path;
      ::SetLastError(error);
      return file;
    }
    // The name only: what a link or another name of a file leads to stays as it is.
    if (!::DeleteFileW(path.value().c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
      const DWORD delete_error = ::GetLastError();
      ELOG(WARNING, delete_error) << "Cannot replace " << path;
      ::SetLastError(delete_error);
      return file;
    }
  }
  if (!file.IsValid()) {
    LOG(WARNING) << "Cannot make " << path << ": its name comes and goes";
    ::SetLastError(ERROR_SHARING_VIOLATION);
    return file;
  }
  ObjectFacts information;
  if (!LiesWhereItsPathSays(file.Get(), parent_final_path.Append(path.BaseName()), &information) ||
      information.links > 1) {
    LOG(WARNING) << "A link was found in place of " << path << "; the file made is removed";
    RemoveThroughHandle(file.Get());
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return win::ScopedHandle();
  }
  return file;
}

bool CopyToNewFileWithoutLinks(const FilePath& from, const FilePath& to) {
  std::string contents;
  if (!ReadFileToString(from, &contents)) {
    PLOG(WARNING) << "Cannot read " << from;
    return false;
  }
  const win::ScopedHandle copy = CreateNewWithoutLinks(to);
  DWORD written = 0;
  if (!copy.IsValid() || !::WriteFile(copy.Get(), contents.data(),
                                      static_cast<DWORD>(contents.size()), &written, nullptr) ||
      written != contents.size()) {
    PLOG(WARNING) << "Cannot copy " << from << " to " << to;
    return false;
  }
  return true;
}

ScopedFILE StreamOf(win::ScopedHandle file, const char* mode) {
  if (!file.IsValid())
    return ScopedFILE();
  const bool binary = strchr(mode, 'b') != nullptr;
  const bool append = strchr(mode, 'a') != nullptr;
  const int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()),
                      (binary ? _O_BINARY : _O_TEXT) | (append ? _O_APPEND : 0) | _O_WRONLY);
  if (descriptor == -1) {
    LOG(WARNING) << "The C runtime cannot take a file handle";
    return ScopedFILE();
  }
  // The descriptor owns the handle now, and the stream the descriptor.
  file.Take();
  ScopedFILE stream(_fdopen(descriptor, mode));
  if (!stream) {
    LOG(WARNING) << "The C runtime cannot make a stream of a file";
    _close(descriptor);
  }
  return stream;
}

}  // namespace base
