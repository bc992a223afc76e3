#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_BODY_GZIP_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_BODY_GZIP_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "desktop/windows/crash_reporter/quillbox/util/net/http_body.h"

struct z_stream_s;

namespace quillbox {

// Compresses another body stream on the fly into gzip framing (deflate at level 9), taking
// its input in 16 KiB pieces. Owns the wrapped stream. Initialize must succeed before the
// first read; an uninitialised or finished stream reads as empty. An error of the wrapped
// stream is passed on; a compression error reads as -1.
class GzipHttpBodyStream : public HttpBodyStream {
 public:
  explicit GzipHttpBodyStream(std::unique_ptr<HttpBodyStream> source);
  GzipHttpBodyStream(const GzipHttpBodyStream&) = delete;
  GzipHttpBodyStream& operator=(const GzipHttpBodyStream&) = delete;
  ~GzipHttpBodyStream() override;

  // Sets the compressor up. False, with an ERROR line, when zlib refuses.
  bool Initialize();

  int64_t GetBytesBuffer(uint8_t* buffer, size_t max_length) override;

 private:
  // Frees the compressor's state and makes the stream read as finished.
  void End();

  std::unique_ptr<HttpBodyStream> source_;
  std::unique_ptr<uint8_t[]> input_;
  std::unique_ptr<z_stream_s> z_stream_;
  int flush_;
  bool active_ = false;
};

}  // namespace quillbox

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_NET_HTTP_BODY_GZIP_H_
