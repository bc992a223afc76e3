#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEXT_CRASH_LOG_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEXT_CRASH_LOG_H_

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/crash_log_info.h"
#include "desktop/windows/crash_reporter/memory_range_set.h"
#include "desktop/windows/crash_reporter/process_state.h"

namespace crash_reporter {

// Writes the human-readable report of one crash to |path| (text mode: CR LF line ends): a
// header with the product and the exception, the metadata of |info|, each thread (the
// crashed one first, at most 499 others) with its registers and the top of its stack, the
// loaded modules, and the memory around every pointer found in registers and on stacks,
// within a budget of 614400 bytes (the crashed thread's pointers are always dumped).
// |ranges| is emptied first and holds the dumped ranges afterwards. False, with the file
// deleted, when a write fails or the process's memory cannot be read at all.
bool WriteTextCrashLog(MemoryRangeSet* ranges,
                       const ProcessState& state,
                       const CrashLogInfo& info,
                       const base::FilePath& path);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEXT_CRASH_LOG_H_
