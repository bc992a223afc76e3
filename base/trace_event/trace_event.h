#ifndef BASE_TRACE_EVENT_TRACE_EVENT_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_H_

#include <stdint.h>
#include <string.h>

#include <atomic>
#include <string>
#include <type_traits>

#include "base/trace_event/heap_context_tracker.h"
#include "base/trace_event/trace_event_impl.h"
#include "base/trace_event/trace_log.h"

// Trace sites. Each site looks its category group up once and keeps the address of the
// group's enabled flag; afterwards, with tracing off, a site costs one load of that
// pointer, one byte load and one test: no clock read, no lock, no allocation, and its
// argument expressions are not evaluated.
//
//   TRACE_EVENT0("toplevel", "MessageLoop::RunTask");              // scoped ('X')
//   TRACE_EVENT1("base", "WorkerPool::PostTask", "slow", is_slow);
//   TRACE_EVENT_INSTANT0("base", "Quit", TRACE_EVENT_SCOPE_THREAD);
//   TRACE_EVENT_FLOW_BEGIN0(TRACE_DISABLED_BY_DEFAULT("toplevel.flow"), "PostTask", id);
//
// Category and event names must be string literals (or live as long as the process).

#define TRACE_DISABLED_BY_DEFAULT(name) "disabled-by-default-" name

// Event flags.
#define TRACE_EVENT_FLAG_NONE ::base::trace_event::kTraceEventFlagNone
#define TRACE_EVENT_FLAG_COPY ::base::trace_event::kTraceEventFlagCopy
#define TRACE_EVENT_FLAG_HAS_ID ::base::trace_event::kTraceEventFlagHasId
#define TRACE_EVENT_FLAG_MANGLE_ID ::base::trace_event::kTraceEventFlagMangleId
#define TRACE_EVENT_FLAG_FLOW_IN ::base::trace_event::kTraceEventFlagFlowIn
#define TRACE_EVENT_FLAG_FLOW_OUT ::base::trace_event::kTraceEventFlagFlowOut
// Scopes of instant events.
#define TRACE_EVENT_SCOPE_GLOBAL ::base::trace_event::kTraceEventScopeGlobal
#define TRACE_EVENT_SCOPE_PROCESS ::base::trace_event::kTraceEventScopeProcess
#define TRACE_EVENT_SCOPE_THREAD ::base::trace_event::kTraceEventScopeThread

#define TRACE_EVENT0(category_group, name) \
  INTERNAL_TRACE_EVENT_SCOPED(category_group, name)
#define TRACE_EVENT1(category_group, name, arg1_name, arg1_val) \
  INTERNAL_TRACE_EVENT_SCOPED(category_group, name, arg1_name, arg1_val)
#define TRACE_EVENT2(category_group, name, arg1_name, arg1_val, arg2_name, arg2_val) \
  INTERNAL_TRACE_EVENT_SCOPED(category_group, name, arg1_name, arg1_val, arg2_name, arg2_val)

// A begin and an end that the caller pairs on one thread.
#define TRACE_EVENT_BEGIN0(category_group, name) \
  INTERNAL_TRACE_EVENT_ADD('B', category_group, name, 0, TRACE_EVENT_FLAG_NONE)
#define TRACE_EVENT_END0(category_group, name) \
  INTERNAL_TRACE_EVENT_ADD('E', category_group, name, 0, TRACE_EVENT_FLAG_NONE)

#define TRACE_EVENT_INSTANT0(category_group, name, scope) \
  INTERNAL_TRACE_EVENT_ADD('I', category_group, name, 0, (scope))
#define TRACE_EVENT_INSTANT1(category_group, name, scope, arg1_name, arg1_val) \
  INTERNAL_TRACE_EVENT_ADD('I', category_group, name, 0, (scope), arg1_name, arg1_val)

// Nestable asynchronous events: a begin and an end of one id, on any threads.
#define TRACE_EVENT_NESTABLE_ASYNC_BEGIN0(category_group, name, id) \
  INTERNAL_TRACE_EVENT_ADD('b', category_group, name, (id), TRACE_EVENT_FLAG_HAS_ID)
#define TRACE_EVENT_NESTABLE_ASYNC_END1(category_group, name, id, arg1_name, arg1_val) \
  INTERNAL_TRACE_EVENT_ADD('e', category_group, name, (id), TRACE_EVENT_FLAG_HAS_ID, arg1_name, \
                           arg1_val)

// Flow events link the posting of a task ('s') to its run ('f') by |id|.
#define TRACE_EVENT_FLOW_BEGIN0(category_group, name, id)                   \
  INTERNAL_TRACE_EVENT_ADD('s', category_group, name, (id),                 \
                           TRACE_EVENT_FLAG_HAS_ID | TRACE_EVENT_FLAG_MANGLE_ID)
#define TRACE_EVENT_FLOW_END1(category_group, name, id, arg1_name, arg1_val) \
  INTERNAL_TRACE_EVENT_ADD('f', category_group, name, (id),                  \
                           TRACE_EVENT_FLAG_HAS_ID | TRACE_EVENT_FLAG_MANGLE_ID, arg1_name, \
                           arg1_val)

// Running a posted task: a scoped "toplevel" event with the posting location's file and
// function, and the file as the heap-profiler task context.
#define TRACE_TASK_EXECUTION(run_function, location)                                     \
  TRACE_EVENT2("toplevel", run_function, "src_file", (location).file_name(), "src_func", \
               (location).function_name());                                              \
  ::base::trace_event::ScopedTaskContext INTERNAL_TRACE_UID(task_context)((location).file_name())

// ---- Implementation ----

#define INTERNAL_TRACE_UID3(a, b) trace_event_uid_##a##b
#define INTERNAL_TRACE_UID2(a, b) INTERNAL_TRACE_UID3(a, b)
#define INTERNAL_TRACE_UID(name) INTERNAL_TRACE_UID2(name, __LINE__)

#define INTERNAL_TRACE_CATEGORY_FLAG(category_group)                             \
  static std::atomic<const unsigned char*> INTERNAL_TRACE_UID(site){nullptr};   \
  const unsigned char* INTERNAL_TRACE_UID(flag) =                                \
      ::base::trace_event::internal::GetCategoryFlag(INTERNAL_TRACE_UID(site), category_group)

#define INTERNAL_TRACE_EVENT_SCOPED(category_group, name, ...)                              \
  INTERNAL_TRACE_CATEGORY_FLAG(category_group);                                            \
  ::base::trace_event::internal::ScopedTracer INTERNAL_TRACE_UID(tracer);                  \
  if (*INTERNAL_TRACE_UID(flag) & ::base::trace_event::internal::kEnabledMask) {           \
    INTERNAL_TRACE_UID(tracer).Begin(                                                      \
        INTERNAL_TRACE_UID(flag), name,                                                    \
        ::base::trace_event::internal::TraceArgs(__VA_ARGS__));                            \
  }

#define INTERNAL_TRACE_EVENT_ADD(phase, category_group, name, id, flags, ...)               \
  do {                                                                                      \
    INTERNAL_TRACE_CATEGORY_FLAG(category_group);                                          \
    if (*INTERNAL_TRACE_UID(flag) & ::base::trace_event::internal::kEnabledMask) {         \
      ::base::trace_event::internal::AddTraceEvent(                                         \
          phase, INTERNAL_TRACE_UID(flag), name, static_cast<uint64_t>(id), (flags),        \
          ::base::trace_event::internal::TraceArgs(__VA_ARGS__));                           \
    }                                                                                       \
  } while (0)

namespace base {
namespace trace_event {
namespace internal {

// Recording, ETW export, filtering.
constexpr unsigned char kEnabledMask = TraceLog::kEnabledForRecording |
                                       TraceLog::kEnabledForEtwExport |
                                       TraceLog::kEnabledForFiltering;

inline const unsigned char* GetCategoryFlag(std::atomic<const unsigned char*>& site,
                                            const char* category_group) {
  const unsigned char* flag = site.load(std::memory_order_relaxed);
  if (!flag) {
    // Racing threads store the same address.
    flag = TraceLog::GetCategoryEnabledFlag(category_group);
    site.store(flag, std::memory_order_relaxed);
  }
  return flag;
}

// Up to two named arguments, converted to the trace log's {type, 64-bit value} form.
// Only built when a site records; copied strings must outlive the AddTraceEvent call.
class TraceArgs {
 public:
  TraceArgs() = default;
  template <typename T1>
  TraceArgs(const char* name1, const T1& value1) {
    Append(name1, value1);
  }
  template <typename T1, typename T2>
  TraceArgs(const char* name1, const T1& value1, const char* name2, const T2& value2) {
    Append(name1, value1);
    Append(name2, value2);
  }

  int count = 0;
  const char* names[2] = {};
  unsigned char types[2] = {};
  uint64_t values[2] = {};

 private:
  template <typename T>
  void Append(const char* name, const T& value) {
    names[count] = name;
    if constexpr (std::is_same_v<T, bool>) {
      Set(kTraceValueTypeBool, value ? 1 : 0);
    } else if constexpr (std::is_enum_v<T>) {
      Set(kTraceValueTypeInt, static_cast<uint64_t>(static_cast<int64_t>(value)));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
      Set(kTraceValueTypeInt, static_cast<uint64_t>(static_cast<int64_t>(value)));
    } else if constexpr (std::is_integral_v<T>) {
      Set(kTraceValueTypeUint, static_cast<uint64_t>(value));
    } else if constexpr (std::is_floating_point_v<T>) {
      const double number = value;
      uint64_t bits;
      memcpy(&bits, &number, sizeof(bits));
      Set(kTraceValueTypeDouble, bits);
    } else if constexpr (std::is_same_v<T, std::string>) {
      Set(kTraceValueTypeCopyString, reinterpret_cast<uintptr_t>(value.c_str()));
    } else if constexpr (std::is_convertible_v<T, const char*>) {
      Set(kTraceValueTypeString, reinterpret_cast<uintptr_t>(static_cast<const char*>(value)));
    } else {
      static_assert(std::is_pointer_v<T>, "unsupported trace argument type");
      Set(kTraceValueTypePointer, reinterpret_cast<uintptr_t>(value));
    }
  }
  void Set(unsigned char type, uint64_t value) {
    types[count] = type;
    values[count] = value;
    ++count;
  }
};

// Records an event of the calling thread, now.
TraceEventHandle AddTraceEvent(char phase,
                               const unsigned char* category_flag,
                               const char* name,
                               uint64_t id,
                               uint32_t flags,
                               const TraceArgs& args);

// A scoped ('X') event: begun when its site records, completed at the end of the scope
// when the category is still enabled.
class ScopedTracer {
 public:
  ScopedTracer() = default;
  ScopedTracer(const ScopedTracer&) = delete;
  ScopedTracer& operator=(const ScopedTracer&) = delete;
  ~ScopedTracer() {
    if (category_flag_ && *category_flag_)
      TraceLog::GetInstance()->UpdateTraceEventDuration(category_flag_, name_, handle_);
  }

  void Begin(const unsigned char* category_flag, const char* name, const TraceArgs& args) {
    category_flag_ = category_flag;
    name_ = name;
    handle_ = AddTraceEvent('X', category_flag, name, 0, TRACE_EVENT_FLAG_NONE, args);
  }

 private:
  const unsigned char* category_flag_ = nullptr;
  const char* name_ = nullptr;
  TraceEventHandle handle_;
};

}  // namespace internal
}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_H_
