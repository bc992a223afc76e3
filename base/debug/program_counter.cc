#include "base/debug/program_counter.h"

namespace base {
namespace debug {

// Defined out of line so that the return address is the caller's.
__declspec(noinline) const void* GetProgramCounter() {
  return BASE_RETURN_ADDRESS();
}

}  // namespace debug
}  // namespace base
