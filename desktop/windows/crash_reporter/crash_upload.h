#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UPLOAD_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UPLOAD_H_

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/crash_metadata.h"

// Sending crash files: a text crash log (zipped when compressed) to the crash server over
// WinINet, a minidump (gzip-compressed when compressed) to the alternative crash collector
// over WinHTTP, both as multipart forms with their parameters. The addresses are those of
// ChooseCrashServers, which must have run. Nothing is retried.

namespace crash_reporter {

// One upload of one file. The job owns its parameters and deletes its file when it is
// destroyed, when told to: whatever became of the upload.
class CrashUpload {
 public:
  CrashUpload(const base::FilePath& path,
              bool delete_file,
              const UploadParameters& parameters,
              bool compress);
  CrashUpload(const CrashUpload&) = delete;
  CrashUpload& operator=(const CrashUpload&) = delete;
  virtual ~CrashUpload();

  // Sends the file; true when the server took it (HTTP 200). Errors are logged.
  virtual bool Run() = 0;

 protected:
  const base::FilePath path_;
  const bool delete_file_;
  const UploadParameters parameters_;
  const bool compress_;
};

// The text crash log, in the form field "file".
class TextLogUpload : public CrashUpload {
 public:
  using CrashUpload::CrashUpload;
  bool Run() override;
};

// The minidump, in the form field "upload_file_minidump".
class MinidumpUpload : public CrashUpload {
 public:
  using CrashUpload::CrashUpload;
  bool Run() override;
};

// Compressed uploads on a system worker thread, each holding a unit of the process's
// pending work while it runs. False when the upload could not be queued (the file is then
// deleted at once when |delete_file| says so).
bool UploadTextLogAsync(const base::FilePath& path,
                        const UploadParameters& parameters,
                        bool delete_file);
bool UploadMinidumpAsync(const base::FilePath& path,
                         const UploadParameters& parameters,
                         bool delete_file);

// Uploads on the calling thread; the file is deleted afterwards, whatever the outcome.
// True when the server took it.
bool UploadTextLog(const base::FilePath& path, const UploadParameters& parameters, bool compress);
bool UploadMinidump(const base::FilePath& path, const UploadParameters& parameters, bool compress);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_UPLOAD_H_
