#include "desktop/windows/crash_reporter/quillbox/util/net/http_body.h"

#include <string.h>

#include <algorithm>
#include <utility>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/quillbox/util/file/file_io_win.h"

namespace quillbox {

namespace {

// The largest count a single answer can report.
constexpr size_t kMaxAnswer = static_cast<size_t>(INT64_MAX);

}  // namespace

StringHttpBodyStream::StringHttpBodyStream(std::string string) : string_(std::move(string)) {}

StringHttpBodyStream::~StringHttpBodyStream() = default;

int64_t StringHttpBodyStream::GetBytesBuffer(uint8_t* buffer, size_t max_length) {
  const size_t count =
      std::min({string_.size() - bytes_read_, max_length, kMaxAnswer});
  if (count > 0)
    memcpy(buffer, string_.data() + bytes_read_, count);
  bytes_read_ += count;
  return static_cast<int64_t>(count);
}

FileHttpBodyStream::FileHttpBodyStream(const base::FilePath& path) : path_(path) {}

FileHttpBodyStream::~FileHttpBodyStream() {
  LoggingCloseFile(&file_);
}

int64_t FileHttpBodyStream::GetBytesBuffer(uint8_t* buffer, size_t max_length) {
  switch (file_state_) {
    case FileState::kUnopened:
      file_ = LoggingOpenFileForRead(path_);
      if (!file_.IsValid()) {
        file_state_ = FileState::kError;
        return -1;
      }
      file_state_ = FileState::kReading;
      break;
    case FileState::kError:
      return -1;
    case FileState::kAtEnd:
      return 0;
    case FileState::kReading:
      break;
  }
  // Nothing asked is not the end of the file.
  if (max_length == 0)
    return 0;

  const int64_t read = ReadFileFully(file_.Get(), buffer, std::min(max_length, kMaxAnswer));
  if (read < 0) {
    PLOG(ERROR) << "read";
    file_state_ = FileState::kError;
    return -1;
  }
  if (read == 0) {
    LoggingCloseFile(&file_);
    file_state_ = FileState::kAtEnd;
  }
  return read;
}

CompositeHttpBodyStream::CompositeHttpBodyStream(PartsList parts) : parts_(std::move(parts)) {}

CompositeHttpBodyStream::~CompositeHttpBodyStream() = default;

int64_t CompositeHttpBodyStream::GetBytesBuffer(uint8_t* buffer, size_t max_length) {
  max_length = std::min(max_length, kMaxAnswer);
  size_t placed = 0;
  while (placed < max_length && current_part_ < parts_.size()) {
    const int64_t answer =
        parts_[current_part_]->GetBytesBuffer(buffer + placed, max_length - placed);
    if (answer < 0)
      return answer;
    if (answer == 0)
      ++current_part_;
    else
      placed += static_cast<size_t>(answer);
  }
  return static_cast<int64_t>(placed);
}

}  // namespace quillbox
