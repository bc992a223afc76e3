#include "base/test/scoped_log_capture.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace base {
namespace test {

namespace {

struct CapturedLines {
  Lock lock;
  std::vector<std::pair<int, std::string>> lines;  // Under lock.
  logging::LogMessageHandlerFunction previous_handler = nullptr;
};

LazyInstance<CapturedLines>::Leaky g_captured;

bool CaptureLine(int severity,
                 const char* file,
                 int line,
                 size_t message_start,
                 const std::string& text) {
  std::string message = text.substr(message_start < text.size() ? message_start : text.size());
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
    message.pop_back();
  CapturedLines& captured = g_captured.Get();
  AutoLock lock(captured.lock);
  captured.lines.emplace_back(severity, std::move(message));
  return true;
}

}  // namespace

ScopedLogCapture::ScopedLogCapture() {
  Clear();
  g_captured.Get().previous_handler = logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&CaptureLine);
}

ScopedLogCapture::~ScopedLogCapture() {
  logging::SetLogMessageHandler(g_captured.Get().previous_handler);
  Clear();
}

std::vector<std::pair<int, std::string>> ScopedLogCapture::lines() const {
  CapturedLines& captured = g_captured.Get();
  AutoLock lock(captured.lock);
  return captured.lines;
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

int ScopedLogCapture::CountLinesContaining(std::string_view text) const {
  int count = 0;
  for (const auto& line : lines()) {
    if (line.second.find(text) != std::string::npos)
      ++count;
  }
  return count;
}

void ScopedLogCapture::Clear() {
  CapturedLines& captured = g_captured.Get();
  AutoLock lock(captured.lock);
  captured.lines.clear();
}

}  // namespace test
}  // namespace base
