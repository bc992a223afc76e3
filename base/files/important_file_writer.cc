#include "base/files/important_file_writer.h"

#include <windows.h>

#include <limits.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/metrics/histogram.h"
#include "base/threading/current_thread_task_runner.h"

namespace base {

namespace {

// The step of an atomic write that failed (histogram samples: keep the values).
enum TempFileFailure {
  FAILED_CREATING = 0,
  FAILED_OPENING = 1,
  FAILED_CLOSING = 2,  // Not used: closing cannot fail once the data is flushed.
  FAILED_WRITING = 3,
  FAILED_RENAMING = 4,
  FAILED_FLUSHING = 5,
  TEMP_FILE_FAILURE_MAX = 6,
};

void LogFailure(const FilePath& path, TempFileFailure failure, DWORD error, const char* what) {
  static HistogramBase* const histogram = LinearHistogram::FactoryGet(
      "ImportantFile.TempFileFailures", TEMP_FILE_FAILURE_MAX, TEMP_FILE_FAILURE_MAX + 1);
  histogram->Add(failure);
  ELOG(WARNING, error) << "Failed to write " << path << ": " << what;
}

void DeleteTemporaryFile(const FilePath& temp_file) {
  if (!DeletePath(temp_file, false))
    PLOG(WARNING) << "Failed to delete the temporary file " << temp_file;
}

}  // namespace

// static
bool ImportantFileWriter::WriteFileAtomically(const FilePath& path, std::string_view data) {
  // Windows refuses to replace a read-only file; some implementations of the rename do
  // not, so the attribute is honoured here: whoever made the file read-only meant it.
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    LogFailure(path, FAILED_RENAMING, ERROR_ACCESS_DENIED, "the file is read-only");
    return false;
  }

  // The temporary file must be on the target's volume for the rename to be atomic.
  FilePath temp_file;
  if (!CreateTemporaryFileInDir(path.DirName(), &temp_file)) {
    LogFailure(path, FAILED_CREATING, ::GetLastError(), "could not create a temporary file");
    return false;
  }

  File file(temp_file, File::FLAG_OPEN | File::FLAG_WRITE | File::FLAG_EXCLUSIVE_WRITE);
  if (!file.IsValid()) {
    LogFailure(path, FAILED_OPENING, file.error_details(), "could not open the temporary file");
    DeleteTemporaryFile(temp_file);
    return false;
  }

  size_t written = 0;
  while (written < data.size()) {
    const int chunk = static_cast<int>(std::min<size_t>(data.size() - written, INT_MAX));
    const int result = file.WriteAtCurrentPos(data.data() + written, chunk);
    if (result <= 0) {
      const DWORD error = ::GetLastError();
      file.Close();
      LogFailure(path, FAILED_WRITING, error, "could not write the temporary file");
      DeleteTemporaryFile(temp_file);
      return false;
    }
    written += static_cast<size_t>(result);
  }

  // The data must be on the disk before the rename makes it the file's content.
  if (!::FlushFileBuffers(file.GetPlatformFile())) {
    const DWORD error = ::GetLastError();
    file.Close();
    LogFailure(path, FAILED_FLUSHING, error, "could not flush the temporary file");
    DeleteTemporaryFile(temp_file);
    return false;
  }
  file.Close();

  if (!::MoveFileExW(temp_file.value().c_str(), path.value().c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    LogFailure(path, FAILED_RENAMING, ::GetLastError(),
               "could not replace it with the temporary file");
    DeleteTemporaryFile(temp_file);
    return false;
  }
  return true;
}

ImportantFileWriter::ImportantFileWriter(const FilePath& path,
                                         scoped_refptr<SequencedTaskRunner> task_runner)
    : ImportantFileWriter(path, std::move(task_runner), kDefaultCommitInterval) {}

ImportantFileWriter::ImportantFileWriter(const FilePath& path,
                                         scoped_refptr<SequencedTaskRunner> task_runner,
                                         TimeDelta commit_interval)
    : path_(path), task_runner_(std::move(task_runner)), commit_interval_(commit_interval) {
  DCHECK(task_runner_);
}

ImportantFileWriter::~ImportantFileWriter() {
  DCHECK(!HasPendingWrite()) << "pending write to " << path_ << " not committed";
  LOG_IF(ERROR, HasPendingWrite()) << "A pending write to " << path_ << " is lost";
}

void ImportantFileWriter::WriteNow(std::string data) {
  if (HasPendingWrite()) {
    timer_.Stop();
    serializer_ = nullptr;
  }
  if (on_write_)
    on_write_.Run();

  // Shared with the task, so that a refused task leaves the data here.
  std::shared_ptr<const std::string> shared_data =
      std::make_shared<const std::string>(std::move(data));
  const FilePath path = path_;
  const std::shared_ptr<std::atomic<bool>> succeeded = last_write_succeeded_;
  if (task_runner_->PostTask(FROM_HERE, BindLambda([path, shared_data, succeeded] {
                               succeeded->store(WriteFileAtomically(path, *shared_data));
                             }))) {
    return;
  }
  LOG(WARNING) << "The file task runner of " << path_ << " is gone: writing on this thread";
  succeeded->store(WriteFileAtomically(path_, *shared_data));
}

void ImportantFileWriter::ScheduleWrite(DataSerializer* serializer) {
  DCHECK(serializer);
  const bool already_scheduled = HasPendingWrite();
  serializer_ = serializer;
  if (already_scheduled && timer_.IsRunning())
    return;
  if (!CurrentThreadTaskRunner::IsSet()) {
    // No loop to wait on: write now rather than never.
    DoScheduledWrite();
    return;
  }
  timer_.Start(FROM_HERE, commit_interval_,
               BindMethod(&ImportantFileWriter::DoScheduledWrite, this));
}

void ImportantFileWriter::DoScheduledWrite() {
  if (!HasPendingWrite())
    return;
  DataSerializer* const serializer = serializer_;
  timer_.Stop();
  serializer_ = nullptr;
  std::string data;
  if (!serializer->SerializeData(&data)) {
    LOG(WARNING) << "Failed to serialize the data to be saved in " << path_;
    return;
  }
  WriteNow(std::move(data));
}

void ImportantFileWriter::SetOnWriteCallback(Closure on_write) {
  on_write_ = std::move(on_write);
}

}  // namespace base
