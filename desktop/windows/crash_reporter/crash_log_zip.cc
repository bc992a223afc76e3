#include "desktop/windows/crash_reporter/crash_log_zip.h"

#include <stdio.h>

#include <memory>
#include <new>

#include "base/files/file_util.h"
#include "base/files/scoped_file.h"
#include "base/logging.h"
// zip.h first: it declares what iowin32.h builds on.
#include "minizip/zip.h"
#include "minizip/iowin32.h"

namespace crash_reporter {

namespace {

constexpr size_t kChunkSize = 0x100000;
constexpr char kEntryName[] = "crashlog.txt";

// Owns an open zip file: closed on every path, so that no zip is left open (and
// unremovable) behind a failure.
class ScopedZipFile {
 public:
  explicit ScopedZipFile(zipFile zip) : zip_(zip) {}
  ScopedZipFile(const ScopedZipFile&) = delete;
  ScopedZipFile& operator=(const ScopedZipFile&) = delete;
  ~ScopedZipFile() {
    if (zip_)
      zipClose(zip_, nullptr);
  }
  zipFile get() const { return zip_; }
  // Closes the zip (and an entry still open); true when its directory was written.
  bool Close() {
    const int result = zipClose(zip_, nullptr);
    zip_ = nullptr;
    return result == ZIP_OK;
  }

 private:
  zipFile zip_;
};

// Adds the whole log as the open entry; false when it is empty or not added whole.
bool AddLog(const base::FilePath& text_log_path, zipFile zip, char* buffer) {
  base::ScopedFILE log(_wfopen(text_log_path.value().c_str(), L"rb"));
  if (!log) {
    PLOG(ERROR) << "Cannot open " << text_log_path;
    return false;
  }
  if (_fseeki64(log.get(), 0, SEEK_END) != 0)
    return false;
  const int64_t size = _ftelli64(log.get());
  if (size <= 0 || _fseeki64(log.get(), 0, SEEK_SET) != 0) {
    LOG(ERROR) << "The crash log " << text_log_path << " is empty or unreadable";
    return false;
  }
  int64_t added = 0;
  while (added < size) {
    const size_t wanted =
        size - added < static_cast<int64_t>(kChunkSize) ? static_cast<size_t>(size - added)
                                                        : kChunkSize;
    const size_t read = fread(buffer, 1, wanted, log.get());
    if (read == 0 || zipWriteInFileInZip(zip, buffer, static_cast<unsigned>(read)) != ZIP_OK)
      break;
    added += read;
  }
  if (added != size)
    LOG(ERROR) << "Only " << added << " of " << size << " bytes of the crash log were zipped";
  return added == size;
}

}  // namespace

bool ZipCrashLog(const base::FilePath& text_log_path, const base::FilePath& zip_path) {
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  ScopedZipFile zip(zipOpen2_64(zip_path.value().c_str(), APPEND_STATUS_CREATE, nullptr,
                                &functions));
  if (!zip.get()) {
    LOG(ERROR) << "Cannot create the zip file " << zip_path;
    return false;
  }
  bool added = false;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kChunkSize]);
  if (!buffer) {
    LOG(ERROR) << "No memory to zip the crash log";
  } else if (zipOpenNewFileInZip(zip.get(), kEntryName, nullptr, nullptr, 0, nullptr, 0,
                                 nullptr, Z_DEFLATED, 9) != ZIP_OK) {
    LOG(ERROR) << "Cannot add an entry to the zip file " << zip_path;
  } else {
    added = AddLog(text_log_path, zip.get(), buffer.get());
  }
  const bool closed = zip.Close();
  if (!added || !closed) {
    base::DeletePath(zip_path, false);
    return false;
  }
  return true;
}

}  // namespace crash_reporter
