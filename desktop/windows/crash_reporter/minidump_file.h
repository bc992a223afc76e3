#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MINIDUMP_FILE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MINIDUMP_FILE_H_

#include <windows.h>
#include <stdint.h>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/client_exception_record.h"

namespace crash_reporter {

// Minidump files of a crashed process, written through the system's debug-help library
// with a size limit: a dump with indirectly referenced memory first, a normal one when
// that is too large. Besides the system's streams a dump holds the product's version and
// build number (stream 0x10000) and, for an invalid-parameter call, the record's assertion
// block (stream 0x10001). Every writer returns false, with the file removed, when no dump
// within the limit could be written; errors are logged.

// Size limits of the crash reporter.
constexpr uint64_t kClientMinidumpSizeLimit = 3072000;
constexpr uint64_t kReporterMinidumpSizeLimit = 512000;

// |process| needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ; the record's pointers are
// addresses in that process.
bool WriteMinidumpFile(HANDLE process,
                       DWORD pid,
                       const ClientExceptionRecord& record,
                       const base::FilePath& path,
                       uint64_t size_limit);

// The dump of a client of the crash server: the crashing thread's id, its exception
// pointers and (when |assertion_address| is not 0) its assertion block are read from
// those addresses in the client.
bool WriteClientMinidump(DWORD pid,
                         uint64_t thread_id_address,
                         uint64_t exception_pointers_address,
                         uint64_t assertion_address,
                         const base::FilePath& path,
                         uint64_t size_limit);

// The dump of a crashed crash reporter, whose ClientExceptionRecord lies at
// |record_address| in it.
bool WriteMinidumpFromRecord(DWORD pid,
                             uint64_t record_address,
                             const base::FilePath& path,
                             uint64_t size_limit);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MINIDUMP_FILE_H_
