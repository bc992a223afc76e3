#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_FILE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_FILE_H_

#include <string>

#include "base/win/scoped_handle.h"

namespace crash_reporter {

// The path of a module comes from the inspected client (its loader list or its crash keys),
// so the client chooses it. Only a plain full path on a local fixed drive ("X:\dir\file",
// no "." or ".." components, no device names or streams) is accepted: anything else could
// make the reporter connect to a host (credentials), open a pipe or device, or block on an
// unresponsive share.
bool IsLocalModulePath(const std::wstring& path);

// Opens the file of a module for reading when IsLocalModulePath accepts |path|, without
// letting a server impersonate this process; an invalid handle, with the reason logged,
// otherwise.
base::win::ScopedHandle OpenModuleFile(const std::wstring& path);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_FILE_H_
