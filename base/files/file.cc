#include "base/files/file.h"

#include <stdint.h>
#include <string.h>

#include <utility>
#include <vector>

#include "base/logging.h"

namespace base {

namespace {

// The OVERLAPPED that addresses |offset| of a synchronous handle.
OVERLAPPED OverlappedAt(int64_t offset) {
  OVERLAPPED overlapped = {};
  overlapped.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
  overlapped.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return overlapped;
}

// One ReadFile call, at |offset| when it is not null. Bytes read, 0 at the end, or -1.
int ReadAt(HANDLE file, const int64_t* offset, char* data, int size) {
  if (size < 0 || (offset && *offset < 0))
    return -1;
  OVERLAPPED overlapped = OverlappedAt(offset ? *offset : 0);
  DWORD read = 0;
  if (::ReadFile(file, data, static_cast<DWORD>(size), &read, offset ? &overlapped : nullptr))
    return static_cast<int>(read);
  // Reading at an offset past the end reports the end as an error.
  return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

// One WriteFile call, at |offset| when it is not null. Bytes written or -1.
int WriteAt(HANDLE file, const int64_t* offset, const char* data, int size) {
  if (size < 0 || (offset && *offset < 0))
    return -1;
  OVERLAPPED overlapped = OverlappedAt(offset ? *offset : 0);
  DWORD written = 0;
  if (!::WriteFile(file, data, static_cast<DWORD>(size), &written,
                   offset ? &overlapped : nullptr)) {
    return -1;
  }
  return static_cast<int>(written);
}

}  // namespace

File::File(const FilePath& path, uint32_t flags) {
  Initialize(path, flags);
}

File::File(win::ScopedHandle handle)
    : file_(std::move(handle)),
      error_details_(file_.IsValid() ? ERROR_SUCCESS : ::GetLastError()) {}

File::File(File&& other) noexcept
    : file_(std::move(other.file_)),
      created_(other.created_),
      error_details_(other.error_details_) {}

File& File::operator=(File&& other) noexcept {
  file_ = std::move(other.file_);
  created_ = other.created_;
  error_details_ = other.error_details_;
  return *this;
}

File::~File() = default;

void File::Initialize(const FilePath& path, uint32_t flags) {
  Close();
  created_ = false;
  error_details_ = ERROR_SUCCESS;

  DWORD disposition = 0;
  int dispositions = 0;
  const struct {
    uint32_t flag;
    DWORD disposition;
  } kDispositions[] = {{FLAG_OPEN, OPEN_EXISTING},
                       {FLAG_CREATE, CREATE_NEW},
                       {FLAG_OPEN_ALWAYS, OPEN_ALWAYS},
                       {FLAG_CREATE_ALWAYS, CREATE_ALWAYS}};
  for (const auto& entry : kDispositions) {
    if (flags & entry.flag) {
      disposition = entry.disposition;
      ++dispositions;
    }
  }
  if (dispositions != 1) {
    LOG(ERROR) << "Opening " << path << ": exactly one open mode is needed (flags " << flags
               << ")";
    error_details_ = ERROR_INVALID_PARAMETER;
    return;
  }

  DWORD access = 0;
  if (flags & FLAG_READ)
    access |= GENERIC_READ;
  if (flags & FLAG_WRITE)
    access |= GENERIC_WRITE;
  DWORD sharing = 0;
  if (!(flags & FLAG_EXCLUSIVE_READ))
    sharing |= FILE_SHARE_READ;
  if (!(flags & FLAG_EXCLUSIVE_WRITE))
    sharing |= FILE_SHARE_WRITE;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  if (flags & FLAG_TEMPORARY)
    attributes = FILE_ATTRIBUTE_TEMPORARY;
  if (flags & FLAG_DELETE_ON_CLOSE) {
    attributes |= FILE_FLAG_DELETE_ON_CLOSE;
    access |= DELETE;
  }
  if (flags & FLAG_CAN_RENAME)
    access |= DELETE;
  if (flags & FLAG_OPEN_LINK)
    attributes |= FILE_FLAG_OPEN_REPARSE_POINT;

  HANDLE handle = ::CreateFileW(path.value().c_str(), access, sharing, nullptr, disposition,
                                attributes, nullptr);
  const DWORD error = ::GetLastError();
  if (handle == INVALID_HANDLE_VALUE) {
    error_details_ = error;
    VLOG(1) << "Cannot open " << path << " (error " << error << ")";
    return;
  }
  if (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS)
    created_ = error != ERROR_ALREADY_EXISTS;
  else
    created_ = disposition == CREATE_NEW;
  file_.Set(handle);
}

int64_t File::Seek(Whence whence, int64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  if (!IsValid() || whence < FROM_BEGIN || whence > FROM_END ||
      !::SetFilePointerEx(file_.Get(), distance, &position, static_cast<DWORD>(whence))) {
    return -1;
  }
  return position.QuadPart;
}

int File::Read(int64_t offset, char* data, int size) {
  return ReadAt(file_.Get(), &offset, data, size);
}

int File::ReadAtCurrentPos(char* data, int size) {
  return ReadAt(file_.Get(), nullptr, data, size);
}

int File::Write(int64_t offset, const char* data, int size) {
  return WriteAt(file_.Get(), &offset, data, size);
}

int File::WriteAtCurrentPos(const char* data, int size) {
  return WriteAt(file_.Get(), nullptr, data, size);
}

bool File::SetLength(int64_t length) {
  if (length < 0)
    return false;
  const int64_t position = Seek(FROM_CURRENT, 0);
  if (position < 0 || Seek(FROM_BEGIN, length) < 0)
    return false;
  const bool success = ::SetEndOfFile(file_.Get()) != FALSE;
  if (!success)
    PLOG(ERROR) << "Cannot set the length of a file to " << length;
  Seek(FROM_BEGIN, position);
  return success;
}

bool File::GetInfo(Info* info) const {
  BY_HANDLE_FILE_INFORMATION data;
  if (!IsValid() || !::GetFileInformationByHandle(file_.Get(), &data))
    return false;
  info->size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                    data.nFileSizeLow);
  info->is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->creation_time = data.ftCreationTime;
  info->last_modified = data.ftLastWriteTime;
  return true;
}

bool File::Rename(const FilePath& new_path) {
  const std::wstring& name = new_path.value();
  // FILE_RENAME_INFO ends in the name's first character.
  std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
  FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
  memcpy(rename->FileName, name.data(), name.size() * sizeof(wchar_t));
  if (!IsValid() || !::SetFileInformationByHandle(file_.Get(), FileRenameInfo, rename,
                                                  static_cast<DWORD>(buffer.size()))) {
    PLOG(ERROR) << "Cannot move an open file to " << new_path;
    return false;
  }
  return true;
}

win::ScopedHandle File::Duplicate() const {
  HANDLE duplicate = nullptr;
  if (!file_.IsValid())
    return win::ScopedHandle();
  if (!::DuplicateHandle(::GetCurrentProcess(), file_.Get(), ::GetCurrentProcess(), &duplicate,
                         0, FALSE, DUPLICATE_SAME_ACCESS)) {
    PLOG(ERROR) << "Cannot duplicate the handle of an open file";
    return win::ScopedHandle();
  }
  return win::ScopedHandle(duplicate);
}

void File::Close() {
  file_.Close();
}

}  // namespace base
