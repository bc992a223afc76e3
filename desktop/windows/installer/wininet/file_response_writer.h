#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_FILE_RESPONSE_WRITER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_FILE_RESPONSE_WRITER_H_

#include <stddef.h>

#include <memory>

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "desktop/windows/installer/wininet/response_writer.h"

namespace installer {

// Writes the body into a file, created (or truncated) by Open. The body is gathered into
// large writes (a read hands over a few kilobytes, and every write is a call into the
// system). The file is closed by Finish or when the writer goes away; it is never deleted
// here.
class FileResponseWriter : public ResponseWriter {
 public:
  FileResponseWriter();
  FileResponseWriter(const FileResponseWriter&) = delete;
  FileResponseWriter& operator=(const FileResponseWriter&) = delete;
  ~FileResponseWriter() override;

  // Creates or truncates |path| for writing; others may read it meanwhile but not write.
  bool Open(const base::FilePath& path);

  bool Write(const char* data, size_t size) override;
  bool Reset() override;
  bool Finish() override;

 private:
  // Writes |size| bytes at the file's position; false when they could not all be written.
  bool WriteToFile(const char* data, size_t size);
  // Writes out what is gathered.
  bool Flush();

  base::FilePath path_;
  base::File file_;
  std::unique_ptr<char[]> buffer_;
  size_t buffered_ = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_FILE_RESPONSE_WRITER_H_
