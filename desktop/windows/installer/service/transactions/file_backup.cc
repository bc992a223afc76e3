#include "desktop/windows/installer/service/transactions/file_backup.h"

#include <windows.h>

#include <string>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/stringprintf.h"

namespace installer {

namespace {

// Backup names: the prefix followed by eight upper-case hexadecimal digits.
constexpr wchar_t kBackupPrefix[] = L"~undo_";
constexpr size_t kBackupPrefixLength = sizeof(kBackupPrefix) / sizeof(wchar_t) - 1;
constexpr size_t kBackupDigits = 8;

// Another name is drawn when one is taken; more clashes than this mean something is
// wrong with the folder.
constexpr int kMaxNameAttempts = 16;

std::wstring MakeBackupName() {
  return kBackupPrefix + base::WideStringPrintf(L"%08X", static_cast<unsigned>(base::RandUint64()));
}

}  // namespace

bool FileBackup::SetAside(const base::FilePath& path,
                          const std::function<bool(const base::FilePath& backup)>& before_rename) {
  DCHECK(!IsHeld());
  const base::FilePath folder = path.DirName();
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    // A name written down for an undo must be free: what is found there is taken back.
    const base::FilePath backup =
        before_rename ? ChooseFreeName(path, before_rename) : folder.Append(MakeBackupName());
    if (backup.empty())
      return false;
    // A rename in the same folder: never copied, never replacing anything.
    if (::MoveFileExW(path.value().c_str(), backup.value().c_str(), 0)) {
      original_ = path;
      backup_ = backup;
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
      return false;
  }
  return false;
}

bool FileBackup::KeepCopy(const base::FilePath& path,
                          const std::function<bool(const base::FilePath& backup)>& before_copy) {
  DCHECK(!IsHeld());
  const base::FilePath backup = ChooseFreeName(path, before_copy);
  if (backup.empty() || !::CopyFileW(path.value().c_str(), backup.value().c_str(), TRUE))
    return false;
  original_ = path;
  backup_ = backup;
  is_copy_ = true;
  return true;
}

// static
base::FilePath FileBackup::ChooseFreeName(
    const base::FilePath& path,
    const std::function<bool(const base::FilePath& backup)>& before) {
  for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
    const base::FilePath backup = path.DirName().Append(MakeBackupName());
    if (::GetFileAttributesW(backup.value().c_str()) != INVALID_FILE_ATTRIBUTES)
      continue;
    return !before || before(backup) ? backup : base::FilePath();
  }
  ::SetLastError(ERROR_FILE_EXISTS);
  return base::FilePath();
}

bool FileBackup::Restore() {
  if (!IsHeld())
    return true;
  if (!::MoveFileExW(backup_.value().c_str(), original_.value().c_str(),
                     is_copy_ ? MOVEFILE_REPLACE_EXISTING : 0)) {
    PLOG(ERROR) << "Cannot restore " << original_ << " from " << backup_;
    return false;
  }
  original_.clear();
  backup_.clear();
  is_copy_ = false;
  return true;
}

bool FileBackup::Discard() {
  if (!IsHeld())
    return true;
  const bool deleted = base::DeletePath(backup_, true);
  if (!deleted)
    LOG(WARNING) << "Could not delete " << backup_ << ", the old copy of " << original_;
  original_.clear();
  backup_.clear();
  is_copy_ = false;
  return deleted;
}

// static
bool FileBackup::IsBackupName(std::wstring_view name) {
  if (name.size() != kBackupPrefixLength + kBackupDigits ||
      name.substr(0, kBackupPrefixLength) != kBackupPrefix) {
    return false;
  }
  for (wchar_t c : name.substr(kBackupPrefixLength)) {
    if (!((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F')))
      return false;
  }
  return true;
}

}  // namespace installer
