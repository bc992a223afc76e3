// copy_benchmark.exe: the backend's copy of a package's files, as its copy step does it
// (one CopyFileOperation per entry of "files_list" through a journaled Transaction, into a
// subfolder the transaction creates), against the same files copied with CopyFileW one by
// one in the same process, so that the ratio shows our cost over the platform's.
//
//   copy_benchmark.exe SOURCE TARGET [ROUNDS]
//
// SOURCE holds "files_list" and the files it names; TARGET must not exist. The two copies
// alternate for ROUNDS rounds (default 3); the medians and their ratio are printed.

#include <windows.h>
#include <stdio.h>
#include <wchar.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/string_split.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/transactions/undo_journal.h"

namespace {

using Entries = std::vector<std::wstring>;

bool CopyWithCopyFileW(const base::FilePath& source,
                       const base::FilePath& target,
                       const Entries& entries) {
  base::FilePath made;
  for (const std::wstring& entry : entries) {
    const base::FilePath to = target.Append(entry);
    if (to.DirName() != made) {
      if (!base::CreateDirectory(to.DirName()))
        return false;
      made = to.DirName();
    }
    if (!::CopyFileW(source.Append(entry).value().c_str(), to.value().c_str(), TRUE)) {
      fwprintf(stderr, L"CopyFileW %ls: error %lu\n", to.value().c_str(), ::GetLastError());
      return false;
    }
  }
  return true;
}

bool CopyWithTransaction(const base::FilePath& source,
                         const base::FilePath& target,
                         const Entries& entries) {
  if (!base::CreateDirectory(target))
    return false;
  installer::UndoJournal::OpenResult result;
  std::unique_ptr<installer::UndoJournal> journal = installer::UndoJournal::OpenForRun(
      target, base::TimeDelta::FromSeconds(1), nullptr, &result);
  if (!journal)
    return false;
  installer::Transaction transaction;
  transaction.AttachJournal(std::move(journal));
  const base::FilePath subfolder = target.Append(L"subfolder");
  if (!transaction.Do(std::make_unique<installer::CreateFolderOperation>(subfolder)))
    return false;
  for (const std::wstring& entry : entries) {
    if (!transaction.Do(std::make_unique<installer::CopyFileOperation>(
            source.Append(entry), subfolder.Append(entry)))) {
      return false;
    }
  }
  transaction.Commit();
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && argc != 4) {
    fwprintf(stderr, L"usage: copy_benchmark.exe SOURCE TARGET [ROUNDS]\n");
    return 2;
  }
  const base::FilePath source(argv[1]);
  const base::FilePath target(argv[2]);
  const int rounds = argc == 4 ? _wtoi(argv[3]) : 3;
  std::string list;
  if (rounds < 1 || !base::ReadFileToString(source.Append(L"files_list"), &list)) {
    fwprintf(stderr, L"no files list in %ls\n", source.value().c_str());
    return 2;
  }
  Entries entries;
  for (const std::string& entry :
       base::SplitString(list, "\r\n", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
    entries.push_back(base::Utf8ToUtf16(entry));
  }
  std::vector<double> references, ours;
  for (int round = 0; round < rounds; ++round) {
    const base::FilePath reference_target = target.Append(L"reference");
    const base::FilePath our_target = target.Append(L"transaction");
    base::TimeTicks start = base::TimeTicks::Now();
    if (!CopyWithCopyFileW(source, reference_target, entries))
      return 1;
    references.push_back((base::TimeTicks::Now() - start).InSecondsF());
    start = base::TimeTicks::Now();
    if (!CopyWithTransaction(source, our_target, entries)) {
      fwprintf(stderr, L"the transaction's copy failed\n");
      return 1;
    }
    ours.push_back((base::TimeTicks::Now() - start).InSecondsF());
    if (!base::DeletePath(target, true))
      return 1;
  }
  printf("files=%zu rounds=%d\n", entries.size(), rounds);
  printf("CopyFileW one by one:   %.3f s\n", Median(references));
  printf("transaction's copy:     %.3f s\n", Median(ours));
  printf("ratio: %.2f\n", Median(ours) / Median(references));
  return 0;
}
