#include "desktop/windows/installer/service/crash_reporter_pid.h"

#include <atomic>

namespace installer {

namespace {

// Read by the crash handler, possibly on a crashing thread: a lock-free value.
std::atomic<uint32_t> g_crash_reporter_pid{0};

}  // namespace

void SetCrashReporterPid(uint32_t pid) {
  g_crash_reporter_pid.store(pid, std::memory_order_release);
}

uint32_t GetCrashReporterPid() {
  return g_crash_reporter_pid.load(std::memory_order_acquire);
}

}  // namespace installer
