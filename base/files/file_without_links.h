#ifndef BASE_FILES_FILE_WITHOUT_LINKS_H_
#define BASE_FILES_FILE_WITHOUT_LINKS_H_

#include "base/files/file_path.h"
#include "base/files/scoped_file.h"
#include "base/win/scoped_handle.h"

namespace base {

// Files that a process with more rights than another user writes into a folder that user
// may change (an elevated process in the user's temporary folder). A link put there (a
// junction or symbolic link in place of a folder of the path or of the file, a hard link in
// place of the file) would have it write where the link leads. So no folder of the path may
// be a link, the folder is held without sharing deletion (nobody renames or replaces it)
// while the file is opened, and the opened file must lie where its path says, under no
// other name.
//
//   win::ScopedHandle log = OpenForAppendingWithoutLinks(folder.Append(L"run.log"));
//   if (!log.IsValid()) ...  // Logged; write elsewhere, never through |folder|.

// |folder| held as above when it is a folder, neither it nor a folder above it is a link,
// and the system resolves it to where its path says. Invalid, logged, otherwise.
win::ScopedHandle HoldFolderWithoutLinks(const FilePath& folder);

// |path| opened for appending (made when missing), sharing reading and writing but not
// deletion, when it and its folders pass the checks above and it has no other name. Invalid
// otherwise, logged, with the last error set (ERROR_CANT_ACCESS_FILE for a link found).
win::ScopedHandle OpenForAppendingWithoutLinks(const FilePath& path);

// |path| made anew for writing, sharing reading only: whatever has the name already (a file,
// a link, another name of a file) is deleted first, which removes the name and never what it
// leads to, and the file is made only as new, in its folder held as above. Invalid, logged,
// with the last error set, otherwise.
win::ScopedHandle CreateNewWithoutLinks(const FilePath& path);
// The same with |access| and |share| for CreateFileW.
win::ScopedHandle CreateNewWithoutLinks(const FilePath& path, DWORD access, DWORD share);

// The two below serve a caller that makes many folders and files below one folder (an
// unpacking): it holds that folder once from HoldFolderWithoutLinks, then every folder it
// makes below from MakeSubfolderWithoutLinks, so each folder is checked once rather than
// once per file. |parent_final_path| is where the held parent lies (GetFinalPath of its
// handle, or the |final_path| given back below).

// |folder| made when missing in its parent, held as above, and checked to be no link and
// to lie at |parent_final_path| plus its name, which |final_path| receives. Invalid, logged,
// with the last error set (ERROR_CANT_ACCESS_FILE for a link found, ERROR_PATH_NOT_FOUND for
// a name that is no folder), otherwise.
win::ScopedHandle MakeSubfolderWithoutLinks(const FilePath& parent_final_path,
                                            const FilePath& folder,
                                            FilePath* final_path);

// |folder| made when missing in its parent (which must exist) and held, both checked as
// HoldFolderWithoutLinks checks them. Invalid, logged, with the last error set
// (ERROR_CANT_ACCESS_FILE for a link found), otherwise.
win::ScopedHandle MakeFolderWithoutLinks(const FilePath& folder);

// |path| made anew as CreateNewWithoutLinks makes it, with |access|, |share| and
// |flags_and_attributes| for CreateFileW, in its parent held as above. A file made that
// turns out to lie elsewhere, or to have other names, is removed through its handle (never
// by a path) and ERROR_CANT_ACCESS_FILE is the last error.
win::ScopedHandle CreateNewInHeldFolder(const FilePath& parent_final_path,
                                        const FilePath& path,
                                        DWORD access,
                                        DWORD share,
                                        DWORD flags_and_attributes);

// Copies the file |from| to |to| made as CreateNewWithoutLinks makes it. False, logged, when
// |from| cannot be read or |to| cannot be made or written.
bool CopyToNewFileWithoutLinks(const FilePath& from, const FilePath& to);

// A C runtime stream on |file| (from the functions above) in |mode| ("w", "wb", "a", ...),
// which owns the handle from then on. Null, with the handle closed, when the runtime cannot
// take it.
ScopedFILE StreamOf(win::ScopedHandle file, const char* mode);

}  // namespace base

#endif  // BASE_FILES_FILE_WITHOUT_LINKS_H_
