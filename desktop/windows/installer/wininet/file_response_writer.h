#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_FILE_RESPONSE_WRITER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_FILE_RESPONSE_WRITER_H_

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "desktop/windows/installer/wininet/response_writer.h"

namespace installer {

// Writes the body into a file, created (or truncated) by Open. The file is closed by
// Finish or when the writer goes away; it is never deleted here.
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
  base::FilePath path_;
  base::File file_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_FILE_RESPONSE_WRITER_H_
