#ifndef BASE_TEST_SCOPED_LOG_CAPTURE_H_
#define BASE_TEST_SCOPED_LOG_CAPTURE_H_

#include <stddef.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace base {
namespace test {

// Takes every log line written while it lives, from any thread, instead of the log file and
// standard error; puts back the previous handler when it goes. One at a time. With a
// |vlog_level| the verbose statements up to that level are written meanwhile (level 0
// again afterwards).
class ScopedLogCapture {
 public:
  static constexpr int kAnySeverity = -1000;

  explicit ScopedLogCapture(int vlog_level = 0);
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture();

  // The whole lines taken so far.
  std::vector<std::string> lines() const;
  // How many of them contain |text|.
  int CountLinesContaining(const std::string& text) const;

  // The messages taken so far (the lines without prefix and line break), with their
  // severities.
  std::vector<std::pair<int, std::string>> Messages() const;
  // How many messages equal |message| (at |severity|, unless it is kAnySeverity).
  size_t Count(std::string_view message, int severity = kAnySeverity) const;
  bool Contains(std::string_view message, int severity = kAnySeverity) const {
    return Count(message, severity) != 0;
  }
  // Whether some message starts with |prefix| (an error's system text follows the message).
  bool ContainsPrefix(std::string_view prefix) const;

  // Forgets what was taken so far.
  void Clear();

 private:
  const int vlog_level_;
};

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_SCOPED_LOG_CAPTURE_H_
