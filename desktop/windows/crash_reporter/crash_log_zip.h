#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_ZIP_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_ZIP_H_

#include "base/files/file_path.h"

namespace crash_reporter {

// Zips the text crash log at |text_log_path| as the entry "crashlog.txt" (deflate, level
// 9) into a new zip file at |zip_path|. False, with no zip file left behind, when the log
// is empty or unreadable or the zip cannot be written whole.
bool ZipCrashLog(const base::FilePath& text_log_path, const base::FilePath& zip_path);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_ZIP_H_
