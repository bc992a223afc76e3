#ifndef BASE_FILES_FILE_UTIL_H_
#define BASE_FILES_FILE_UTIL_H_

// <windows.h> is included on purpose: it defines CreateDirectory as a macro, and every
// user of this header must see the same (expanded) name as its definition.
#include <windows.h>

#include <stdint.h>

#include <string>
#include <string_view>

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace base {

// Paths of MAX_PATH (260) characters or more are refused by the plain Win32 file calls.
constexpr size_t kMaxPathLength = MAX_PATH;
// CreateDirectory needs room for an 8.3 file name below the folder.
constexpr size_t kMaxDirectoryPathLength = 248;

bool PathExists(const FilePath& path);
bool DirectoryExists(const FilePath& path);

// Creates |path| and any missing parents. An existing folder is success; a file in the
// way is failure.
bool CreateDirectory(const FilePath& path);

// True when the folder exists and can be opened for adding files.
bool CanCreateFilesInDirectory(const FilePath& path);

// Deletes a file or folder. An empty or missing path counts as deleted; a path of
// kMaxPathLength characters or more fails. A folder is emptied and removed only when
// |recursive| (otherwise only an empty folder goes). Read-only files and folders are
// deleted too. A recursive delete is DeleteOpenFolder: it does not follow links to other
// folders (junctions and symbolic links), the link itself is removed, not even one put in
// the place of a folder while the delete runs.
bool DeletePath(const FilePath& path, bool recursive);

// The folder |path| opened for DeleteOpenFolder, without following a link at |path|: the
// handle does not share deletion, so that nobody can rename or delete the folder until it
// is closed. Invalid, logged, when |path| is no folder of its own (a link, a file) or
// cannot be opened (not found is logged at verbose level only).
win::ScopedHandle OpenFolderForDeletion(const FilePath& path);

// Where the open file or folder |handle| lies as the system resolves it (full, with long
// names, the links on the way followed), without the "\\?\" prefix ("\\?\UNC\" becomes
// "\\"). Empty, logged, when the system cannot tell.
FilePath GetFinalPath(HANDLE handle);

// Deletes the folder that |folder| (from OpenFolderForDeletion) holds, with everything in
// it, where the handle leads: every folder below is held the same way while what is in it
// goes, and must lie where the listing of its parent names it; a link (a junction, a
// symbolic link) is removed itself, never followed. Goes on after a failure; false when
// anything stayed (or |folder| is invalid).
bool DeleteOpenFolder(win::ScopedHandle folder);

// As DeletePath(path, true), with the files removed by |threads| threads (the caller's
// among them) before the folders: for large trees, where each deletion mostly waits on
// the system. Returns when all is done.
bool DeletePathOnThreads(const FilePath& path, int threads);

// Moves a file or folder, replacing an existing target file. Refuses paths that refer to
// a parent (".."). A file is copied and then deleted when the target is on another
// volume.
bool MovePath(const FilePath& from, const FilePath& to);

// Copies one file, overwriting |to| even when it is read-only; the copy is never left
// read-only.
bool CopySingleFile(const FilePath& from, const FilePath& to);

// Reads the whole file into |contents| (which may be null to only check that it reads).
bool ReadFileToString(const FilePath& path, std::string* contents);

// Reads up to |size| bytes from the start of the file in one call (sharing read and write
// with others). Returns the number of bytes read or -1.
int ReadFileToBuffer(const FilePath& path, char* buffer, int size);

// Creates or truncates the file and writes |size| bytes. Returns |size| or -1.
int WriteFileFromBuffer(const FilePath& path, const char* data, int size);

// Appends to an existing file. False, with an error log, when the file cannot be opened
// or written.
bool AppendToFile(const FilePath& path, const char* data, int size);

bool GetFileSize(const FilePath& path, int64_t* size);

// Creates a new, uniquely named, empty file in |dir| and returns its long path.
bool CreateTemporaryFileInDir(const FilePath& dir, FilePath* temp_file);
// The same in GetTempDir().
bool CreateTemporaryFile(FilePath* temp_file);

// The system's temporary folder without trailing separators. False when the system's
// answer is empty or kMaxPathLength characters or longer.
bool GetTempDir(FilePath* path);

// Creates a new, uniquely named folder (|prefix| followed by a unique suffix) in
// GetTempDir().
bool CreateNewTempDirectory(std::wstring_view prefix, FilePath* new_dir);

// |path| resolved against the current folder, "." and ".." removed (the path need not
// exist). False when the system cannot resolve it.
bool MakeAbsoluteFilePath(const FilePath& path, FilePath* absolute);

// The long form of |path|, which must exist: every short (8.3) name replaced by the long
// one. False when the system cannot give it.
bool MakeLongFilePath(const FilePath& path, FilePath* long_path);

// Not empty, shorter than kMaxDirectoryPathLength characters for a folder or
// kMaxPathLength for a file, and of the form "X:\..." or "\\server\share...".
bool IsValidPath(const FilePath& path, bool is_directory);

// Whether Windows takes the name |name| (one component of a path) for a device, whatever
// extension follows: "CON", "nul.txt", "Com1 .log", "LPT\u00B9", ...
bool IsDeviceName(std::wstring_view name);

// Whether |name| (one component of a path) names a file or folder exactly as written: not
// empty, not ending in a dot or a space (which Windows drops), free of the characters that
// a name cannot hold ('<', '>', ':', '"', '/', '\\', '|', '?', '*', control characters),
// and no device name.
bool IsPlainFileName(std::wstring_view name);

}  // namespace base

#endif  // BASE_FILES_FILE_UTIL_H_
