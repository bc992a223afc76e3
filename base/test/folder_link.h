#ifndef BASE_TEST_FOLDER_LINK_H_
#define BASE_TEST_FOLDER_LINK_H_

#include <string>

#include "base/files/file_path.h"

namespace base {
namespace test {

// A symbolic link to a folder, one the file system reports as a reparse point and follows,
// removed again when the object goes: made through CreateSymbolicLinkW where the system
// makes one, else, under Wine (whose Windows calls make none, and remove none), as a
// symbolic link of the Unix folder below.
//
//   ScopedFolderLink link;
//   if (!link.Make(folder.Append(L"link"), elsewhere))
//     GTEST_SKIP() << "Folder links cannot be made here";
class ScopedFolderLink {
 public:
  ScopedFolderLink();
  ScopedFolderLink(const ScopedFolderLink&) = delete;
  ScopedFolderLink& operator=(const ScopedFolderLink&) = delete;
  ~ScopedFolderLink();

  // Makes |link| lead to |target|. False when it cannot be made here: a test then has
  // nothing to observe. One link per object.
  bool Make(const FilePath& link, const FilePath& target);

 private:
  FilePath link_;
  // The Unix link's path, when it is one.
  std::wstring unix_link_;
};

}  // namespace test
}  // namespace base

#endif  // BASE_TEST_FOLDER_LINK_H_
