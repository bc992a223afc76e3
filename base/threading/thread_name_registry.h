#ifndef BASE_THREADING_THREAD_NAME_REGISTRY_H_
#define BASE_THREADING_THREAD_NAME_REGISTRY_H_

#include <stdint.h>

#include <map>
#include <string>

#include "base/synchronization/lock.h"

namespace base {

// The names given to threads (OsThread::SetName), by thread id, for diagnostics (trace
// events, activity records). Process-wide and never destroyed; every operation takes its
// lock.
class ThreadNameRegistry {
 public:
  ThreadNameRegistry();
  ThreadNameRegistry(const ThreadNameRegistry&) = delete;
  ThreadNameRegistry& operator=(const ThreadNameRegistry&) = delete;
  ~ThreadNameRegistry();

  static ThreadNameRegistry* GetInstance();

  void SetName(uint32_t thread_id, const std::string& name);
  // The name given to the thread, or empty.
  std::string GetName(uint32_t thread_id);
  // Forgets the name of a thread that ends, so that a later thread with the same id does
  // not inherit it.
  void RemoveName(uint32_t thread_id);

 private:
  Lock lock_;
  std::map<uint32_t, std::string> names_;  // Under lock_.
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_NAME_REGISTRY_H_
