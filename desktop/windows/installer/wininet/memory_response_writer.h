#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_MEMORY_RESPONSE_WRITER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_MEMORY_RESPONSE_WRITER_H_

#include <stddef.h>

#include <string>

#include "desktop/windows/installer/wininet/response_writer.h"

namespace installer {

// The most a reply kept in memory may hold: the server's answers the installer reads
// (download address, preference overrides, statistics) are far smaller.
constexpr size_t kMaxReplySize = 1024 * 1024;

// Appends the body to the caller's text (not owned; it must outlive the writer). A reset
// removes only what this writer appended. A body of more than |max_size| bytes is refused:
// Write fails, and so does the download.
class MemoryResponseWriter : public ResponseWriter {
 public:
  explicit MemoryResponseWriter(std::string* target, size_t max_size = kMaxReplySize);
  MemoryResponseWriter(const MemoryResponseWriter&) = delete;
  MemoryResponseWriter& operator=(const MemoryResponseWriter&) = delete;
  ~MemoryResponseWriter() override;

  bool Write(const char* data, size_t size) override;
  bool Reset() override;
  bool Finish() override;

 private:
  std::string* const target_;
  const size_t max_size_;
  // The length of the target's text before this writer added to it.
  const size_t initial_size_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_MEMORY_RESPONSE_WRITER_H_
