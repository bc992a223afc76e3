#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRT_HANDLERS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRT_HANDLERS_H_

#include <windows.h>
#include <stdlib.h>

// The C runtime's invalid-parameter and pure-call handlers, installed where the runtime that
// this process actually runs on calls them. Each setter returns the previous handler.

namespace crash_reporter {

_invalid_parameter_handler SetInvalidParameterHandler(_invalid_parameter_handler handler);
_purecall_handler SetPureCallHandler(_purecall_handler handler);

// The exception record of a failed check of the C runtime (|code| STATUS_INVALID_PARAMETER)
// or a pure virtual call (STATUS_NONCONTINUABLE_EXCEPTION) on the thread whose |context| was
// captured: not continuable, at the captured instruction.
EXCEPTION_RECORD MakeRuntimeFailureRecord(DWORD code, const CONTEXT& context);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRT_HANDLERS_H_
