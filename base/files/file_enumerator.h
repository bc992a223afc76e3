#ifndef BASE_FILES_FILE_ENUMERATOR_H_
#define BASE_FILES_FILE_ENUMERATOR_H_

#include <windows.h>

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/files/file_path.h"
#include "base/win/scoped_owner.h"

namespace base {

// Lists the files and/or folders below a root folder, "." and ".." excepted.
//
//   FileEnumerator files(dir, true, FileEnumerator::FILES, L"*.dll");
//   for (FilePath path = files.Next(); !path.empty(); path = files.Next()) ...
//
// The pattern ('*' and '?' wild cards, matched by the system as FindFirstFile does) only
// filters the names returned: a recursive enumeration enters every subfolder. The entries
// of a folder come before those of its subfolders; the order within a folder is the
// system's. Folders reached through links (junctions, symbolic links) are returned but not
// entered, so that a link cannot lead out of the tree or into a cycle.
class FileEnumerator {
 public:
  enum FileType {
    FILES = 1,
    DIRECTORIES = 2,
  };

  // What the system reported about one entry.
  class FileInfo {
   public:
    FileInfo();
    explicit FileInfo(const WIN32_FIND_DATAW& find_data);

    bool IsDirectory() const;
    // The entry's name, without its folder.
    FilePath GetName() const;
    int64_t GetSize() const;
    FILETIME GetLastModifiedTime() const { return find_data_.ftLastWriteTime; }
    const WIN32_FIND_DATAW& find_data() const { return find_data_; }

   private:
    WIN32_FIND_DATAW find_data_;
  };

  // |file_type| is a combination of FileType values.
  FileEnumerator(const FilePath& root,
                 bool recursive,
                 int file_type,
                 std::wstring_view pattern = L"*");
  ~FileEnumerator();

  FileEnumerator(const FileEnumerator&) = delete;
  FileEnumerator& operator=(const FileEnumerator&) = delete;

  // The next entry's full path; empty when there are no more.
  FilePath Next();

  // The entry that Next() returned last.
  FileInfo GetInfo() const;

 private:
  // Owns a FindFirstFile handle.
  struct FindHandleTraits : win::OwnerTraitsBase {
    using Value = HANDLE;
    static HANDLE InvalidValue() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE handle) { return handle != INVALID_HANDLE_VALUE; }
    static void Free(HANDLE handle) { ::FindClose(handle); }
  };
  using ScopedFindHandle = win::ScopedOwner<FindHandleTraits>;

  // How the folder being searched is read: once with the pattern for the entries to
  // return, and, when recursive with a pattern other than "*", once more with "*" only to
  // find its subfolders.
  enum class Pass { kMatches, kSubfolders };

  // Starts |pass| over |current_dir_|; false when nothing is found.
  bool StartSearch(Pass pass);
  bool ShouldReturn(const WIN32_FIND_DATAW& data) const;
  bool ShouldEnter(const WIN32_FIND_DATAW& data) const;

  const bool recursive_;
  const int file_type_;
  const std::wstring pattern_;

  std::vector<FilePath> pending_dirs_;
  FilePath current_dir_;
  Pass pass_ = Pass::kMatches;
  ScopedFindHandle find_handle_;
  bool has_find_data_ = false;  // |find_data_| holds an entry not handled yet.
  WIN32_FIND_DATAW find_data_;
  FileInfo current_info_;
};

}  // namespace base

#endif  // BASE_FILES_FILE_ENUMERATOR_H_
