#include "desktop/windows/crash_reporter/quillbox/util/net/http_body_gzip.h"

#include <algorithm>
#include <utility>

#include <zlib.h>

#include "base/logging.h"

namespace quillbox {

namespace {

constexpr size_t kInputBufferSize = 16384;
// 15 bits of window, plus 16 for gzip framing instead of zlib's.
constexpr int kGzipWindowBits = 15 + 16;
constexpr int kMemoryLevel = 8;

}  // namespace

GzipHttpBodyStream::GzipHttpBodyStream(std::unique_ptr<HttpBodyStream> source)
    : source_(std::move(source)), z_stream_(new z_stream()), flush_(Z_NO_FLUSH) {}

GzipHttpBodyStream::~GzipHttpBodyStream() {
  End();
}

bool GzipHttpBodyStream::Initialize() {
  End();
  input_.reset(new uint8_t[kInputBufferSize]);
  *z_stream_ = z_stream();
  const int result = deflateInit2(z_stream_.get(), Z_BEST_COMPRESSION, Z_DEFLATED,
                                  kGzipWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY);
  if (result != Z_OK) {
    LOG(ERROR) << "deflateInit2: " << result;
    return false;
  }
  active_ = true;
  return true;
}

void GzipHttpBodyStream::End() {
  if (!active_)
    return;
  deflateEnd(z_stream_.get());
  active_ = false;
}

int64_t GzipHttpBodyStream::GetBytesBuffer(uint8_t* buffer, size_t max_length) {
  if (!active_ || max_length == 0)
    return 0;
  // zlib counts in 32 bits; a shorter answer is still a valid one.
  const uInt out_length = static_cast<uInt>(std::min<size_t>(max_length, 1u << 30));
  z_stream_->next_out = buffer;
  z_stream_->avail_out = out_length;
  for (;;) {
    if (z_stream_->avail_in == 0 && flush_ != Z_FINISH) {
      const int64_t read = source_->GetBytesBuffer(input_.get(), kInputBufferSize);
      if (read < 0)
        return read;
      if (read == 0)
        flush_ = Z_FINISH;
      z_stream_->next_in = input_.get();
      z_stream_->avail_in = static_cast<uInt>(read);
    }
    const int result = deflate(z_stream_.get(), flush_);
    if (result == Z_STREAM_END) {
      const int64_t produced = out_length - z_stream_->avail_out;
      End();
      return produced;
    }
    if (result != Z_OK) {
      LOG(ERROR) << "deflate: " << result;
      return -1;
    }
    if (z_stream_->avail_out == 0)
      return out_length;
  }
}

}  // namespace quillbox
