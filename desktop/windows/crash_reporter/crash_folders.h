#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_FOLDERS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_FOLDERS_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"
#include "base/files/scoped_file.h"
#include "base/win/scoped_handle.h"

namespace crash_reporter {

// Where a crash reporter process writes: set once by PrepareCrashFolders at its start,
// read by every crash it handles (any thread).

// Chooses the folders: the "user-data-dir" switch (path key 1002), the crash counts,
// preference and crash GUID record paths (path keys 2015, 2017 and 2016; empty when no
// provider answers), and the crash log folder: "TAVRO_CRASH_LOG_DIR" when that folder
// exists or can be made (a custom folder, which then also holds the GUID records), else
// the temporary folder. A process the installer started elevated (IsElevatedRun) ignores the
// variable and the temporary folder: it writes into GetElevatedLogFolder. Another process
// whose token is elevated (a run the user elevated by hand) uses the variable's folder or
// the temporary folder only when no link leads there (base::HoldFolderWithoutLinks), and
// otherwise GetElevatedLogFolder too. False only when no folder is available.
bool PrepareCrashFolders();

base::FilePath GetCrashLogFolder();

// |path|, a crash file (full, or relative to the current folder, which is the crash folder
// in a reporter), opened with |mode| as _wfopen would: made anew ("w", "wb", "wt") or
// appended to ("a", "ab"). A process that takes the user's folders only through no link (see
// PrepareCrashFolders) opens it so too (base/files/file_without_links.h), never over a link
// or another name of a file. Null, logged, when it cannot be opened.
base::ScopedFILE OpenCrashFile(const base::FilePath& path, const char* mode);

// The same for a writer that needs a handle: |path| made anew for writing, sharing reading.
// Invalid, logged, when it cannot be made.
base::win::ScopedHandle CreateCrashFile(const base::FilePath& path);
base::FilePath GetCrashCountsPath();
base::FilePath GetPreferencesPath();
// Whether "TAVRO_CRASH_LOG_DIR" gave the crash log folder.
bool IsCustomCrashFolder();

// The next crash of this process: 1 for the first, atomically.
uint32_t NextCrashSequenceNumber();

// "<product>-crashlog-<pid>-<sequence number>.txt" and the same with ".dmp"; relative, so
// that they land in the current folder (the crash log folder of a crash server).
std::string GetCrashTextLogName(uint32_t sequence_number);
std::string GetCrashDumpName(uint32_t sequence_number);

// The file that records a crash's GUID: in a custom folder one file per crash (process id
// and sequence number before the extension). Empty when nothing provides the record's
// path: no record is written then.
base::FilePath GetCrashGuidRecordPath(uint32_t sequence_number);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_FOLDERS_H_
