#ifndef BASE_TRACE_EVENT_TRACED_VALUE_H_
#define BASE_TRACE_EVENT_TRACED_VALUE_H_

#include <stddef.h>

#include <memory>
#include <string>
#include <string_view>

#include "base/trace_event/convertable_to_trace_format.h"
#include "base/values.h"
#include "base/wire_message.h"

namespace base {
namespace trace_event {

// A structured trace argument, written cheaply as a flat record of tagged items and turned
// into JSON only when exported. The top level is a dictionary; Begin*/End* nest
// dictionaries and arrays. Inside a dictionary every item has a name: a const char* name
// must live as long as the program (only its address is kept); the *WithCopiedName
// variants copy theirs. Items of an array have none. Values are always copied. One thread
// writes a value; it is read only after the writing ends.
class TracedValue : public ConvertableToTraceFormat {
 public:
  TracedValue();
  TracedValue(const TracedValue&) = delete;
  TracedValue& operator=(const TracedValue&) = delete;
  ~TracedValue() override;

  void SetInteger(const char* name, int value);
  void SetDouble(const char* name, double value);
  void SetBoolean(const char* name, bool value);
  void SetString(const char* name, std::string_view value);
  void BeginDictionary(const char* name);
  void BeginArray(const char* name);

  void SetIntegerWithCopiedName(std::string_view name, int value);
  void SetDoubleWithCopiedName(std::string_view name, double value);
  void SetBooleanWithCopiedName(std::string_view name, bool value);
  void SetStringWithCopiedName(std::string_view name, std::string_view value);
  void BeginDictionaryWithCopiedName(std::string_view name);
  void BeginArrayWithCopiedName(std::string_view name);

  // Items of the array being written.
  void AppendInteger(int value);
  void AppendDouble(double value);
  void AppendBoolean(bool value);
  void AppendString(std::string_view value);
  void BeginDictionary();
  void BeginArray();

  void EndDictionary();
  void EndArray();

  // The record as a dictionary value; containers left open end with the record.
  std::unique_ptr<DictionaryValue> ToBaseValue() const;

  // ConvertableToTraceFormat:
  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  void WriteTag(char tag);
  void WriteStaticName(const char* name);
  void WriteCopiedName(std::string_view name);
  void WriteDouble(double value);

  WireMessage record_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACED_VALUE_H_
