#include "base/trace_event/trace_event_etw_export.h"

#include <string.h>

#include <new>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/trace_event/trace_event_impl.h"

namespace base {
namespace trace_event {

namespace {

// {5C7D5B4A-9E2F-4C61-A0B3-2D8E6F91C4A7}
constexpr GUID kProviderGuid = {
    0x5c7d5b4a, 0x9e2f, 0x4c61, {0xa0, 0xb3, 0x2d, 0x8e, 0x6f, 0x91, 0xc4, 0xa7}};

constexpr ULONG kControlCodeDisable = 0;
constexpr ULONG kControlCodeEnable = 1;

constexpr uint64_t kEventKeyword = 0x8000000000000000ull;
constexpr uint8_t kEventLevel = 4;  // Informational.
const uint64_t kEventKeywords[] = {kEventKeyword};
const uint8_t kEventLevels[] = {kEventLevel};
const EVENT_DESCRIPTOR kEventDescriptor = {
    1, 0, 8, kEventLevel, 0, 0, kEventKeyword};  // Id, version, channel, level, ..., keyword.

// The list's order is what ties a name to a session keyword.
const char* const kFilteredEventGroupNames[] = {
    "benchmark",
    "browser",
    "gpu",
    "input",
    "ipc",
    "net",
    "media",
    "storage",
    "toplevel",
    "disabled-by-default-toplevel.flow",
    "audio",
    "loading",
    "disabled-by-default-ipc.flow",
    "disabled-by-default-gpu.debug",
    "startup",
};
constexpr char kOtherEventsGroupName[] = "__OTHER_EVENTS";
constexpr char kDisabledOtherEventsGroupName[] = "__DISABLED_OTHER_EVENTS";
constexpr char kDisabledByDefaultPrefix[] = "disabled-by-default";

const char* PhaseText(char phase) {
  switch (phase) {
    case 'B': return "Begin";
    case 'C': return "Phase Counter";
    case 'D': return "Phase Delete Object";
    case 'E': return "End";
    case 'F': return "Async End";
    case 'I': return "Instant";
    case 'M': return "Phase Metadata";
    case 'N': return "Phase Create Object";
    case 'O': return "Phase Snapshot Object";
    case 'P': return "Phase Sample";
    case 'S': return "Async Begin";
    case 'T': return "Async Step Into";
    case 'X': return "Complete";
    case 'b': return "Nestable Async Begin";
    case 'e': return "Nestable Async End";
    case 'f': return "Phase Flow End";
    case 'n': return "Nestable Async Instant";
    case 'p': return "Async Step Past";
    case 's': return "Phase Flow Begin";
    case 't': return "Phase Flow Step";
    default: return nullptr;
  }
}

// The process's export lives in static storage; once the exit-callback registry destroyed
// it, it is not made again.
std::atomic<uintptr_t> g_instance_state{0};
std::atomic<bool> g_instance_destroyed{false};
alignas(TraceEventEtwExport) unsigned char g_instance_storage[sizeof(TraceEventEtwExport)];

void DestroyInstance(void*) {
  g_instance_destroyed.store(true, std::memory_order_release);
  const uintptr_t value = g_instance_state.exchange(0, std::memory_order_acq_rel);
  if (value > internal::kLazyInstanceCreating)
    reinterpret_cast<TraceEventEtwExport*>(value)->~TraceEventEtwExport();
}

}  // namespace

TraceEventEtwExport::TraceEventEtwExport(const wchar_t* library) : library_(FilePath(library)) {
  for (const char* name : kFilteredEventGroupNames)
    categories_[name] = false;
  categories_[kOtherEventsGroupName] = false;
  categories_[kDisabledOtherEventsGroupName] = false;

  context_.event_count = 1;
  context_.enable_bits = &enable_bits_;
  context_.event_keywords = kEventKeywords;
  context_.event_levels = kEventLevels;

  if (!library_.IsLoaded())
    return;
  event_register_ =
      reinterpret_cast<EventRegisterFunction>(library_.GetFunctionPointer("EventRegister"));
  event_write_ = reinterpret_cast<EventWriteFunction>(library_.GetFunctionPointer("EventWrite"));
  event_unregister_ =
      reinterpret_cast<EventUnregisterFunction>(library_.GetFunctionPointer("EventUnregister"));
  if (!event_register_)
    return;
  REGHANDLE handle = 0;
  const ULONG status = event_register_(&kProviderGuid, &EnableCallback, &context_, &handle);
  if (status != ERROR_SUCCESS) {
    ELOG(WARNING, status) << "EventRegister failed for the trace event provider";
    return;
  }
  context_.registration_handle = handle;
}

TraceEventEtwExport::~TraceEventEtwExport() {
  if (context_.registration_handle && event_unregister_) {
    const ULONG status = event_unregister_(context_.registration_handle);
    if (status != ERROR_SUCCESS)
      ELOG(WARNING, status) << "EventUnregister failed for the trace event provider";
  }
  context_.registration_handle = 0;
}

// static
TraceEventEtwExport* TraceEventEtwExport::GetInstance() {
  const uintptr_t value = g_instance_state.load(std::memory_order_acquire);
  if (value > internal::kLazyInstanceCreating)
    return reinterpret_cast<TraceEventEtwExport*>(value);
  if (g_instance_destroyed.load(std::memory_order_acquire))
    return nullptr;
  if (internal::NeedsLazyInstance(g_instance_state)) {
    TraceEventEtwExport* instance = new (g_instance_storage) TraceEventEtwExport();
    internal::CompleteLazyInstance(g_instance_state, reinterpret_cast<uintptr_t>(instance),
                                   &DestroyInstance, nullptr);
    return instance;
  }
  const uintptr_t made = g_instance_state.load(std::memory_order_acquire);
  return made > internal::kLazyInstanceCreating ? reinterpret_cast<TraceEventEtwExport*>(made)
                                                : nullptr;
}

// static
bool TraceEventEtwExport::IsCategoryGroupEnabled(const char* category_group) {
  TraceEventEtwExport* instance = GetInstance();
  return instance && instance->IsGroupEnabled(category_group);
}

// static
void TraceEventEtwExport::AddEvent(char phase,
                                   const char* name,
                                   int num_args,
                                   const char* const* arg_names,
                                   const unsigned char* arg_types,
                                   const uint64_t* arg_values) {
  TraceEventEtwExport* instance = GetInstance();
  if (instance)
    instance->WriteEvent(phase, name, num_args, arg_names, arg_types, arg_values);
}

// static
void TraceEventEtwExport::AddCompleteEndEvent(const char* name) {
  TraceEventEtwExport* instance = GetInstance();
  if (instance)
    instance->WriteCompleteEndEvent(name);
}

bool TraceEventEtwExport::IsGroupEnabled(const char* category_group) const {
  if (!enabled_)
    return false;
  std::string_view rest(category_group);
  for (;;) {
    const size_t comma = rest.find(',');
    if (IsCategoryEnabled(rest.substr(0, comma)))
      return true;
    if (comma == std::string_view::npos)
      return false;
    rest.remove_prefix(comma + 1);
  }
}

bool TraceEventEtwExport::IsCategoryEnabled(std::string_view category) const {
  auto it = categories_.find(category);
  if (it != categories_.end())
    return it->second;
  const bool disabled_by_default =
      StartsWith(category, kDisabledByDefaultPrefix, CompareCase::SENSITIVE);
  it = categories_.find(disabled_by_default ? kDisabledOtherEventsGroupName
                                            : kOtherEventsGroupName);
  return it != categories_.end() && it->second;
}

bool TraceEventEtwExport::ShouldWrite() const {
  return enabled_ && event_write_ && context_.registration_handle &&
         (enable_bits_.load(std::memory_order_relaxed) & 1);
}

void TraceEventEtwExport::WriteEvent(char phase,
                                     const char* name,
                                     int num_args,
                                     const char* const* arg_names,
                                     const unsigned char* arg_types,
                                     const uint64_t* arg_values) {
  if (!ShouldWrite())
    return;
  const char* phase_text = PhaseText(phase);
  const char one_character_phase[2] = {phase, '\0'};
  if (!phase_text)
    phase_text = one_character_phase;

  constexpr int kMaxArgs = 3;
  std::string values[kMaxArgs];
  const char* names[kMaxArgs] = {"", "", ""};
  for (int i = 0; i < num_args && i < kMaxArgs; ++i) {
    if (arg_types[i] == kTraceValueTypeConvertable)
      continue;
    names[i] = arg_names[i];
    TraceEvent::AppendValueAsJson(arg_types[i], arg_values[i], &values[i]);
  }
  const char* const texts[8] = {name,     phase_text,         names[0], values[0].c_str(),
                                names[1], values[1].c_str(), names[2], values[2].c_str()};
  Write(texts);
}

void TraceEventEtwExport::WriteCompleteEndEvent(const char* name) {
  if (!ShouldWrite())
    return;
  const char* const texts[8] = {name, "Complete End", "", "", "", "", "", ""};
  Write(texts);
}

void TraceEventEtwExport::Write(const char* const (&texts)[8]) {
  EVENT_DATA_DESCRIPTOR data[8];
  for (int i = 0; i < 8; ++i) {
    const char* text = texts[i] ? texts[i] : "NULL";
    data[i].Ptr = reinterpret_cast<ULONGLONG>(text);
    data[i].Size = static_cast<ULONG>(strlen(text) + 1);
    data[i].Reserved = 0;
  }
  const ULONG status = event_write_(context_.registration_handle, &kEventDescriptor, 8, data);
  if (status == ERROR_SUCCESS)
    events_written_.fetch_add(1, std::memory_order_relaxed);
}

// static
void NTAPI TraceEventEtwExport::EnableCallback(LPCGUID source_id,
                                               ULONG control_code,
                                               UCHAR level,
                                               ULONGLONG match_any_keyword,
                                               ULONGLONG match_all_keyword,
                                               PEVENT_FILTER_DESCRIPTOR filter_data,
                                               PVOID callback_context) {
  EtwProviderContext* context = static_cast<EtwProviderContext*>(callback_context);
  if (!context)
    return;
  if (control_code == kControlCodeEnable) {
    context->match_any_keyword = match_any_keyword;
    context->level = level;
    context->match_all_keyword = match_all_keyword;
    context->is_enabled = 1;
    uint32_t bits = 0;
    for (uint16_t i = 0; i < context->event_count; ++i) {
      const bool level_matches = level == 0 || context->event_levels[i] <= level;
      const uint64_t keyword = context->event_keywords[i];
      const bool keyword_matches =
          keyword == 0 || ((keyword & match_any_keyword) != 0 &&
                           (keyword & match_all_keyword) == match_all_keyword);
      if (level_matches && keyword_matches)
        bits |= 1u << i;
    }
    context->enable_bits->store(bits, std::memory_order_relaxed);
  } else if (control_code == kControlCodeDisable) {
    context->is_enabled = 0;
    context->level = 0;
    context->match_any_keyword = 0;
    context->match_all_keyword = 0;
    context->enable_bits->store(0, std::memory_order_relaxed);
  }
}

}  // namespace trace_event
}  // namespace base
