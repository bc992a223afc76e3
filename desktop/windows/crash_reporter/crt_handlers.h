#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRT_HANDLERS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRT_HANDLERS_H_

#include <stdlib.h>

// The C runtime's invalid-parameter and pure-call handlers, installed where the runtime that
// this process actually runs on calls them. Each setter returns the previous handler.

namespace crash_reporter {

_invalid_parameter_handler SetInvalidParameterHandler(_invalid_parameter_handler handler);
_purecall_handler SetPureCallHandler(_purecall_handler handler);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRT_HANDLERS_H_
