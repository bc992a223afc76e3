#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_SCOPED_LOG_CAPTURE_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_SCOPED_LOG_CAPTURE_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace installer {
namespace test {

// Takes every log line of the process while it lives (nothing else writes them) and keeps
// their messages, without prefix and line break, with their severities. Lines may come
// from any thread. One object at a time.
class ScopedLogCapture {
 public:
  ScopedLogCapture();
  ~ScopedLogCapture();

  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  // The lines so far, in order.
  std::vector<std::pair<int, std::string>> lines() const;
  // Whether a line of |severity| is exactly |message|.
  bool Logged(int severity, std::string_view message) const;
  // Whether a line of |severity| starts with |prefix|.
  bool LoggedPrefix(int severity, std::string_view prefix) const;
  void Clear();
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_SCOPED_LOG_CAPTURE_H_
