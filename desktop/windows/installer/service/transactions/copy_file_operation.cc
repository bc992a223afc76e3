#include "desktop/windows/installer/service/transactions/copy_file_operation.h"

#include <stdint.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"
#include "desktop/windows/installer/service/transactions/undo_records.h"

namespace installer {

namespace {

// The largest read; a package's files are mostly far smaller and are read whole.
constexpr DWORD kMaxCopyChunk = 1024 * 1024;

// The attributes that a copy takes from its source; it is never read-only.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool IsExistsError(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
         error == ERROR_ACCESS_DENIED;
}

}  // namespace

CopyFileOperation::CopyFileOperation(const base::FilePath& source,
                                     const base::FilePath& destination)
    : source_(source), destination_(destination), create_folder_(destination.DirName()) {}

CopyFileOperation::~CopyFileOperation() = default;

bool CopyFileOperation::Do() {
  // The copy is made here rather than by CopyFileW: a package has thousands of files, and
  // under Wine every look-up of a name not yet in its folder scans the folder, which
  // CopyFileW and the checks around it did five times a file. Here the new name is looked
  // up once, by creating the file; only when that fails is the reason sought.
  base::win::ScopedHandle source(::CreateFileW(
      source_.value().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!source.IsValid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      LOG(ERROR) << "Cannot copy " << source_ << ": no such file";
    else
      ELOG(ERROR, error) << "Cannot copy " << source_;
    return false;
  }
  // Not GetFileInformationByHandle: its volume serial number costs Wine a request to its
  // mount manager.
  FILE_BASIC_INFO info = {};
  LARGE_INTEGER size = {};
  if (!::GetFileInformationByHandleEx(source.Get(), FileBasicInfo, &info, sizeof(info)) ||
      !::GetFileSizeEx(source.Get(), &size)) {
    PLOG(ERROR) << "Cannot copy " << source_;
    return false;
  }
  if (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    LOG(ERROR) << "Cannot copy " << source_ << ": no such file";
    return false;
  }
  if (!create_folder_.Do())
    return false;
  const DWORD attributes = info.FileAttributes & kCopiedAttributes;
  const auto create = [this, attributes]() {
    return base::win::ScopedHandle(::CreateFileW(
        destination_.value().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        (attributes ? attributes : FILE_ATTRIBUTE_NORMAL) | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  };
  base::win::ScopedHandle copy = create();
  DWORD error = copy.IsValid() ? ERROR_SUCCESS : ::GetLastError();
  if (copy.IsValid()) {
    // Recorded once made, which costs no look-up of the name (a file that a crash leaves
    // in between is empty), and not at all in a folder that the run made, whose undo
    // removes it whole.
    copying_ = true;
    if ((!journal() || !journal()->CoversNewFile(destination_)) &&
        !Journal(*undo_record::FileCreated(destination_))) {
      return false;
    }
  }
  const DWORD existing = IsExistsError(error) ? ::GetFileAttributesW(destination_.value().c_str())
                                              : INVALID_FILE_ATTRIBUTES;
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (existing & FILE_ATTRIBUTE_DIRECTORY) {
      LOG(ERROR) << "Cannot copy " << source_ << " to " << destination_
                 << ": a folder is in the way";
      return false;
    }
    const auto record = [this](const base::FilePath& backup) {
      return Journal(*undo_record::SetAside(destination_, backup));
    };
    if (!replaced_.SetAside(destination_, record)) {
      PLOG(ERROR) << "Cannot copy " << source_ << " over " << destination_
                  << ": the old file cannot be moved aside";
      return false;
    }
    copy = create();
    error = copy.IsValid() ? ERROR_SUCCESS : ::GetLastError();
  }
  if (!copy.IsValid()) {
    ELOG(ERROR, error) << "Cannot copy " << source_ << " to " << destination_;
    return false;
  }
  copying_ = true;

  std::vector<char> buffer(static_cast<size_t>(
      std::max<int64_t>(1, std::min<int64_t>(size.QuadPart, kMaxCopyChunk))));
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(source.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                    nullptr)) {
      PLOG(ERROR) << "Cannot copy " << source_ << " to " << destination_;
      return false;
    }
    if (read == 0)
      break;
    DWORD written = 0;
    if (!::WriteFile(copy.Get(), buffer.data(), read, &written, nullptr) || written != read) {
      PLOG(ERROR) << "Cannot copy " << source_ << " to " << destination_;
      return false;
    }
  }
  // As a copy by the system: the contents keep their time.
  FILETIME last_write;
  last_write.dwLowDateTime = static_cast<DWORD>(info.LastWriteTime.QuadPart);
  last_write.dwHighDateTime = static_cast<DWORD>(info.LastWriteTime.QuadPart >> 32);
  if (!::SetFileTime(copy.Get(), nullptr, nullptr, &last_write)) {
    PLOG(ERROR) << "Cannot copy " << source_ << " to " << destination_;
    return false;
  }
  return true;
}

void CopyFileOperation::set_journal(UndoJournal* journal) {
  Operation::set_journal(journal);
  create_folder_.set_journal(journal);
}

void CopyFileOperation::Rollback() {
  if (copying_) {
    copying_ = false;
    if (!base::DeletePath(destination_, false))
      LOG(ERROR) << "Cannot remove the copy " << destination_;
  }
  replaced_.Restore();
  create_folder_.Rollback();
}

void CopyFileOperation::Commit() {
  replaced_.Discard();
}

}  // namespace installer
