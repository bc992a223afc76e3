#include "base/threading/thread_name_registry.h"

#include "base/lazy_instance.h"

namespace base {

namespace {

// Never destroyed: threads that were never joined (pool threads) name themselves and forget
// their names until the process ends.
LazyInstance<ThreadNameRegistry>::Leaky g_thread_name_registry;

}  // namespace

ThreadNameRegistry::ThreadNameRegistry() = default;
ThreadNameRegistry::~ThreadNameRegistry() = default;

// static
ThreadNameRegistry* ThreadNameRegistry::GetInstance() {
  return g_thread_name_registry.Pointer();
}

void ThreadNameRegistry::SetName(uint32_t thread_id, const std::string& name) {
  AutoLock lock(lock_);
  names_[thread_id] = name;
}

std::string ThreadNameRegistry::GetName(uint32_t thread_id) {
  AutoLock lock(lock_);
  auto it = names_.find(thread_id);
  return it == names_.end() ? std::string() : it->second;
}

void ThreadNameRegistry::RemoveName(uint32_t thread_id) {
  AutoLock lock(lock_);
  names_.erase(thread_id);
}

}  // namespace base
