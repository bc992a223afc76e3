#include "base/test/concurrent_threads.h"

#include <windows.h>

#include <vector>

#include "base/logging.h"
#include "base/synchronization/wait_time.h"
#include "base/win/scoped_handle.h"

namespace base {
namespace test {

namespace {

struct ThreadStart {
  const std::function<void(int)>* body;
  HANDLE go;
  int index;
};

DWORD WINAPI ThreadMain(void* parameter) {
  const ThreadStart* start = static_cast<const ThreadStart*>(parameter);
  ::WaitForSingleObject(start->go, INFINITE);
  (*start->body)(start->index);
  return 0;
}

}  // namespace

bool RunConcurrently(int count, const std::function<void(int)>& body, TimeDelta timeout) {
  CHECK(count > 0 && count <= MAXIMUM_WAIT_OBJECTS);
  win::ScopedHandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!go.IsValid()) {
    PLOG(ERROR) << "CreateEvent failed";
    return false;
  }
  std::vector<ThreadStart> starts(count);
  std::vector<win::ScopedHandle> threads;
  std::vector<HANDLE> handles;
  for (int i = 0; i < count; ++i) {
    starts[i] = {&body, go.Get(), i};
    threads.emplace_back(::CreateThread(nullptr, 0, &ThreadMain, &starts[i], 0, nullptr));
    if (!threads.back().IsValid()) {
      // The threads started so far are released and joined before failing.
      PLOG(ERROR) << "CreateThread failed";
      threads.pop_back();
      ::SetEvent(go.Get());
      for (win::ScopedHandle& thread : threads)
        ::WaitForSingleObject(thread.Get(), INFINITE);
      return false;
    }
    handles.push_back(threads.back().Get());
  }
  ::SetEvent(go.Get());
  const DWORD result =
      ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE,
                               GetWaitMilliseconds(TimeTicks::Now() + timeout));
  // The threads use this frame's state: they cannot be abandoned.
  CHECK(result < WAIT_OBJECT_0 + handles.size())
      << "threads still running after " << timeout.InMilliseconds() << " ms";
  return true;
}

}  // namespace test
}  // namespace base
