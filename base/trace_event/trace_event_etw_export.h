#ifndef BASE_TRACE_EVENT_TRACE_EVENT_ETW_EXPORT_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_ETW_EXPORT_H_

#include <windows.h>
#include <evntprov.h>
#include <stdint.h>

#include <atomic>
#include <map>
#include <string>
#include <string_view>

#include "base/native_library.h"

namespace base {
namespace trace_event {

// What the system's event tracing tells the provider through its enable callback: the
// session's level and keywords, and per event of the provider (one here) whether a
// session wants it. Written by the callback on a thread of the system's choosing.
struct EtwProviderContext {
  uint64_t registration_handle = 0;
  uint64_t logger = 0;  // Not used.
  uint64_t match_any_keyword = 0;
  uint64_t match_all_keyword = 0;
  uint32_t flags = 0;
  uint32_t is_enabled = 0;
  uint8_t level = 0;
  uint16_t event_count = 0;
  std::atomic<uint32_t>* enable_bits = nullptr;  // Bit i: event i is wanted.
  const uint64_t* event_keywords = nullptr;
  const uint8_t* event_levels = nullptr;
};

// Passes trace events of enabled categories to Event Tracing for Windows: one provider,
// one event kind carrying the event name, the phase and up to three argument names and
// values as text. The export's own switch and its category statuses are never turned on in
// this program, so it writes nothing; what runs is the provider's registration, so that a
// session can see the provider. The ETW functions are looked up at run time: without them
// the export exists and does nothing.
class TraceEventEtwExport {
 public:
  static constexpr wchar_t kSystemLibrary[] = L"Advapi32.dll";

  // Loads |library| and registers the provider there.
  explicit TraceEventEtwExport(const wchar_t* library = kSystemLibrary);
  TraceEventEtwExport(const TraceEventEtwExport&) = delete;
  TraceEventEtwExport& operator=(const TraceEventEtwExport&) = delete;
  // Unregisters the provider.
  ~TraceEventEtwExport();

  // The process's export, made on first use and destroyed by the exit-callback registry;
  // null from then on.
  static TraceEventEtwExport* GetInstance();

  // Whether the process's export writes events of |category_group|.
  static bool IsCategoryGroupEnabled(const char* category_group);
  // Write through the process's export; called by the trace log for categories whose flag
  // has the ETW bit.
  // Arguments of kTraceValueTypeConvertable are left out.
  static void AddEvent(char phase,
                       const char* name,
                       int num_args,
                       const char* const* arg_names,
                       const unsigned char* arg_types,
                       const uint64_t* arg_values);
  static void AddCompleteEndEvent(const char* name);

  // The same on this export.
  bool IsGroupEnabled(const char* category_group) const;
  void WriteEvent(char phase,
                  const char* name,
                  int num_args,
                  const char* const* arg_names,
                  const unsigned char* arg_types,
                  const uint64_t* arg_values);
  void WriteCompleteEndEvent(const char* name);

  // A category's status: a name missing from the list takes the status of
  // "__DISABLED_OTHER_EVENTS" when it is disabled by default, else of "__OTHER_EVENTS".
  bool IsCategoryEnabled(std::string_view category) const;

  bool is_registered() const { return context_.registration_handle != 0; }
  const EtwProviderContext& provider_context() const { return context_; }
  uint64_t events_written() const { return events_written_.load(std::memory_order_relaxed); }

  // The provider's enable callback (PENABLECALLBACK); |context| is an EtwProviderContext.
  static void NTAPI EnableCallback(LPCGUID source_id,
                                   ULONG control_code,
                                   UCHAR level,
                                   ULONGLONG match_any_keyword,
                                   ULONGLONG match_all_keyword,
                                   PEVENT_FILTER_DESCRIPTOR filter_data,
                                   PVOID context);

 private:
  using EventRegisterFunction = ULONG(WINAPI*)(LPCGUID, PENABLECALLBACK, PVOID, PREGHANDLE);
  using EventWriteFunction = ULONG(WINAPI*)(REGHANDLE, PCEVENT_DESCRIPTOR, ULONG,
                                            PEVENT_DATA_DESCRIPTOR);
  using EventUnregisterFunction = ULONG(WINAPI*)(REGHANDLE);

  bool ShouldWrite() const;
  // Writes the ETW event of eight texts (null ones as "NULL").
  void Write(const char* const (&texts)[8]);

  bool enabled_ = false;  // Never turned on in this program.
  std::map<std::string, bool, std::less<>> categories_;
  NativeLibrary library_;
  EventRegisterFunction event_register_ = nullptr;
  EventWriteFunction event_write_ = nullptr;
  EventUnregisterFunction event_unregister_ = nullptr;
  std::atomic<uint32_t> enable_bits_{0};
  EtwProviderContext context_;
  std::atomic<uint64_t> events_written_{0};
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_ETW_EXPORT_H_
