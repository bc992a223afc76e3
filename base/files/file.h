#ifndef BASE_FILES_FILE_H_
#define BASE_FILES_FILE_H_

#include <windows.h>

#include <stdint.h>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace base {

// An open file. The handle is closed when the object goes away.
class File {
 public:
  // Exactly one of FLAG_OPEN, FLAG_CREATE, FLAG_OPEN_ALWAYS and FLAG_CREATE_ALWAYS, any
  // of the others.
  enum Flags : uint32_t {
    FLAG_OPEN = 1,            // An existing file.
    FLAG_CREATE = 2,          // A new file; fails when it exists.
    FLAG_OPEN_ALWAYS = 4,     // An existing file, or a new one.
    FLAG_CREATE_ALWAYS = 8,   // A new file, or an existing one truncated.
    FLAG_READ = 32,
    FLAG_WRITE = 64,
    FLAG_EXCLUSIVE_READ = 256,   // Nobody else may read while it is open.
    FLAG_EXCLUSIVE_WRITE = 512,  // Nobody else may write while it is open.
    FLAG_TEMPORARY = 2048,       // Kept in memory where possible.
    FLAG_CAN_RENAME = 4096,      // The handle may move the file (see Rename).
    FLAG_DELETE_ON_CLOSE = 8192,
    FLAG_OPEN_LINK = 16384,      // A link (reparse point) itself, not what it leads to.
  };

  enum Whence {
    FROM_BEGIN = 0,
    FROM_CURRENT = 1,
    FROM_END = 2,
  };

  struct Info {
    int64_t size = 0;
    bool is_directory = false;
    FILETIME creation_time = {};
    FILETIME last_modified = {};
  };

  File() = default;
  File(const FilePath& path, uint32_t flags);
  // Owns |handle|, a file opened by other means; when it is invalid, error_details() holds
  // the calling thread's last error.
  explicit File(win::ScopedHandle handle);
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  ~File();

  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens |path|; on failure the object is invalid and error_details() holds the reason.
  // An open file is closed first.
  void Initialize(const FilePath& path, uint32_t flags);

  bool IsValid() const { return file_.IsValid(); }
  // Whether the last Initialize created the file.
  bool created() const { return created_; }
  // The Win32 error of the last failed Initialize (ERROR_SUCCESS after a successful one).
  DWORD error_details() const { return error_details_; }

  // Moves the file position. Returns the new position or -1.
  int64_t Seek(Whence whence, int64_t offset);

  // Read at |offset| (which moves the file position) or at the current position. Return
  // the number of bytes read, 0 at the end of the file, -1 on error.
  int Read(int64_t offset, char* data, int size);
  int ReadAtCurrentPos(char* data, int size);

  // Write at |offset| (which moves the file position) or at the current position. Return
  // the number of bytes written or -1.
  int Write(int64_t offset, const char* data, int size);
  int WriteAtCurrentPos(const char* data, int size);

  // Truncates or extends the file; the file position does not change.
  bool SetLength(int64_t length);

  bool GetInfo(Info* info) const;

  // Moves the open file (opened with FLAG_CAN_RENAME) to |new_path| on the same volume,
  // never over an existing file: the file moved is the one this handle holds, whatever
  // happened to its old name meanwhile. False, with the error logged, when it cannot.
  bool Rename(const FilePath& new_path);

  HANDLE GetPlatformFile() const { return file_.Get(); }
  // A second handle of the open file, with the same access and sharing, for an owner of
  // its own; invalid, logged, when the file is not open or the handle cannot be duplicated.
  win::ScopedHandle Duplicate() const;

  // Closes the file (which removes a delete-on-close file).
  void Close();

 private:
  win::ScopedHandle file_;
  bool created_ = false;
  DWORD error_details_ = ERROR_SUCCESS;
};

}  // namespace base

#endif  // BASE_FILES_FILE_H_
