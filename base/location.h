#ifndef BASE_LOCATION_H_
#define BASE_LOCATION_H_

#include <stdint.h>

#include "base/debug/program_counter.h"

namespace base {

// Where a task was posted from: function name, source file, line and code address.
// The texts are string literals; a Location only points at them.
class Location {
 public:
  constexpr Location() = default;
  constexpr Location(const char* function_name,
                     const char* file_name,
                     int32_t line,
                     const void* program_counter)
      : function_name_(function_name),
        file_name_(file_name),
        line_(line),
        program_counter_(program_counter) {}

  const char* function_name() const { return function_name_; }
  const char* file_name() const { return file_name_; }
  int32_t line() const { return line_; }
  const void* program_counter() const { return program_counter_; }

 private:
  const char* function_name_ = "Unknown";
  const char* file_name_ = "Unknown";
  int32_t line_ = -1;
  const void* program_counter_ = nullptr;
};

}  // namespace base

// The location of the statement that uses it, named by an explicit function name (posting
// sites name themselves, e.g. FROM_HERE_WITH_EXPLICIT_FUNCTION("SetDisabledWhileLocked")).
#define FROM_HERE_WITH_EXPLICIT_FUNCTION(function_name)             \
  ::base::Location((function_name), __FILE__, static_cast<int32_t>(__LINE__), \
                   ::base::debug::GetProgramCounter())

#define FROM_HERE FROM_HERE_WITH_EXPLICIT_FUNCTION(__func__)

#endif  // BASE_LOCATION_H_
