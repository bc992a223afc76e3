#ifndef BASE_TEST_SCOPED_LOG_CAPTURE_H_
#define BASE_TEST_SCOPED_LOG_CAPTURE_H_

#include <stddef.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace base {
namespace test {

// Takes every log line of the process (from any thread) while it lives, with the verbose
// level |vlog_level|; restores the handler and level 0 when it goes. One at a time.
class ScopedLogCapture {
 public:
  explicit ScopedLogCapture(int vlog_level = 0);
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture();

  // The messages so far (no prefix, no line break), with their severities.
  std::vector<std::pair<int, std::string>> Lines() const;
  // How many messages equal |message| (at |severity|, unless it is kAnySeverity).
  static constexpr int kAnySeverity = -1000;
  size_t Count(std::string_view message, int severity = kAnySeverity) const;
  bool Contains(std::string_view message, int severity = kAnySeverity) const {
    return Count(message, severity) != 0;
  }
  // Whether some message starts with |prefix|.
  bool ContainsPrefix(std::string_view prefix) const;
  void Clear();
};

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_SCOPED_LOG_CAPTURE_H_
