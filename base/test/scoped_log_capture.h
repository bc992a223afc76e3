#ifndef BASE_TEST_SCOPED_LOG_CAPTURE_H_
#define BASE_TEST_SCOPED_LOG_CAPTURE_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace base {
namespace test {

// Takes every log line written while it lives, from any thread, instead of the log file and
// standard error, and keeps each message (without the prefix and the line break) with its
// severity; puts back the previous handler when it goes. One at a time.
class ScopedLogCapture {
 public:
  ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture();

  // The lines taken so far, in order: (severity, message).
  std::vector<std::pair<int, std::string>> lines() const;
  // Whether a line of |severity| is exactly |message|.
  bool Logged(int severity, std::string_view message) const;
  // Whether a line of |severity| starts with |prefix|.
  bool LoggedPrefix(int severity, std::string_view prefix) const;
  // How many lines, of any severity, contain |text|.
  int CountLinesContaining(std::string_view text) const;
  // Forgets the lines taken so far.
  void Clear();
};

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_SCOPED_LOG_CAPTURE_H_
