#include "base/trace_event/type_name_deduplicator.h"

#include <algorithm>

#include "base/json/string_escape.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_event_memory_overhead.h"

namespace base {
namespace trace_event {

namespace {

constexpr char kDisabledByDefaultPrefix[] = "disabled-by-default-";
// The bytes of one map node, as the estimate counts them.
constexpr uint64_t kEntryBytes = 48;

}  // namespace

TypeNameDeduplicator::TypeNameDeduplicator() {
  type_ids_[nullptr] = 0;
}

TypeNameDeduplicator::~TypeNameDeduplicator() = default;

int TypeNameDeduplicator::Insert(const char* type_name) {
  const auto inserted = type_ids_.emplace(type_name, static_cast<int>(type_ids_.size()));
  return inserted.first->second;
}

// static
std::string_view TypeNameDeduplicator::ExtractCategoryFromTypeName(std::string_view type_name) {
  const size_t separator = type_name.find_last_of("\\/");
  if (separator == std::string_view::npos) {
    std::string_view category = type_name.substr(0, type_name.find(','));
    if (StartsWith(category, kDisabledByDefaultPrefix, CompareCase::SENSITIVE))
      category.remove_prefix(sizeof(kDisabledByDefaultPrefix) - 1);
    return category;
  }
  std::string_view folder = type_name.substr(0, separator);
  // Each step is "..", and a separator unless it is the last; a bare ".." has none.
  while (StartsWith(folder, "..", CompareCase::SENSITIVE))
    folder.remove_prefix(std::min<size_t>(3, folder.size()));
  return folder;
}

void TypeNameDeduplicator::AppendAsTraceFormat(std::string* out) const {
  *out += "{\"0\":\"[unknown]\"";
  for (const auto& entry : type_ids_) {
    if (entry.second == 0)
      continue;
    StringAppendF(out, ",\"%d\":", entry.second);
    EscapeJsonString(ExtractCategoryFromTypeName(entry.first ? entry.first : ""), out);
  }
  *out += "}";
}

void TypeNameDeduplicator::EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) {
  const uint64_t bytes = type_ids_.size() * kEntryBytes + 24;
  overhead->Add("TypeNameDeduplicator", bytes);
}

}  // namespace trace_event
}  // namespace base
