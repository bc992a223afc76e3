#ifndef BASE_TRACE_EVENT_CATEGORY_PATTERN_H_
#define BASE_TRACE_EVENT_CATEGORY_PATTERN_H_

#include <string_view>

namespace base {
namespace trace_event {

// Whether the UTF-8 category name |text| matches |pattern| of a trace configuration, compared
// code point by code point: '*' matches any run of characters (none included), '?' matches
// zero or one character, and a backslash makes the next pattern character literal. The search
// backtracks at most 16 wild cards deep; a match that needs more is reported as no match.
bool MatchCategoryPattern(std::string_view text, std::string_view pattern);

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_CATEGORY_PATTERN_H_
