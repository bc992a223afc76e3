#include "desktop/windows/installer/staging_folder.h"

#include <windows.h>

#include <memory>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/temporary_folder_records.h"

namespace installer {

namespace {

// Copies |source|, a file in a folder its user may change, over |target| in the staging
// folder. A link or another name of a file there would lead an administrator's process to
// copy what that user cannot read: the source is opened as itself and must have one name.
bool CopyFileWithoutLinks(const base::FilePath& source, const base::FilePath& target) {
  const base::win::ScopedHandle from(::CreateFileW(
      source.value().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!from.IsValid() || !::GetFileInformationByHandle(from.Get(), &info)) {
    PLOG(ERROR) << "Cannot open " << source;
    return false;
  }
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      info.nNumberOfLinks != 1) {
    LOG(ERROR) << "Not copying " << source << ": it is a link, a folder or a file of other names";
    return false;
  }
  const base::win::ScopedHandle to(::CreateFileW(target.value().c_str(), GENERIC_WRITE, 0,
                                                 nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!to.IsValid()) {
    PLOG(ERROR) << "Cannot create " << target;
    return false;
  }
  constexpr DWORD kChunk = 64 * 1024;
  const std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(from.Get(), buffer.get(), kChunk, &read, nullptr)) {
      PLOG(ERROR) << "Cannot read " << source;
      return false;
    }
    if (read == 0)
      return true;
    DWORD written = 0;
    if (!::WriteFile(to.Get(), buffer.get(), read, &written, nullptr) || written != read) {
      PLOG(ERROR) << "Cannot write " << target;
      return false;
    }
  }
}

}  // namespace

StagingFolder::StagingFolder() = default;

StagingFolder::~StagingFolder() {
  if (path_.empty())
    return;
  // Nothing there is anybody else's: the folder was new, and only administrators can
  // change it.
  // A folder that stays keeps its record: a later elevated run removes it.
  if (base::DeletePath(path_, true))
    ForgetTemporaryFolder(path_);
  else
    LOG(WARNING) << "The copies in " << path_ << " stay for a later run to remove";
}

bool StagingFolder::Create() {
  if (!path_.empty()) {
    LOG(ERROR) << "The staging folder " << path_ << " exists already";
    return false;
  }
  return CreateRecordedTemporaryFolder(kStagingFolderPrefix, Readers::kAdminsOnly, &path_);
}

bool StagingFolder::CopyIn(const base::FilePath& source_folder, const base::FilePath& relative) {
  const base::FilePath target = path_.Append(relative);
  if (path_.empty() || !IsPathInside(target, path_)) {
    LOG(ERROR) << "Not copying " << relative << ": it would not lie in the staging folder";
    return false;
  }
  // The folders on the way inherit the folder's protected access list.
  if (!base::CreateDirectory(target.DirName()))
    return false;
  return CopyFileWithoutLinks(source_folder.Append(relative), target);
}

}  // namespace installer
