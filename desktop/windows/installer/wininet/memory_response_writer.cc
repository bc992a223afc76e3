#include "desktop/windows/installer/wininet/memory_response_writer.h"

#include "base/logging.h"

namespace installer {

MemoryResponseWriter::MemoryResponseWriter(std::string* target, size_t max_size)
    : target_(target), max_size_(max_size), initial_size_(target ? target->size() : 0) {
  CHECK(target_);
}

MemoryResponseWriter::~MemoryResponseWriter() = default;

bool MemoryResponseWriter::Write(const char* data, size_t size) {
  if (size > max_size_ - (target_->size() - initial_size_)) {
    LOG(ERROR) << "The reply is larger than " << max_size_ << " bytes";
    return false;
  }
  target_->append(data, size);
  return true;
}

bool MemoryResponseWriter::Reset() {
  if (target_->size() > initial_size_)
    target_->resize(initial_size_);
  return true;
}

bool MemoryResponseWriter::Finish() {
  return true;
}

}  // namespace installer
