#include "desktop/windows/crash_reporter/test/gunzip.h"

#include <zlib.h>

namespace crash_reporter {
namespace test {

bool Gunzip(const std::string& compressed, std::string* out) {
  z_stream stream = {};
  // 15 bits of window, plus 16: gzip framing only.
  if (inflateInit2(&stream, 15 + 16) != Z_OK)
    return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  out->clear();
  int result = Z_OK;
  while (result == Z_OK) {
    char buffer[4096];
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof(buffer);
    result = inflate(&stream, Z_NO_FLUSH);
    out->append(buffer, sizeof(buffer) - stream.avail_out);
  }
  const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  return whole;
}

}  // namespace test
}  // namespace crash_reporter
