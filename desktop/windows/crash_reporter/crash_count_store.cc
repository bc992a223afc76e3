#include "desktop/windows/crash_reporter/crash_count_store.h"

#include <limits.h>

#include <memory>
#include <utility>

#include "base/files/file.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/values.h"

namespace crash_reporter {

namespace {

constexpr int kMaxConsecutiveFailures = 10;
constexpr int kFinalAttempts = 10;
constexpr base::TimeDelta kRetryDelay = base::TimeDelta::FromMilliseconds(100);
constexpr base::TimeDelta kFinalRetryDelay = base::TimeDelta::FromMilliseconds(50);

int32_t SaturatedAdd(int32_t a, int64_t b) {
  const int64_t sum = a + b;
  return sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : static_cast<int32_t>(sum);
}

void AddCounts(const CrashCountStore::Counts& from, CrashCountStore::Counts* to) {
  for (const auto& [type, count] : from)
    (*to)[type] = SaturatedAdd((*to)[type], count);
}

bool ReadCounts(base::File* file, CrashCountStore::Counts* counts) {
  if (file->Seek(base::File::FROM_BEGIN, 0) != 0) {
    PLOG(ERROR) << "Cannot seek in the crash counts file";
    return false;
  }
  std::string text;
  char chunk[4096];
  for (;;) {
    const int read = file->ReadAtCurrentPos(chunk, sizeof(chunk));
    if (read < 0) {
      PLOG(ERROR) << "Cannot read the crash counts file";
      return false;
    }
    if (read == 0)
      break;
    text.append(chunk, read);
  }
  // A crash between the file's creation and its first write, or a full disk, leaves it
  // empty: that is no counts yet, or counting would stop for good.
  if (text.empty())
    return true;
  std::unique_ptr<base::DictionaryValue> object =
      base::DictionaryValue::From(base::JsonReader::Read(text));
  if (!object) {
    LOG(ERROR) << "The crash counts file is not a JSON object";
    return false;
  }
  for (const auto& [type, value] : *object) {
    int count = 0;
    if (value->GetAsInteger(&count))
      (*counts)[type] = SaturatedAdd((*counts)[type], count);
  }
  return true;
}

}  // namespace

CrashCountStore::CrashCountStore(const base::FilePath& path)
    : path_(path),
      wake_up_(base::WaitEvent::ResetPolicy::AUTOMATIC,
               base::WaitEvent::InitialState::NOT_SIGNALED) {
  base::OsThread::Create(0, this, &thread_);
}

CrashCountStore::~CrashCountStore() {
  {
    base::AutoLock lock(lock_);
    stop_ = true;
  }
  wake_up_.Signal();
  if (thread_.IsValid())
    base::OsThread::Join(&thread_);
}

void CrashCountStore::Increment(std::string_view process_type,
                                uint32_t delta,
                                bool write_now) {
  {
    base::AutoLock lock(lock_);
    auto it = pending_.find(process_type);
    if (it == pending_.end())
      it = pending_.emplace(std::string(process_type), 0).first;
    it->second = SaturatedAdd(it->second, delta);
  }
  if (write_now)
    wake_up_.Signal();
}

void CrashCountStore::ThreadMain() {
  base::OsThread::SetName("CrashCountStore");
  int failures = 0;
  for (;;) {
    wake_up_.Wait();
    {
      base::AutoLock lock(lock_);
      if (stop_)
        break;
    }
    if (Flush()) {
      failures = 0;
    } else if (++failures < kMaxConsecutiveFailures) {
      wake_up_.Signal();
      base::OsThread::Sleep(kRetryDelay);
    } else {
      failures = 0;
    }
  }
  for (int attempt = 0; attempt < kFinalAttempts; ++attempt) {
    {
      base::AutoLock lock(lock_);
      if (pending_.empty())
        return;
    }
    if (attempt > 0)
      base::OsThread::Sleep(kFinalRetryDelay);
    if (Flush())
      return;
  }
  LOG(ERROR) << "Crash counts lost: the counts file could not be written";
}

bool CrashCountStore::Flush() {
  Counts counts;
  {
    base::AutoLock lock(lock_);
    counts.swap(pending_);
  }
  if (counts.empty())
    return true;
  if (MergeIntoFile(path_, counts))
    return true;
  base::AutoLock lock(lock_);
  AddCounts(counts, &pending_);
  return false;
}

// static
bool CrashCountStore::MergeIntoFile(const base::FilePath& path, const Counts& counts) {
  // No other process may open the file until the merged counts are written.
  base::File file(path, base::File::FLAG_OPEN_ALWAYS | base::File::FLAG_READ |
                            base::File::FLAG_WRITE | base::File::FLAG_EXCLUSIVE_READ |
                            base::File::FLAG_EXCLUSIVE_WRITE);
  if (!file.IsValid()) {
    ELOG(WARNING, file.error_details()) << "Cannot open the crash counts file " << path;
    return false;
  }
  Counts merged;
  int64_t old_length = 0;
  if (!file.created()) {
    base::File::Info info;
    if (!file.GetInfo(&info)) {
      PLOG(ERROR) << "Cannot get the size of the crash counts file";
      return false;
    }
    old_length = info.size;
    if (!ReadCounts(&file, &merged))
      return false;
  }
  AddCounts(counts, &merged);

  const std::string text = SerializeForOverwrite(merged, old_length);
  if (file.Write(0, text.data(), static_cast<int>(text.size())) !=
      static_cast<int>(text.size())) {
    PLOG(ERROR) << "Cannot write the crash counts file";
    return false;
  }
  // The counts are stored now: a failure to drop the padding only leaves spaces behind,
  // and failing here would count them a second time.
  const size_t json_length = text.find_last_not_of(' ') + 1;
  if (!file.SetLength(static_cast<int64_t>(json_length)))
    PLOG(ERROR) << "Cannot set the length of the crash counts file";
  return true;
}

// static
std::string CrashCountStore::SerializeForOverwrite(const Counts& counts, int64_t old_length) {
  base::DictionaryValue object;
  for (const auto& [type, count] : counts)
    object.SetWithoutPathExpansion(type, std::make_unique<base::ScalarValue>(count));
  std::string text;
  base::JsonWriter::Write(object, &text);
  if (static_cast<int64_t>(text.size()) < old_length)
    text.append(static_cast<size_t>(old_length) - text.size(), ' ');
  return text;
}

}  // namespace crash_reporter
