#include "base/debug/alias.h"

namespace base {
namespace debug {

// Out of line and unoptimised so that whole-program optimisation cannot see that the
// argument goes nowhere.
#if defined(_MSC_VER)
#pragma optimize("", off)
#endif

__declspec(noinline) void DebugAlias(const void* var) {}

#if defined(_MSC_VER)
#pragma optimize("", on)
#endif

}  // namespace debug
}  // namespace base
