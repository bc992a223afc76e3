#ifndef BASE_FILES_SCOPED_FILE_H_
#define BASE_FILES_SCOPED_FILE_H_

#include <stdio.h>

#include <memory>

namespace base {

// Closes a C runtime stream. A writer that must know whether its buffered data reached the
// file takes the stream back with release() and checks fclose itself.
struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

using ScopedFILE = std::unique_ptr<FILE, FileCloser>;

}  // namespace base

#endif  // BASE_FILES_SCOPED_FILE_H_
