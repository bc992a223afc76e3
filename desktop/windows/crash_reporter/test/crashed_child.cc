#include "desktop/windows/crash_reporter/test/crashed_child.h"

#include <string.h>

#include <atomic>
#include <string>

#include "base/environment.h"
#include "base/process/launch.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/win/scoped_map_view.h"
#include "desktop/windows/crash_reporter/client_exception_record.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace test {


namespace {

constexpr char kSharedNameVariable[] = "TAVRO_CRASHED_CHILD_SHARED";
constexpr DWORD kCrashDeadlineMs = 30000;

// Shared between the test and its child: the child's info, then the ready flag.
struct SharedBlock {
  CrashedChildInfo info;
  std::atomic<uint32_t> ready;
};

// Child-side state, read by the test through the published addresses.
EXCEPTION_POINTERS* g_exception_pointers = nullptr;
uint32_t g_crashed_thread_id = 0;
ClientExceptionRecord g_record = {};
SharedBlock* g_shared = nullptr;
char* g_marker = nullptr;
uint32_t g_waiting_thread_id = 0;

LONG WINAPI RecordCrashAndWait(EXCEPTION_POINTERS* pointers) {
  g_exception_pointers = pointers;
  g_crashed_thread_id = ::GetCurrentThreadId();
  g_record.thread_id = g_crashed_thread_id;
  g_record.exception_pointers = reinterpret_cast<uintptr_t>(pointers);
  CrashedChildInfo& info = g_shared->info;
  info.exception_pointers_address = reinterpret_cast<uintptr_t>(&g_exception_pointers);
  info.thread_id_address = reinterpret_cast<uintptr_t>(&g_crashed_thread_id);
  info.record_address = reinterpret_cast<uintptr_t>(&g_record);
  info.marker_address = reinterpret_cast<uintptr_t>(g_marker);
  info.crashed_thread_id = g_crashed_thread_id;
  info.waiting_thread_id = g_waiting_thread_id;
  g_shared->ready.store(1);
  for (;;)
    ::Sleep(INFINITE);
}

DWORD WINAPI WaitForever(void*) {
  for (;;)
    ::Sleep(INFINITE);
}

std::wstring MakeSharedName() {
  static std::atomic<int> counter{0};
  return base::WideStringPrintf(L"Local\\TavroCrashedChild-%lu-%d", ::GetCurrentProcessId(),
                                counter.fetch_add(1));
}

}  // namespace

CrashedChild::CrashedChild() = default;

CrashedChild::~CrashedChild() {
  if (attached_ && !::DebugActiveProcessStop(process_.Pid()))
    ADD_FAILURE() << "DebugActiveProcessStop failed: " << ::GetLastError();
  if (process_.IsValid()) {
    process_.Terminate(1);
    process_.WaitForExitWithTimeout(kCrashDeadlineMs, nullptr);
  }
}

bool CrashedChild::Start(const char* child_test) {
  const std::wstring shared_name = MakeSharedName();
  mapping_.Set(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    sizeof(SharedBlock), shared_name.c_str()));
  if (!mapping_.IsValid()) {
    ADD_FAILURE() << "CreateFileMapping failed: " << ::GetLastError();
    return false;
  }
  base::LaunchOptions options;
  options.environment.emplace_back(base::Utf8ToUtf16(kSharedNameVariable), shared_name);
  process_ = base::test::StartChildTest(child_test, options);
  if (!process_.IsValid()) {
    ADD_FAILURE() << "the child did not start";
    return false;
  }
  base::win::ScopedMapViewTyped<const SharedBlock> shared(static_cast<const SharedBlock*>(
      ::MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, sizeof(SharedBlock))));
  if (!shared.IsValid()) {
    ADD_FAILURE() << "MapViewOfFile failed: " << ::GetLastError();
    return false;
  }
  const ULONGLONG deadline = ::GetTickCount64() + kCrashDeadlineMs;
  while (!shared.Get()->ready.load() && ::GetTickCount64() < deadline &&
         !process_.WaitForExitWithTimeout(10, nullptr)) {
  }
  const bool ready = shared.Get()->ready.load() != 0;
  info_ = shared.Get()->info;
  if (!ready) {
    ADD_FAILURE() << "the child did not crash in time";
    return false;
  }
  if (!::DebugActiveProcess(process_.Pid())) {
    ADD_FAILURE() << "DebugActiveProcess failed: " << ::GetLastError();
    return false;
  }
  attached_ = true;
  return true;
}

void RunCrashingChild() {
  std::string shared_name;
  if (!base::Environment::Create()->GetVar(kSharedNameVariable, &shared_name))
    return;
  base::win::ScopedHandle mapping(::OpenFileMappingW(FILE_MAP_WRITE, FALSE,
                                                     base::Utf8ToUtf16(shared_name).c_str()));
  if (!mapping.IsValid())
    return;
  // The view stays until the crashed process is ended.
  static base::win::ScopedMapViewTyped<SharedBlock> view(static_cast<SharedBlock*>(
      ::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(SharedBlock))));
  g_shared = view.Get();
  if (!g_shared)
    return;
  g_marker = new char[sizeof(kChildMarker)];
  memcpy(g_marker, kChildMarker, sizeof(kChildMarker));
  base::win::ScopedHandle thread(::CreateThread(nullptr, 0, &WaitForever, nullptr, 0, nullptr));
  if (!thread.IsValid())
    return;
  g_waiting_thread_id = ::GetThreadId(thread.Get());

  ::SetUnhandledExceptionFilter(&RecordCrashAndWait);
  // Read through a volatile so that the compiler cannot see the null page coming.
  volatile uintptr_t target = 0x10;
  g_shared->info.crash_address = target;
  *reinterpret_cast<volatile int*>(target) = 1;
}

}  // namespace test
}  // namespace crash_reporter
