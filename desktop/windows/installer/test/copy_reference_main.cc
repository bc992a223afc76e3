// copy_reference.exe: the file work of the installer's main job done by a plain Windows
// program, for the benchmarks to print beside ours: under Wine, it tells Wine's own cost
// from the installer's.
//
//   copy_reference.exe tree SOURCE TARGET   copies every file below SOURCE to the same place
//                                           below TARGET (folders made as needed), each with
//                                           CopyFileW
//   copy_reference.exe read FILE            reads FILE through, 1 MiB at a time
//   copy_reference.exe delete FOLDER        deletes FOLDER with everything in it, each file
//                                           with DeleteFileW, each folder after its contents
//
// Prints "files=N bytes=N seconds=S" (S: the time inside the process); exit code 0, or 1
// with the failure on standard error.

#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

struct Totals {
  unsigned long long files = 0;
  unsigned long long bytes = 0;
};

bool Fail(const wchar_t* what, const std::wstring& path) {
  fwprintf(stderr, L"%ls %ls: error %lu\n", what, path.c_str(), ::GetLastError());
  return false;
}

// Calls |visit|(entry, name) for each entry of |folder| but "." and "..", in the order the
// system lists them, until one returns false; false then, or when |folder| cannot be listed.
template <typename Visit>
bool ForEachEntry(const std::wstring& folder, Visit visit) {
  WIN32_FIND_DATAW entry;
  const HANDLE find = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE)
    return Fail(L"cannot list", folder);
  bool ok = true;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..")
      ok = visit(entry, name);
  } while (ok && ::FindNextFileW(find, &entry));
  ::FindClose(find);
  return ok;
}

bool CopyTree(const std::wstring& source, const std::wstring& target, Totals* totals) {
  if (!::CreateDirectoryW(target.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    return Fail(L"cannot create", target);
  return ForEachEntry(source, [&](const WIN32_FIND_DATAW& entry, const std::wstring& name) {
    const std::wstring from = source + L"\\" + name;
    const std::wstring to = target + L"\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      return CopyTree(from, to, totals);
    if (!::CopyFileW(from.c_str(), to.c_str(), FALSE))
      return Fail(L"cannot copy", from);
    ++totals->files;
    totals->bytes +=
        (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    return true;
  });
}

bool DeleteTree(const std::wstring& folder, Totals* totals) {
  const bool ok =
      ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry, const std::wstring& name) {
        const std::wstring path = folder + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          return DeleteTree(path, totals);
        if (!::DeleteFileW(path.c_str()))
          return Fail(L"cannot delete", path);
        ++totals->files;
        return true;
      });
  return ok && (::RemoveDirectoryW(folder.c_str()) || Fail(L"cannot delete", folder));
}

bool ReadThrough(const std::wstring& path, Totals* totals) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return Fail(L"cannot open", path);
  std::vector<char> buffer(1 << 20);
  DWORD read = 0;
  bool ok = true;
  while ((ok = ::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                          nullptr) != FALSE) &&
         read > 0) {
    totals->bytes += read;
  }
  if (!ok)
    Fail(L"cannot read", path);
  ::CloseHandle(file);
  totals->files = 1;
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (!((mode == L"tree" && argc == 4) || ((mode == L"read" || mode == L"delete") && argc == 3))) {
    fwprintf(stderr, L"usage: copy_reference.exe tree SOURCE TARGET | read FILE | delete FOLDER\n");
    return 1;
  }
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  Totals totals;
  const bool ok = mode == L"tree"     ? CopyTree(argv[2], argv[3], &totals)
                  : mode == L"delete" ? DeleteTree(argv[2], &totals)
                                      : ReadThrough(argv[2], &totals);
  ::QueryPerformanceCounter(&end);
  if (!ok)
    return 1;
  printf("files=%llu bytes=%llu seconds=%.3f\n", totals.files, totals.bytes,
         static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
  return 0;
}
