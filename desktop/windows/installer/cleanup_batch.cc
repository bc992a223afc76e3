#include "desktop/windows/installer/cleanup_batch.h"

#include <windows.h>

#include <set>
#include <utility>

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/owned_path.h"
#include "desktop/windows/installer/service/protected_folder.h"
#include "desktop/windows/installer/temporary_folder_records.h"

namespace installer {

const wchar_t kCleanupBatchName[] = L"k.bat";

namespace {

constexpr char kDeletePrefix[] = "del ";

// |text| in the OEM code page when every character has its own form there: a best-fit
// stand-in would name another file.
bool ToOemExactly(const std::wstring& text, std::string* oem) {
  if (text.empty()) {
    oem->clear();
    return true;
  }
  const UINT code_page = ::GetOEMCP();
  // UTF-8 has a form for every character, and takes no best-fit flags.
  const DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int length = static_cast<int>(text.size());
  const int size =
      ::WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return false;
  std::string result(size, '\0');
  if (::WideCharToMultiByte(code_page, flags, text.data(), length, &result[0], size, nullptr,
                            nullptr) != size) {
    return false;
  }
  // The way back shows any character that had to be replaced.
  std::wstring back(text.size() + 1, L'\0');
  const int back_size = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, result.data(), size,
                                              &back[0], static_cast<int>(back.size()));
  if (back_size != length || back.compare(0, text.size(), text) != 0)
    return false;
  *oem = std::move(result);
  return true;
}

std::wstring FromOem(const std::string& text) {
  if (text.empty())
    return std::wstring();
  const int size =
      ::MultiByteToWideChar(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(size > 0 ? size : 0, L'\0');
  if (size > 0) {
    ::MultiByteToWideChar(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), &result[0],
                          size);
  }
  return result;
}

// A quoted argument of a batch line: "%" is the only character the interpreter still reads
// between double quotes (a name cannot hold a double quote).
std::string Quoted(const std::string& path_text) {
  return "\"" + path_text + "\"";
}

// The system folder, from the system and never from the environment; empty, logged, when
// the system cannot say.
base::FilePath GetSystemFolder() {
  wchar_t system_folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system_folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    PLOG(ERROR) << "GetSystemDirectory failed";
    return base::FilePath();
  }
  return base::FilePath(std::wstring(system_folder, length));
}

// The batch's programs by their full paths in the system folder: named bare, the
// interpreter would first take a "tasklist.bat" or "find.exe" of the folder it runs in.
struct BatchPrograms {
  std::string tasklist;
  std::string find;
  std::string ping;
};

bool GetBatchPrograms(BatchPrograms* programs) {
  const base::FilePath system_folder = GetSystemFolder();
  std::string folder_text;
  if (system_folder.empty() || !ToBatchPathText(system_folder, &folder_text)) {
    LOG(ERROR) << "The clean-up batch cannot name the system folder " << system_folder;
    return false;
  }
  programs->tasklist = Quoted(folder_text + "\\TASKLIST.EXE");
  programs->find = Quoted(folder_text + "\\FIND.EXE");
  programs->ping = Quoted(folder_text + "\\ping.exe");
  return true;
}

// Runs |command| with a hidden window, not waited for, through the command interpreter of
// the system folder, in |working_folder|. Batches are named relatively there, so that no
// path passes through the interpreter's expansion of "%".
bool RunInterpreter(const base::FilePath& working_folder, const std::wstring& command) {
  const base::FilePath system_folder = GetSystemFolder();
  if (system_folder.empty())
    return false;
  const base::FilePath interpreter = system_folder.Append(L"cmd.exe");
  base::LaunchOptions options;
  options.start_hidden = true;
  options.current_directory = working_folder;
  // The interpreter looks for a program named without a folder in its working folder first,
  // unless told not to; and it starts each side of a pipe, and any inner interpreter, through
  // "ComSpec", which is taken from the system folder here, not from the user's environment.
  options.environment = {{L"NoDefaultCurrentDirectoryInExePath", L"1"},
                         {L"ComSpec", interpreter.value()}};
  // No AutoRun commands, no delayed expansion of "!": the batch runs as it was written.
  const base::Process process = base::LaunchProcess(
      L"\"" + interpreter.value() + L"\" /d /s /v:off /c \"" + command + L"\"", options);
  if (!process.IsValid()) {
    LOG(ERROR) << "Cannot start the clean-up batch with " << command;
    return false;
  }
  return true;
}

}  // namespace

bool ToBatchPathText(const base::FilePath& path, std::string* text) {
  std::string oem;
  if (!ToOemExactly(path.value(), &oem)) {
    wchar_t short_path[MAX_PATH + 1] = {};
    const DWORD length = ::GetShortPathNameW(path.value().c_str(), short_path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH || !ToOemExactly(std::wstring(short_path, length), &oem))
      return false;
  }
  text->clear();
  for (const char c : oem) {
    text->push_back(c);
    if (c == '%')
      text->push_back('%');
  }
  return true;
}

std::string MakeCleanupBatch(const std::vector<uint32_t>& pids,
                             const base::FilePath& install_folder,
                             const std::vector<base::FilePath>& files_left) {
  BatchPrograms programs;
  if (!GetBatchPrograms(&programs))
    return std::string();
  // Each process by its place: 1 this installer, 2 the front end, 3 the other installer.
  std::vector<std::pair<int, uint32_t>> waited;
  for (size_t i = 0; i < pids.size(); ++i) {
    if (pids[i] != 0)
      waited.push_back({static_cast<int>(i) + 1, pids[i]});
  }
  std::string batch;
  for (const auto& [number, pid] : waited)
    batch += base::StringPrintf("SET PID%d_RUNNING=TRUE\n", number);
  batch += ":again\n";
  for (const auto& [number, pid] : waited) {
    batch += base::StringPrintf(
        "IF %%PID%d_RUNNING%%==TRUE (\n"
        "%s /FI \"PID eq %u\" | %s /c /i \".exe\"\n"
        "IF ERRORLEVEL 1 SET PID%d_RUNNING=FALSE\n"
        ")\n",
        number, programs.tasklist.c_str(), pid, programs.find.c_str(), number);
  }
  batch += programs.ping + " -n 2 127.0.0.1\n";
  for (const auto& [number, pid] : waited)
    batch += base::StringPrintf("IF %%PID%d_RUNNING%%==TRUE GOTO :again\n", number);

  // The folders that held what is left, up to the install folder; not any folder above it,
  // which is not the installation's even when it is empty.
  std::set<std::wstring> folders;
  for (const base::FilePath& file : files_left) {
    std::string text;
    if (!ToBatchPathText(file, &text)) {
      LOG(ERROR) << "The clean-up batch cannot name " << file << ": it stays";
      continue;
    }
    batch += kDeletePrefix + Quoted(text) + "\n";
    for (base::FilePath folder = file.DirName();
         folder == install_folder || install_folder.IsParent(folder); folder = folder.DirName()) {
      folders.insert(folder.value());
      if (folder == install_folder)
        break;
    }
  }
  // Deeper folders sort after their parents: removed first.
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    std::string text;
    if (ToBatchPathText(base::FilePath(*it), &text))
      batch += "rmdir " + Quoted(text) + "\n";
  }
  batch += "del %0\n";
  return batch;
}

std::vector<base::FilePath> ReadCleanupBatchFiles(const std::string& text) {
  std::vector<base::FilePath> files;
  for (const std::string& line :
       base::SplitString(text, "\n", base::TRIM_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
    const std::string start = kDeletePrefix + std::string("\"");
    if (line.size() <= start.size() || line.compare(0, start.size(), start) != 0 ||
        line.back() != '"') {
      continue;
    }
    const std::string quoted = line.substr(start.size(), line.size() - start.size() - 1);
    std::string path;
    for (size_t i = 0; i < quoted.size(); ++i) {
      path.push_back(quoted[i]);
      // A "%" stands doubled; a single one is no path the batch wrote.
      if (quoted[i] == '%' && (++i >= quoted.size() || quoted[i] != '%')) {
        path.clear();
        break;
      }
    }
    if (!path.empty() && path.find('"') == std::string::npos)
      files.push_back(base::FilePath(FromOem(path)));
  }
  return files;
}

bool StartCleanupBatch(const base::FilePath& batch) {
  return RunInterpreter(batch.DirName(), L"\".\\" + batch.BaseName().value() + L"\"");
}

bool RenameForProtectedDeletion(const base::FilePath& file, base::FilePath* renamed) {
  base::File held(file, base::File::FLAG_OPEN | base::File::FLAG_READ |
                            base::File::FLAG_CAN_RENAME | base::File::FLAG_OPEN_LINK);
  if (!held.IsValid()) {
    ELOG(WARNING, held.error_details()) << "Cannot open " << file << " to delete it: it stays";
    return false;
  }
  FILE_BASIC_INFO information = {};
  if (!::GetFileInformationByHandleEx(held.GetPlatformFile(), FileBasicInfo, &information,
                                      sizeof(information))) {
    PLOG(WARNING) << "Cannot read what " << file << " is: it stays";
    return false;
  }
  const base::FilePath final_path = base::GetFinalPath(held.GetPlatformFile());
  if ((information.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
      !IsSamePath(final_path, file)) {
    LOG(WARNING) << "Not deleting " << file << ": it leads to " << final_path;
    return false;
  }
  const base::FilePath target = file.DirName().Append(
      L"~tavro_deleted_" + base::AsciiToUtf16(base::Uint64ToString(base::RandUint64())) + L".tmp");
  if (!held.Rename(target)) {
    LOG(WARNING) << file << " cannot be renamed to delete it: it stays";
    return false;
  }
  *renamed = target;
  return true;
}

bool StartProtectedCleanupBatch(const std::string& text) {
  if (text.empty()) {
    LOG(ERROR) << "No clean-up batch to start";
    return false;
  }
  base::FilePath folder;
  if (!CreateRecordedTemporaryFolder(kCleanupFolderPrefix, Readers::kAdminsOnly, &folder))
    return false;
  const base::FilePath batch = folder.Append(kCleanupBatchName);
  bool complete = false;
  {
    // Made inside the new folder, it takes the folder's access list.
    base::win::ScopedHandle file(::CreateFileW(batch.value().c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    complete =
        file.IsValid() &&
        ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    if (!complete)
      PLOG(ERROR) << "Cannot write " << batch;
  }
  // The batch deletes itself last and runs in an inner interpreter, in the new folder; the
  // outer one works in the folder's parent from its start, so that neither it nor the
  // console it may open for itself ever holds the new folder as its working folder, and
  // removes the emptied folder once the inner one has ended with all its handles. The inner
  // interpreter is named by "ComSpec", set from the system folder, and the folder by its own
  // name, so that no path passes through the expansion of "%".
  const std::wstring name = folder.BaseName().value();
  if (!complete ||
      !RunInterpreter(folder.DirName(), L"\"%ComSpec%\" /d /s /v:off /c \"cd \"" + name +
                                            L"\" && \".\\" + batch.BaseName().value() +
                                            L"\"\" & rmdir \"" + name + L"\"")) {
    base::DeletePath(batch, false);
    if (::RemoveDirectoryW(folder.value().c_str()))
      ForgetTemporaryFolder(folder);
    return false;
  }
  // The batch removes the folder, after this process has ended: the record must not let a
  // later run take the folder from under the batch.
  ForgetTemporaryFolder(folder);
  return true;
}

}  // namespace installer
