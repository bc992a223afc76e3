#ifndef BASE_TRACE_EVENT_TYPE_NAME_DEDUPLICATOR_H_
#define BASE_TRACE_EVENT_TYPE_NAME_DEDUPLICATOR_H_

#include <map>
#include <string>
#include <string_view>

#include "base/trace_event/convertable_to_trace_format.h"

namespace base {
namespace trace_event {

// Numbers the type names that heap dumps refer to, and writes the table as the
// "typeNames" metadata of a memory-tracing recording. Names are static texts, told apart
// by address; id 0 is the unknown type. Used on one thread.
class TypeNameDeduplicator : public ConvertableToTraceFormat {
 public:
  TypeNameDeduplicator();
  ~TypeNameDeduplicator() override;

  // The id of |type_name|, numbered on first sight.
  int Insert(const char* type_name);

  // {"0":"[unknown]","<id>":"<category>",...}: each name written as its category (see
  // ExtractCategoryFromTypeName).
  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

  // What a type name stands for in the table: for a source path, its folder with the
  // leading parent steps ("../") removed; otherwise the first name of a category group,
  // without the "disabled-by-default-" prefix.
  static std::string_view ExtractCategoryFromTypeName(std::string_view type_name);

 private:
  std::map<const char*, int> type_ids_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TYPE_NAME_DEDUPLICATOR_H_
