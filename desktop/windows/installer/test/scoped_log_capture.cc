#include "desktop/windows/installer/test/scoped_log_capture.h"

#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace installer {
namespace test {

namespace {

base::Lock& CaptureLock() {
  static base::Lock lock;
  return lock;
}

std::vector<std::pair<int, std::string>>& CapturedLines() {
  static std::vector<std::pair<int, std::string>> lines;
  return lines;
}

bool CaptureLine(int severity, const char*, int, size_t message_start, const std::string& text) {
  std::string message = text.substr(message_start);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
    message.pop_back();
  base::AutoLock lock(CaptureLock());
  CapturedLines().emplace_back(severity, std::move(message));
  return true;
}

}  // namespace

ScopedLogCapture::ScopedLogCapture() {
  Clear();
  logging::SetLogMessageHandler(&CaptureLine);
}

ScopedLogCapture::~ScopedLogCapture() {
  logging::SetLogMessageHandler(nullptr);
  Clear();
}

std::vector<std::pair<int, std::string>> ScopedLogCapture::lines() const {
  base::AutoLock lock(CaptureLock());
  return CapturedLines();
}

bool ScopedLogCapture::Logged(int severity, std::string_view message) const {
  for (const auto& line : lines()) {
    if (line.first == severity && line.second == message)
      return true;
  }
  return false;
}

bool ScopedLogCapture::LoggedPrefix(int severity, std::string_view prefix) const {
  for (const auto& line : lines()) {
    if (line.first == severity && line.second.compare(0, prefix.size(), prefix) == 0)
      return true;
  }
  return false;
}

void ScopedLogCapture::Clear() {
  base::AutoLock lock(CaptureLock());
  CapturedLines().clear();
}

}  // namespace test
}  // namespace installer
