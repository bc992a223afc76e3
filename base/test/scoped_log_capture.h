#ifndef BASE_TEST_SCOPED_LOG_CAPTURE_H_
#define BASE_TEST_SCOPED_LOG_CAPTURE_H_

#include <string>
#include <vector>

namespace base {
namespace test {

// Takes every log line written while it lives, from any thread, instead of the log file and
// standard error; puts back the previous handler when it goes. One at a time.
class ScopedLogCapture {
 public:
  ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
  ~ScopedLogCapture();

  // The whole lines taken so far.
  std::vector<std::string> lines() const;
  // How many of them contain |text|.
  int CountLinesContaining(const std::string& text) const;
};

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_SCOPED_LOG_CAPTURE_H_
