#ifndef BASE_TRACE_EVENT_TRACE_EVENT_IMPL_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_IMPL_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/trace_event/convertable_to_trace_format.h"

namespace base {
namespace trace_event {

class TraceEventMemoryOverhead;

// Event flags.
enum TraceEventFlags : uint32_t {
  kTraceEventFlagNone = 0,
  kTraceEventFlagCopy = 0x1,  // Names and string arguments are copied into the event.
  kTraceEventFlagHasId = 0x2,
  kTraceEventFlagMangleId = 0x4,  // The id is made unique to the process.
  kTraceEventFlagScopeMask = 0x18,
  kTraceEventFlagAsyncTts = 0x40,
  kTraceEventFlagBindToEnclosing = 0x80,
  kTraceEventFlagFlowIn = 0x100,
  kTraceEventFlagFlowOut = 0x200,
  kTraceEventFlagHasProcessId = 0x800,  // The thread-id field holds a process id.
  kTraceEventFlagHasLocalId = 0x1000,
  kTraceEventFlagHasGlobalId = 0x2000,
};

// Scopes of instant events (within kTraceEventFlagScopeMask).
enum TraceEventScope : uint32_t {
  kTraceEventScopeGlobal = 0,
  kTraceEventScopeProcess = 0x8,
  kTraceEventScopeThread = 0x10,
};

// Argument types.
enum TraceValueType : unsigned char {
  kTraceValueTypeBool = 1,
  kTraceValueTypeUint = 2,
  kTraceValueTypeInt = 3,
  kTraceValueTypeDouble = 4,
  kTraceValueTypePointer = 5,
  kTraceValueTypeString = 6,      // Kept by pointer: the text must outlive the trace.
  kTraceValueTypeCopyString = 7,  // Copied into the event.
  kTraceValueTypeConvertable = 8,  // An owned ConvertableToTraceFormat.
};

constexpr int kTraceMaxNumArgs = 2;

// Finds a recorded event again (to complete it): the sequence number of its chunk (0:
// none), the chunk's index in the buffer and the event's index in the chunk.
struct TraceEventHandle {
  uint32_t chunk_seq = 0;
  uint32_t chunk_index : 26 = 0;
  uint32_t event_index : 6 = 0;
};

// One recorded event: a fixed-size record with at most two arguments. Names, scope and
// string arguments are kept by pointer unless copied (kTraceEventFlagCopy, or arguments
// of kTraceValueTypeCopyString): copies live in one block that the event owns. Records
// live in trace buffer chunks and are reused; a record is touched by one thread at a time
// (its chunk's holder, or the holder of the trace log's lock).
class TraceEvent {
 public:
  // Export filters: whether an event's arguments may be written, and, through
  // |arg_name_filter| (left null for all), which of them by name.
  using ArgumentNameFilterPredicate = Callback<bool(const char* arg_name)>;
  using ArgumentFilterPredicate = Callback<bool(const char* category_group_name,
                                                const char* event_name,
                                                ArgumentNameFilterPredicate* arg_name_filter)>;

  // The type name of records in memory accounting (TraceEventMemoryOverhead tells names
  // apart by address, so every user takes this one).
  static const char kOverheadTypeName[];

  TraceEvent();
  TraceEvent(const TraceEvent&) = delete;
  TraceEvent& operator=(const TraceEvent&) = delete;
  ~TraceEvent();

  // Fills the record. |arg_values| hold the bits of each argument (a double's bit pattern,
  // a pointer's address); arguments of kTraceValueTypeConvertable are moved out of
  // |convertable_values| instead. Arguments beyond kTraceMaxNumArgs are dropped.
  void Initialize(int thread_id,
                  int64_t timestamp,
                  int64_t thread_timestamp,
                  char phase,
                  const unsigned char* category_group_enabled,
                  const char* name,
                  const char* scope,
                  uint64_t id,
                  uint64_t bind_id,
                  int num_args,
                  const char* const* arg_names,
                  const unsigned char* arg_types,
                  const uint64_t* arg_values,
                  std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
                  uint32_t flags);

  // Gives back the copies and convertible arguments, for the record's reuse.
  void Reset();

  // Takes over everything |other| holds.
  void MoveFrom(std::unique_ptr<TraceEvent> other);

  // Completes an event of phase 'X' at |now|.
  void UpdateDuration(int64_t now, int64_t thread_now);

  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead);

  // Appends the event as one JSON object. |filter| may be null.
  void AppendAsJson(std::string* out, const ArgumentFilterPredicate& filter) const;
  // Appends the console form: name[category], {arg:value, ...}.
  void AppendPrettyPrinted(std::string* out) const;

  // Appends one argument value as JSON; not for kTraceValueTypeConvertable.
  static void AppendValueAsJson(unsigned char type, uint64_t value, std::string* out);

  int64_t timestamp() const { return timestamp_; }
  int64_t thread_timestamp() const { return thread_timestamp_; }
  int64_t duration() const { return duration_; }
  int64_t thread_duration() const { return thread_duration_; }
  const char* scope() const { return scope_; }
  uint64_t id() const { return id_; }
  uint64_t bind_id() const { return bind_id_; }
  uint32_t flags() const { return flags_; }
  char phase() const { return phase_; }
  int thread_id() const { return thread_id_; }
  const unsigned char* category_group_enabled() const { return category_group_enabled_; }
  const char* name() const { return name_; }
  const char* arg_name(int index) const { return arg_names_[index]; }
  unsigned char arg_type(int index) const { return arg_types_[index]; }
  uint64_t arg_value(int index) const { return arg_values_[index]; }
  const ConvertableToTraceFormat* convertable_value(int index) const {
    return convertable_values_[index].get();
  }
  const char* category_group_name() const;

 private:
  void AppendArgumentAsJson(int index, std::string* out) const;

  int64_t timestamp_ = 0;
  int64_t thread_timestamp_ = 0;
  int64_t duration_ = -1;
  int64_t thread_duration_ = 0;
  const char* scope_ = nullptr;
  uint64_t id_ = 0;
  uint64_t arg_values_[kTraceMaxNumArgs] = {};
  const char* arg_names_[kTraceMaxNumArgs] = {};
  std::unique_ptr<ConvertableToTraceFormat> convertable_values_[kTraceMaxNumArgs];
  const unsigned char* category_group_enabled_ = nullptr;
  const char* name_ = nullptr;
  // A heap block, so that the pointers into it survive moving the record.
  std::unique_ptr<std::string> parameter_copy_storage_;
  int thread_id_ = 0;  // The process id with kTraceEventFlagHasProcessId.
  uint32_t flags_ = 0;
  uint64_t bind_id_ = 0;
  unsigned char arg_types_[kTraceMaxNumArgs] = {};
  char phase_ = 'B';
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_IMPL_H_
