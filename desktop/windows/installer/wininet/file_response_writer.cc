#include "desktop/windows/installer/wininet/file_response_writer.h"

#include <windows.h>

#include <limits>

#include "base/logging.h"

namespace installer {

FileResponseWriter::FileResponseWriter() = default;

FileResponseWriter::~FileResponseWriter() = default;

bool FileResponseWriter::Open(const base::FilePath& path) {
  path_ = path;
  file_.Initialize(path, base::File::FLAG_CREATE_ALWAYS | base::File::FLAG_WRITE |
                             base::File::FLAG_EXCLUSIVE_WRITE);
  if (!file_.IsValid()) {
    ELOG(ERROR, file_.error_details()) << "Could not open download file for writing";
    return false;
  }
  return true;
}

bool FileResponseWriter::Write(const char* data, size_t size) {
  if (!file_.IsValid())
    return false;
  while (size > 0) {
    const int chunk = static_cast<int>(
        size < static_cast<size_t>(std::numeric_limits<int>::max()) ? size
                                                                    : std::numeric_limits<int>::max());
    const int written = file_.WriteAtCurrentPos(data, chunk);
    if (written <= 0) {
      PLOG(ERROR) << "Writing the download file " << path_ << " failed";
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool FileResponseWriter::Reset() {
  if (!file_.IsValid())
    return false;
  if (file_.Seek(base::File::FROM_BEGIN, 0) != 0 || !file_.SetLength(0)) {
    PLOG(ERROR) << "Truncating the download file " << path_ << " failed";
    return false;
  }
  return true;
}

bool FileResponseWriter::Finish() {
  if (!file_.IsValid())
    return false;
  const bool flushed = ::FlushFileBuffers(file_.GetPlatformFile()) != FALSE;
  if (!flushed)
    PLOG(ERROR) << "Flushing the download file " << path_ << " failed";
  file_.Close();
  return flushed;
}

}  // namespace installer
