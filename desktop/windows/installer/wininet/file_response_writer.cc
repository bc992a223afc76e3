#include "desktop/windows/installer/wininet/file_response_writer.h"

#include <string.h>

#include <limits>

#include "base/files/file_without_links.h"
#include "base/logging.h"

namespace installer {

namespace {

constexpr size_t kBufferSize = 1024 * 1024;

}  // namespace

FileResponseWriter::FileResponseWriter() = default;

FileResponseWriter::~FileResponseWriter() = default;

bool FileResponseWriter::Open(const base::FilePath& path) {
  path_ = path;
  // Made anew through no link: the download folder may be one its user changes while an
  // elevated process writes there.
  file_ = base::File(base::CreateNewWithoutLinks(path, GENERIC_WRITE, FILE_SHARE_READ));
  if (!file_.IsValid()) {
    if (file_.error_details() == ERROR_CANT_ACCESS_FILE)
      LOG(ERROR) << "A link was found at " << path << "; nothing is written through it";
    ELOG(ERROR, file_.error_details()) << "Could not open download file for writing";
    return false;
  }
  if (!buffer_)
    buffer_.reset(new char[kBufferSize]);
  buffered_ = 0;
  return true;
}

bool FileResponseWriter::Write(const char* data, size_t size) {
  if (!file_.IsValid())
    return false;
  if (buffered_ + size > kBufferSize && !Flush())
    return false;
  if (size >= kBufferSize)
    return WriteToFile(data, size);
  memcpy(buffer_.get() + buffered_, data, size);
  buffered_ += size;
  return true;
}

bool FileResponseWriter::Flush() {
  const size_t size = buffered_;
  buffered_ = 0;
  return WriteToFile(buffer_.get(), size);
}

bool FileResponseWriter::WriteToFile(const char* data, size_t size) {
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
  buffered_ = 0;
  if (file_.Seek(base::File::FROM_BEGIN, 0) != 0 || !file_.SetLength(0)) {
    PLOG(ERROR) << "Truncating the download file " << path_ << " failed";
    return false;
  }
  return true;
}

bool FileResponseWriter::Finish() {
  if (!file_.IsValid())
    return false;
  // Not flushed to the disk: the file is checked and used at once, and a fetch that was
  // cut off by a crash starts over with a new download. (Under Wine a flush writes the
  // whole file out while the installer waits.)
  const bool written = Flush();
  file_.Close();
  return written;
}

}  // namespace installer
