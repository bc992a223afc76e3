#ifndef BASE_TRACE_EVENT_MEMORY_INFRA_BACKGROUND_WHITELIST_H_
#define BASE_TRACE_EVENT_MEMORY_INFRA_BACKGROUND_WHITELIST_H_

#include <string_view>

namespace base {
namespace trace_event {

// Background dumps (MemoryDumpLevelOfDetail::kBackground) may leave the process without
// the user's consent, so they hold only names from fixed lists.

// Whether the provider |name| takes part in background dumps.
bool IsMemoryDumpProviderWhitelisted(std::string_view name);

// Whether an allocator dump named |name| is kept in a background dump. Every "0x" with the
// hexadecimal digits after it is compared as "0x?".
bool IsMemoryAllocatorDumpNameWhitelisted(std::string_view name);

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_INFRA_BACKGROUND_WHITELIST_H_
