#ifndef BASE_DEBUG_PROGRAM_COUNTER_H_
#define BASE_DEBUG_PROGRAM_COUNTER_H_

// BASE_RETURN_ADDRESS(): inside a function that is never inlined, the code address its
// caller resumes at once the function returns.
#if defined(_MSC_VER)
#include <intrin.h>
#pragma intrinsic(_ReturnAddress)
#define BASE_RETURN_ADDRESS() (static_cast<const void*>(_ReturnAddress()))
#else
#define BASE_RETURN_ADDRESS() (static_cast<const void*>(__builtin_return_address(0)))
#endif

namespace base {
namespace debug {

// The code address the caller resumes at after this call: a cheap identification of the
// calling site (posted tasks, activity records).
const void* GetProgramCounter();

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_PROGRAM_COUNTER_H_
