#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_FILE_FILE_IO_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_FILE_FILE_IO_WIN_H_

#include <stddef.h>
#include <stdint.h>

#include <windows.h>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace quillbox {

// File access for the upload bodies. Every failure is logged at ERROR with the system's
// error text where it happens; callers only look at the result.

// Opens an existing file for reading, sharing read and write with others (a crash log may
// still be open in its writer). Invalid, after "CreateFile <path>" is logged, on failure.
base::win::ScopedHandle LoggingOpenFileForRead(const base::FilePath& path);

// Closes |file| (which is left invalid). False, with an ERROR line, when the system refuses.
bool LoggingCloseFile(base::win::ScopedHandle* file);

// Closes |file| and ends the process when the system refuses: for handles whose failed
// close would mean the process's handle table can no longer be trusted.
void CloseFileOrCrash(base::win::ScopedHandle* file);

// Reads until |size| bytes are in |buffer| or the data ends. Returns the count read (less
// than |size| only at the end of a file or a broken pipe), or -1 on a read error, with the
// thread's last error set by the failed read.
int64_t ReadFileFully(HANDLE file, void* buffer, size_t size);

// Reads exactly |size| bytes. False, with an ERROR line, on a read error or when the data
// ends early: a caller never goes on with a partly filled buffer.
bool LoggingReadFileExactly(HANDLE file, void* buffer, size_t size);

}  // namespace quillbox

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_QUILLBOX_UTIL_FILE_FILE_IO_WIN_H_
