#ifndef BASE_DEBUG_ALIAS_H_
#define BASE_DEBUG_ALIAS_H_

namespace base {
namespace debug {

// Keeps the value at |var| alive in memory, and so in crash dumps, up to the call: the
// compiler cannot prove that the value is unused. Does nothing else.
void DebugAlias(const void* var);

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_ALIAS_H_
