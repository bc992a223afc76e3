#include "base/test/scoped_log_capture.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace base {
namespace test {

namespace {

struct CapturedLine {
  int severity;
  std::string text;
  size_t message_start;

  // The text after the prefix, without the line break.
  std::string Message() const {
    std::string message = text.substr(message_start);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
      message.pop_back();
    return message;
  }
};

struct CapturedLines {
  Lock lock;
  std::vector<CapturedLine> lines;  // Under lock.
  logging::LogMessageHandlerFunction previous_handler = nullptr;
};

LazyInstance<CapturedLines>::Leaky g_captured;

bool CaptureLine(int severity,
                 const char* file,
                 int line,
                 size_t message_start,
                 const std::string& text) {
  CapturedLines& captured = g_captured.Get();
  AutoLock lock(captured.lock);
  captured.lines.push_back({severity, text, message_start});
  return true;
}

std::vector<CapturedLine> CopyLines() {
  CapturedLines& captured = g_captured.Get();
  AutoLock lock(captured.lock);
  return captured.lines;
}

}  // namespace

ScopedLogCapture::ScopedLogCapture(int vlog_level) : vlog_level_(vlog_level) {
  CapturedLines& captured = g_captured.Get();
  {
    AutoLock lock(captured.lock);
    captured.lines.clear();
  }
  captured.previous_handler = logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&CaptureLine);
  if (vlog_level_)
    logging::SetVlogLevels(vlog_level_, "");
}

ScopedLogCapture::~ScopedLogCapture() {
  if (vlog_level_)
    logging::SetVlogLevels(0, "");
  logging::SetLogMessageHandler(g_captured.Get().previous_handler);
}

std::vector<std::string> ScopedLogCapture::lines() const {
  std::vector<std::string> lines;
  for (const CapturedLine& line : CopyLines())
    lines.push_back(line.text);
  return lines;
}

int ScopedLogCapture::CountLinesContaining(const std::string& text) const {
  int count = 0;
  for (const std::string& line : lines()) {
    if (line.find(text) != std::string::npos)
      ++count;
  }
  return count;
}

std::vector<std::pair<int, std::string>> ScopedLogCapture::Messages() const {
  std::vector<std::pair<int, std::string>> messages;
  for (const CapturedLine& line : CopyLines())
    messages.emplace_back(line.severity, line.Message());
  return messages;
}

size_t ScopedLogCapture::Count(std::string_view message, int severity) const {
  size_t count = 0;
  for (const auto& entry : Messages()) {
    if (entry.second == message && (severity == kAnySeverity || entry.first == severity))
      ++count;
  }
  return count;
}

bool ScopedLogCapture::ContainsPrefix(std::string_view prefix) const {
  for (const auto& entry : Messages()) {
    if (entry.second.starts_with(prefix))
      return true;
  }
  return false;
}

void ScopedLogCapture::Clear() {
  CapturedLines& captured = g_captured.Get();
  AutoLock lock(captured.lock);
  captured.lines.clear();
}

}  // namespace test
}  // namespace base
