#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_BODY_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_BODY_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace quillbox {

// The source of a request body, read once from front to back on one thread.
class HttpBodyStream {
 public:
  virtual ~HttpBodyStream() = default;

  // Places up to |max_length| bytes in |buffer|. Returns the count placed, 0 at the end
  // of the stream, negative on an error (after which the stream yields nothing useful).
  virtual int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) = 0;
};

// The bytes of a string held by the stream.
class StringHttpBodyStream : public HttpBodyStream {
 public:
  explicit StringHttpBodyStream(std::string string);
  StringHttpBodyStream(const StringHttpBodyStream&) = delete;
  StringHttpBodyStream& operator=(const StringHttpBodyStream&) = delete;
  ~StringHttpBodyStream() override;

  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override;

 private:
  std::string string_;
  size_t bytes_read_ = 0;
};

// The bytes of a file, opened at the first read and closed at its end (or with the
// stream). A file that cannot be opened or read makes every later read fail too.
class FileHttpBodyStream : public HttpBodyStream {
 public:
  explicit FileHttpBodyStream(const base::FilePath& path);
  FileHttpBodyStream(const FileHttpBodyStream&) = delete;
  FileHttpBodyStream& operator=(const FileHttpBodyStream&) = delete;
  ~FileHttpBodyStream() override;

  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override;

 private:
  enum class FileState { kUnopened, kError, kAtEnd, kReading };

  base::FilePath path_;
  base::win::ScopedHandle file_;
  FileState file_state_ = FileState::kUnopened;
};

// The parts one after another; the stream owns them.
class CompositeHttpBodyStream : public HttpBodyStream {
 public:
  using PartsList = std::vector<std::unique_ptr<HttpBodyStream>>;

  explicit CompositeHttpBodyStream(PartsList parts);
  CompositeHttpBodyStream(const CompositeHttpBodyStream&) = delete;
  CompositeHttpBodyStream& operator=(const CompositeHttpBodyStream&) = delete;
  ~CompositeHttpBodyStream() override;

  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override;

 private:
  PartsList parts_;
  size_t current_part_ = 0;
};

}  // namespace quillbox

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_BODY_H_
