#include "base/test/scoped_log_capture.h"

#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace base {
namespace test {

namespace {

Lock g_lock;
std::vector<std::pair<int, std::string>>* g_lines = nullptr;  // Under g_lock.

bool CaptureLine(int severity, const char*, int, size_t message_start, const std::string& text) {
  std::string message = text.substr(message_start);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
    message.pop_back();
  AutoLock lock(g_lock);
  if (g_lines)
    g_lines->emplace_back(severity, std::move(message));
  return true;
}

}  // namespace

ScopedLogCapture::ScopedLogCapture(int vlog_level) {
  {
    AutoLock lock(g_lock);
    CHECK(!g_lines) << "One ScopedLogCapture at a time";
    g_lines = new std::vector<std::pair<int, std::string>>();
  }
  logging::SetLogMessageHandler(&CaptureLine);
  logging::SetVlogLevels(vlog_level, "");
}

ScopedLogCapture::~ScopedLogCapture() {
  logging::SetVlogLevels(0, "");
  logging::SetLogMessageHandler(nullptr);
  AutoLock lock(g_lock);
  delete g_lines;
  g_lines = nullptr;
}

std::vector<std::pair<int, std::string>> ScopedLogCapture::Lines() const {
  AutoLock lock(g_lock);
  return *g_lines;
}

size_t ScopedLogCapture::Count(std::string_view message, int severity) const {
  AutoLock lock(g_lock);
  size_t count = 0;
  for (const auto& line : *g_lines) {
    if (line.second == message && (severity == kAnySeverity || line.first == severity))
      ++count;
  }
  return count;
}

bool ScopedLogCapture::ContainsPrefix(std::string_view prefix) const {
  AutoLock lock(g_lock);
  for (const auto& line : *g_lines) {
    if (line.second.starts_with(prefix))
      return true;
  }
  return false;
}

void ScopedLogCapture::Clear() {
  AutoLock lock(g_lock);
  g_lines->clear();
}

}  // namespace test
}  // namespace base
