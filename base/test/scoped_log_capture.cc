#include "base/test/scoped_log_capture.h"

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace base {
namespace test {

namespace {

struct CapturedLines {
  Lock lock;
  std::vector<std::string> lines;  // Under lock.
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
  captured.lines.push_back(text);
  return true;
}

}  // namespace

ScopedLogCapture::ScopedLogCapture() {
  CapturedLines& captured = g_captured.Get();
  {
    AutoLock lock(captured.lock);
    captured.lines.clear();
  }
  captured.previous_handler = logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&CaptureLine);
}

ScopedLogCapture::~ScopedLogCapture() {
  logging::SetLogMessageHandler(g_captured.Get().previous_handler);
}

std::vector<std::string> ScopedLogCapture::lines() const {
  CapturedLines& captured = g_captured.Get();
  AutoLock lock(captured.lock);
  return captured.lines;
}

int ScopedLogCapture::CountLinesContaining(const std::string& text) const {
  int count = 0;
  for (const std::string& line : lines()) {
    if (line.find(text) != std::string::npos)
      ++count;
  }
  return count;
}

}  // namespace test
}  // namespace base
