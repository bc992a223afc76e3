#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ENTRY_PATH_SET_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ENTRY_PATH_SET_H_

#include <map>
#include <string>
#include <string_view>

namespace installer {

// The files and folders that the entries of one archive reach below the destination, named
// as Windows names them: components separated by either slash, each without its trailing
// dots and spaces, compared as the file system compares names (without regard to case).
// So "name." and "name", "A" and "a", and a name given twice reach one file. Names must
// have passed IsSafeArchiveEntryName.
//
//   EntryPathSet paths;
//   paths.Add(L"bin/app.exe", false);    // true; "bin" is a folder from now on
//   paths.Add(L"BIN", true);             // true: entries may name one folder again
//   paths.Add(L"Bin/App.exe. ", false);  // false: that is app.exe again
//   paths.Add(L"bin", false);            // false: a file cannot be where a folder is
//
// A file whose name comes to nothing (".") would be the destination itself: refused too.
class EntryPathSet {
 public:
  EntryPathSet();
  EntryPathSet(const EntryPathSet&) = delete;
  EntryPathSet& operator=(const EntryPathSet&) = delete;
  ~EntryPathSet();

  // Adds the entry |name|, a folder or a file, with the folders it lies in. False when it
  // reaches a file that an entry added before reaches, or a file where an entry added
  // before has a folder, or a folder where one has a file.
  bool Add(std::wstring_view name, bool folder);

 private:
  struct NameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
  };

  // Whether a file (true) or a folder (false) is at each path reached so far.
  std::map<std::wstring, bool, NameLess> paths_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_ENTRY_PATH_SET_H_
