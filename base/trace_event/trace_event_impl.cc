#include "base/trace_event/trace_event_impl.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "base/json/string_escape.h"
#include "base/strings/format_double.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

namespace {

size_t AllocLength(const char* text) {
  return text ? strlen(text) + 1 : 0;
}

// Moves |*member| into |*cursor| and points it there.
void CopyToStorage(const char** member, char** cursor) {
  if (!*member)
    return;
  const size_t length = strlen(*member) + 1;
  memcpy(*cursor, *member, length);
  *member = *cursor;
  *cursor += length;
}

char InstantScopeCode(uint32_t flags) {
  switch (flags & kTraceEventFlagScopeMask) {
    case kTraceEventScopeGlobal:
      return 'g';
    case kTraceEventScopeProcess:
      return 'p';
    case kTraceEventScopeThread:
      return 't';
    default:
      return '?';
  }
}

}  // namespace

const char TraceEvent::kOverheadTypeName[] = "TraceEvent";

TraceEvent::TraceEvent() = default;

TraceEvent::~TraceEvent() = default;

void TraceEvent::Initialize(int thread_id,
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
                            uint32_t flags) {
  timestamp_ = timestamp;
  thread_timestamp_ = thread_timestamp;
  duration_ = -1;
  thread_duration_ = 0;
  scope_ = scope;
  id_ = id;
  category_group_enabled_ = category_group_enabled;
  name_ = name;
  thread_id_ = thread_id;
  flags_ = flags;
  bind_id_ = bind_id;
  phase_ = phase;

  num_args = std::clamp(num_args, 0, kTraceMaxNumArgs);
  for (int i = 0; i < kTraceMaxNumArgs; ++i) {
    convertable_values_[i].reset();
    if (i >= num_args) {
      arg_names_[i] = nullptr;
      arg_types_[i] = kTraceValueTypeUint;
      arg_values_[i] = 0;
      continue;
    }
    arg_names_[i] = arg_names[i];
    arg_types_[i] = arg_types[i];
    arg_values_[i] = 0;
    if (arg_types[i] == kTraceValueTypeConvertable)
      convertable_values_[i] = std::move(convertable_values[i]);
    else
      arg_values_[i] = arg_values[i];
  }

  const bool copy = (flags & kTraceEventFlagCopy) != 0;
  size_t alloc_size = 0;
  if (copy) {
    alloc_size += AllocLength(name_) + AllocLength(scope_);
    for (int i = 0; i < num_args; ++i)
      alloc_size += AllocLength(arg_names_[i]);
  }
  bool copy_value[kTraceMaxNumArgs] = {};
  for (int i = 0; i < num_args; ++i) {
    if (copy && arg_types_[i] == kTraceValueTypeString)
      arg_types_[i] = kTraceValueTypeCopyString;
    if (arg_types_[i] == kTraceValueTypeCopyString) {
      copy_value[i] = true;
      alloc_size += AllocLength(reinterpret_cast<const char*>(arg_values_[i]));
    }
  }

  parameter_copy_storage_.reset();
  if (!alloc_size)
    return;
  parameter_copy_storage_ = std::make_unique<std::string>(alloc_size, '\0');
  char* cursor = &(*parameter_copy_storage_)[0];
  if (copy) {
    CopyToStorage(&name_, &cursor);
    CopyToStorage(&scope_, &cursor);
    for (int i = 0; i < num_args; ++i)
      CopyToStorage(&arg_names_[i], &cursor);
  }
  for (int i = 0; i < num_args; ++i) {
    if (!copy_value[i])
      continue;
    const char* text = reinterpret_cast<const char*>(arg_values_[i]);
    CopyToStorage(&text, &cursor);
    arg_values_[i] = reinterpret_cast<uintptr_t>(text);
  }
}

void TraceEvent::Reset() {
  parameter_copy_storage_.reset();
  for (auto& value : convertable_values_)
    value.reset();
  duration_ = -1;
}

void TraceEvent::MoveFrom(std::unique_ptr<TraceEvent> other) {
  timestamp_ = other->timestamp_;
  thread_timestamp_ = other->thread_timestamp_;
  duration_ = other->duration_;
  thread_duration_ = other->thread_duration_;
  scope_ = other->scope_;
  id_ = other->id_;
  category_group_enabled_ = other->category_group_enabled_;
  name_ = other->name_;
  parameter_copy_storage_ = std::move(other->parameter_copy_storage_);
  thread_id_ = other->thread_id_;
  flags_ = other->flags_;
  bind_id_ = other->bind_id_;
  phase_ = other->phase_;
  for (int i = 0; i < kTraceMaxNumArgs; ++i) {
    arg_values_[i] = other->arg_values_[i];
    arg_names_[i] = other->arg_names_[i];
    arg_types_[i] = other->arg_types_[i];
    convertable_values_[i] = std::move(other->convertable_values_[i]);
  }
}

void TraceEvent::UpdateDuration(int64_t now, int64_t thread_now) {
  duration_ = SaturatedSub(now, timestamp_);
  if (thread_timestamp_ != 0)
    thread_duration_ = SaturatedSub(thread_now, thread_timestamp_);
}

void TraceEvent::EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) {
  overhead->Add(kOverheadTypeName, sizeof(*this));
  if (parameter_copy_storage_)
    overhead->AddString(*parameter_copy_storage_);
  for (auto& value : convertable_values_) {
    if (value)
      value->EstimateTraceMemoryOverhead(overhead);
  }
}

const char* TraceEvent::category_group_name() const {
  return TraceLog::GetCategoryGroupName(category_group_enabled_);
}

// static
void TraceEvent::AppendValueAsJson(unsigned char type, uint64_t value, std::string* out) {
  switch (type) {
    case kTraceValueTypeBool:
      *out += value ? "true" : "false";
      break;
    case kTraceValueTypeUint:
      StringAppendF(out, "%llu", static_cast<unsigned long long>(value));
      break;
    case kTraceValueTypeInt:
      StringAppendF(out, "%lld", static_cast<long long>(value));
      break;
    case kTraceValueTypeDouble: {
      double number;
      memcpy(&number, &value, sizeof(number));
      if (isnan(number)) {
        *out += "\"NaN\"";
      } else if (isinf(number)) {
        *out += number < 0 ? "\"-Infinity\"" : "\"Infinity\"";
      } else {
        char buffer[kFormatDoubleBufferSize];
        std::string_view text(buffer, FormatDoubleShortest(buffer, number));
        const bool has_point_or_exponent = text.find_first_of(".eE") != std::string_view::npos;
        // JSON numbers need a digit before the point.
        if (text[0] == '.') {
          *out += '0';
        } else if (text.compare(0, 2, "-.") == 0) {
          *out += "-0";
          text.remove_prefix(1);
        }
        *out += text;
        // A JSON reader must see a double.
        if (!has_point_or_exponent)
          *out += ".0";
      }
      break;
    }
    case kTraceValueTypePointer:
      StringAppendF(out, "\"0x%llx\"", static_cast<unsigned long long>(value));
      break;
    case kTraceValueTypeString:
    case kTraceValueTypeCopyString: {
      const char* text = reinterpret_cast<const char*>(value);
      EscapeJsonString(text ? text : "NULL", out);
      break;
    }
    default:
      *out += "\"<unknown type>\"";
      break;
  }
}

void TraceEvent::AppendArgumentAsJson(int index, std::string* out) const {
  if (arg_types_[index] == kTraceValueTypeConvertable) {
    if (convertable_values_[index])
      convertable_values_[index]->AppendAsTraceFormat(out);
    else
      *out += "null";
    return;
  }
  AppendValueAsJson(arg_types_[index], arg_values_[index], out);
}

void TraceEvent::AppendAsJson(std::string* out, const ArgumentFilterPredicate& filter) const {
  int process_id;
  int thread_id;
  if ((flags_ & kTraceEventFlagHasProcessId) && thread_id_ != 0) {
    process_id = thread_id_;
    thread_id = -1;
  } else {
    process_id = TraceLog::GetInstance()->process_id();
    thread_id = thread_id_;
  }
  const char* category = category_group_name();
  // Category and scope texts are escaped like names: a category or scope made from copied
  // text must not break the JSON.
  StringAppendF(out, "{\"pid\":%i,\"tid\":%i,\"ts\":%lld,\"ph\":\"%c\",\"cat\":", process_id,
                thread_id, static_cast<long long>(timestamp_), phase_);
  EscapeJsonString(category, out);
  *out += ",\"name\":";
  EscapeJsonString(name_ ? name_ : "", out);
  *out += ",\"args\":";

  ArgumentNameFilterPredicate arg_name_filter;
  if (filter && !filter.Run(category, name_, &arg_name_filter)) {
    *out += "\"__stripped__\"";
  } else {
    *out += "{";
    for (int i = 0; i < kTraceMaxNumArgs && arg_names_[i]; ++i) {
      if (i > 0)
        *out += ",";
      EscapeJsonString(arg_names_[i], out);
      *out += ":";
      if (arg_name_filter && !arg_name_filter.Run(arg_names_[i]))
        *out += "\"__stripped__\"";
      else
        AppendArgumentAsJson(i, out);
    }
    *out += "}";
  }

  if (phase_ == 'X') {
    if (duration_ != -1)
      StringAppendF(out, ",\"dur\":%lld", static_cast<long long>(duration_));
    if (thread_timestamp_ != 0 && thread_duration_ != -1)
      StringAppendF(out, ",\"tdur\":%lld", static_cast<long long>(thread_duration_));
  }
  if (thread_timestamp_ != 0)
    StringAppendF(out, ",\"tts\":%lld", static_cast<long long>(thread_timestamp_));
  if (flags_ & kTraceEventFlagAsyncTts)
    *out += ", \"use_async_tts\":1";

  if (flags_ & (kTraceEventFlagHasId | kTraceEventFlagHasLocalId | kTraceEventFlagHasGlobalId)) {
    if (scope_) {
      *out += ",\"scope\":";
      EscapeJsonString(scope_, out);
    }
    const unsigned long long id = id_;
    if (flags_ & kTraceEventFlagHasId)
      StringAppendF(out, ",\"id\":\"0x%llx\"", id);
    else if (flags_ & kTraceEventFlagHasLocalId)
      StringAppendF(out, ",\"id2\":{\"local\":\"0x%llx\"}", id);
    else
      StringAppendF(out, ",\"id2\":{\"global\":\"0x%llx\"}", id);
  }

  if (flags_ & kTraceEventFlagBindToEnclosing)
    *out += ",\"bp\":\"e\"";
  if (flags_ & (kTraceEventFlagFlowIn | kTraceEventFlagFlowOut))
    StringAppendF(out, ",\"bind_id\":\"0x%llx\"", static_cast<unsigned long long>(bind_id_));
  if (flags_ & kTraceEventFlagFlowIn)
    *out += ",\"flow_in\":true";
  if (flags_ & kTraceEventFlagFlowOut)
    *out += ",\"flow_out\":true";

  if (phase_ == 'I')
    StringAppendF(out, ",\"s\":\"%c\"", InstantScopeCode(flags_));
  *out += "}";
}

void TraceEvent::AppendPrettyPrinted(std::string* out) const {
  *out += name_ ? name_ : "";
  *out += "[";
  *out += category_group_name();
  *out += "]";
  if (!arg_names_[0])
    return;
  *out += ", {";
  for (int i = 0; i < kTraceMaxNumArgs && arg_names_[i]; ++i) {
    if (i > 0)
      *out += ", ";
    *out += arg_names_[i];
    *out += ":";
    AppendArgumentAsJson(i, out);
  }
  *out += "}";
}

}  // namespace trace_event
}  // namespace base
