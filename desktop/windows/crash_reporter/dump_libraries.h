#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_DUMP_LIBRARIES_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_DUMP_LIBRARIES_H_

#include <windows.h>
#include <dbghelp.h>

// The system functions that writing a dump needs, loaded at run time from the system folder
// on first use (each under its own lock) and kept for the life of the process. A crash
// handler loads them when it is installed: loading a library on a crashing thread may
// deadlock on the loader lock.

namespace crash_reporter {

// Loads MiniDumpWriteDump of "dbghelp.dll"; false when it cannot be loaded.
bool LoadMiniDumpWriteDump();

// MiniDumpWriteDump, one call at a time in the process (dbghelp is single-threaded); FALSE,
// with ERROR_PROC_NOT_FOUND, when it cannot be loaded.
BOOL WriteMiniDump(HANDLE process,
                   DWORD process_id,
                   HANDLE file,
                   MINIDUMP_TYPE dump_type,
                   PMINIDUMP_EXCEPTION_INFORMATION exception,
                   PMINIDUMP_USER_STREAM_INFORMATION user_streams,
                   PMINIDUMP_CALLBACK_INFORMATION callback);

// A new id from UuidCreate of "rpcrt4.dll"; false when that is unavailable or fails.
bool CreateDumpId(GUID* id);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_DUMP_LIBRARIES_H_
