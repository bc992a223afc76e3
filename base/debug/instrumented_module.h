#ifndef BASE_DEBUG_INSTRUMENTED_MODULE_H_
#define BASE_DEBUG_INSTRUMENTED_MODULE_H_

namespace base {
namespace debug {

// Whether this library's image was rewritten by the memory-error instrumentation toolchain:
// its section table holds both the ".thunks" section and the toolchain's marker section.
// Computed once per process.
bool IsModuleInstrumented();

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_INSTRUMENTED_MODULE_H_
