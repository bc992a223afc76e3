#ifndef BASE_FILES_MEMORY_MAPPED_FILE_H_
#define BASE_FILES_MEMORY_MAPPED_FILE_H_

#include <stddef.h>
#include <stdint.h>

#include "base/files/file.h"
#include "base/files/file_path.h"

namespace base {

// A read-only view of a whole file, unmapped when the object goes away. Others may keep
// reading and writing the file while it is mapped.
//
// The system cannot map an empty file; an empty file still initializes successfully, as
// a valid mapping of length 0 whose data() is null.
class MemoryMappedFile {
 public:
  MemoryMappedFile() = default;
  ~MemoryMappedFile();

  MemoryMappedFile(const MemoryMappedFile&) = delete;
  MemoryMappedFile& operator=(const MemoryMappedFile&) = delete;

  // Maps |path|. False (with the cause logged) when the file cannot be opened or mapped,
  // or when this object already holds a mapping.
  bool Initialize(const FilePath& path);
  // Maps the open |file| (read access needed), which may be closed afterwards: the bytes
  // are those of the file the handle names, whatever its path names by now.
  bool Initialize(const File& file);

  const uint8_t* data() const { return data_; }
  size_t length() const { return length_; }
  bool IsValid() const { return valid_; }

 private:
  void CloseView();

  const uint8_t* data_ = nullptr;
  size_t length_ = 0;
  bool valid_ = false;
};

}  // namespace base

#endif  // BASE_FILES_MEMORY_MAPPED_FILE_H_
