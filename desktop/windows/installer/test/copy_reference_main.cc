// copy_reference.exe: the file work of the installer's main job done by a plain Windows
// program, for the benchmarks to print beside ours: under Wine, it tells Wine's own cost
// from the installer's.
//
//   copy_reference.exe tree SOURCE TARGET   copies every file below SOURCE to the same place
//                                           below TARGET (folders made as needed), each with
//                                           CopyFileW
//   copy_reference.exe read FILE            reads FILE through, 1 MiB at a time
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

bool CopyTree(const std::wstring& source, const std::wstring& target, Totals* totals) {
  if (!::CreateDirectoryW(target.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    return Fail(L"cannot create", target);
  WIN32_FIND_DATAW entry;
  const HANDLE find = ::FindFirstFileExW((source + L"\\*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE)
    return Fail(L"cannot list", source);
  bool ok = true;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..")
      continue;
    const std::wstring from = source + L"\\" + name;
    const std::wstring to = target + L"\\" + name;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = CopyTree(from, to, totals);
    } else if (::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
      ++totals->files;
      totals->bytes += (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) |
                       entry.nFileSizeLow;
    } else {
      ok = Fail(L"cannot copy", from);
    }
  } while (ok && ::FindNextFileW(find, &entry));
  ::FindClose(find);
  return ok;
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
  if (!((mode == L"tree" && argc == 4) || (mode == L"read" && argc == 3))) {
    fwprintf(stderr, L"usage: copy_reference.exe tree SOURCE TARGET | read FILE\n");
    return 1;
  }
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  Totals totals;
  const bool ok = mode == L"tree" ? CopyTree(argv[2], argv[3], &totals)
                                  : ReadThrough(argv[2], &totals);
  ::QueryPerformanceCounter(&end);
  if (!ok)
    return 1;
  printf("files=%llu bytes=%llu seconds=%.3f\n", totals.files, totals.bytes,
         static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart);
  return 0;
}
