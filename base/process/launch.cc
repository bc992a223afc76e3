#include "base/process/launch.h"

#include <wchar.h>

#include <algorithm>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/process/launch_lock.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_owner.h"

namespace base {

namespace {

// Starts of one process tried when Wine fails them with an internal error (see below).
constexpr int kStartAttempts = 3;

// Frees the block of GetEnvironmentStringsW.
struct EnvironmentStringsTraits : win::NullIsInvalid<wchar_t*> {
  static void Free(wchar_t* strings) { ::FreeEnvironmentStringsW(strings); }
};
using ScopedEnvironmentStrings = win::ScopedOwner<EnvironmentStringsTraits>;

// The name of a "name=value" entry. Entries such as "=C:=C:\dir" have names that start
// with '='.
std::wstring_view EntryName(std::wstring_view entry) {
  const size_t equals = entry.find(L'=', 1);
  return entry.substr(0, equals == std::wstring_view::npos ? entry.size() : equals);
}

int CompareNamesIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE);
}

// This process's environment with |changes| applied, as a block for CreateProcessW: entries
// sorted by name without regard to case, each ending with a NUL, then one more NUL.
std::wstring MakeEnvironmentBlock(
    const std::vector<std::pair<std::wstring, std::wstring>>& changes) {
  std::vector<std::wstring> entries;
  ScopedEnvironmentStrings current(::GetEnvironmentStringsW());
  for (const wchar_t* entry = current.Get(); entry && *entry; entry += wcslen(entry) + 1)
    entries.emplace_back(entry);

  for (const auto& change : changes) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&change](const std::wstring& entry) {
                                   return CompareNamesIgnoringCase(EntryName(entry),
                                                                   change.first) == CSTR_EQUAL;
                                 }),
                  entries.end());
    if (!change.second.empty())
      entries.push_back(change.first + L"=" + change.second);
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const std::wstring& a, const std::wstring& b) {
                     return CompareNamesIgnoringCase(EntryName(a), EntryName(b)) ==
                            CSTR_LESS_THAN;
                   });

  std::wstring block;
  for (const std::wstring& entry : entries) {
    block += entry;
    block.push_back(L'\0');
  }
  if (entries.empty())
    block.push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

// |handle| itself when it is inheritable, otherwise an inheritable copy kept in |copy| (the
// caller holds the launch lock until the copy is closed). Null when |handle| is not a
// usable handle.
HANDLE MakeInheritable(HANDLE handle, win::ScopedHandle* copy) {
  DWORD flags = 0;
  if (!win::HandleTraits::IsValid(handle) || !::GetHandleInformation(handle, &flags))
    return nullptr;
  if (flags & HANDLE_FLAG_INHERIT)
    return handle;
  HANDLE duplicate = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &duplicate, 0,
                         TRUE, DUPLICATE_SAME_ACCESS)) {
    PLOG(ERROR) << "DuplicateHandle failed for standard handle " << handle;
    return nullptr;
  }
  copy->Set(duplicate);
  return duplicate;
}

// Owns an initialised process-thread attribute list.
class ProcThreadAttributeList {
 public:
  ProcThreadAttributeList() = default;
  ~ProcThreadAttributeList() {
    if (initialized_)
      ::DeleteProcThreadAttributeList(get());
  }
  ProcThreadAttributeList(const ProcThreadAttributeList&) = delete;
  ProcThreadAttributeList& operator=(const ProcThreadAttributeList&) = delete;

  bool Initialize(DWORD attribute_count) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, attribute_count, 0, &size);
    // The list holds pointers: keep it pointer-aligned.
    storage_.resize((size + sizeof(void*) - 1) / sizeof(void*));
    if (!::InitializeProcThreadAttributeList(get(), attribute_count, 0, &size))
      return false;
    initialized_ = true;
    return true;
  }

  LPPROC_THREAD_ATTRIBUTE_LIST get() {
    return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
  }

 private:
  std::vector<void*> storage_;
  bool initialized_ = false;
};

}  // namespace

Process LaunchProcess(const CommandLine& command_line, const LaunchOptions& options) {
  return LaunchProcess(command_line.GetCommandLineString(), options);
}

Process LaunchProcess(std::wstring_view command_line, const LaunchOptions& options) {
  // CreateProcessW may write into the command line: each attempt gets a copy of this.
  const std::wstring command_line_text(command_line);

  std::wstring environment_block;
  if (!options.environment.empty())
    environment_block = MakeEnvironmentBlock(options.environment);

  STARTUPINFOEXW startup_info = {};
  startup_info.StartupInfo.cb = sizeof(STARTUPINFOW);
  if (options.start_hidden) {
    startup_info.StartupInfo.dwFlags |= STARTF_USESHOWWINDOW;
    startup_info.StartupInfo.wShowWindow = SW_HIDE;
  }
  DWORD flags = options.creation_flags;
  if (options.job_handle)
    flags |= CREATE_SUSPENDED;
  if (!environment_block.empty())
    flags |= CREATE_UNICODE_ENVIRONMENT;

  PROCESS_INFORMATION process_info = {};
  BOOL created = FALSE;
  DWORD error = ERROR_SUCCESS;
  {
    // Declared first so that the inheritable copies below are closed before it is released.
    AutoLaunchLock launch_lock(GetLaunchLock());
    win::ScopedHandle std_copies[3];

    std::vector<HANDLE> inherited;
    if (options.stdin_handle || options.stdout_handle || options.stderr_handle) {
      const HANDLE std_handles[3] = {
          options.stdin_handle ? options.stdin_handle : ::GetStdHandle(STD_INPUT_HANDLE),
          options.stdout_handle ? options.stdout_handle : ::GetStdHandle(STD_OUTPUT_HANDLE),
          options.stderr_handle ? options.stderr_handle : ::GetStdHandle(STD_ERROR_HANDLE)};
      HANDLE inheritable[3];
      for (int i = 0; i < 3; ++i) {
        inheritable[i] = MakeInheritable(std_handles[i], &std_copies[i]);
        if (inheritable[i])
          inherited.push_back(inheritable[i]);
      }
      startup_info.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
      startup_info.StartupInfo.hStdInput = inheritable[0];
      startup_info.StartupInfo.hStdOutput = inheritable[1];
      startup_info.StartupInfo.hStdError = inheritable[2];
    }
    for (HANDLE handle : options.handles_to_inherit) {
      if (win::HandleTraits::IsValid(handle))
        inherited.push_back(handle);
    }
    // The system refuses a list that names a handle twice.
    std::sort(inherited.begin(), inherited.end());
    inherited.erase(std::unique(inherited.begin(), inherited.end()), inherited.end());

    ProcThreadAttributeList attributes;
    if (!inherited.empty()) {
      if (!attributes.Initialize(1) ||
          !::UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                       inherited.data(), inherited.size() * sizeof(HANDLE),
                                       nullptr, nullptr)) {
        PLOG(ERROR) << "Cannot make the list of handles to inherit";
        return Process();
      }
      startup_info.StartupInfo.cb = sizeof(startup_info);
      startup_info.lpAttributeList = attributes.get();
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }

    // Under Wine, CreateProcess now and then fails with ERROR_INTERNAL_ERROR when the new
    // process dies before its start-up is done (seen on loaded machines); none of its code
    // ran, so the start is tried again. Windows does not fail a start that way.
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
      std::wstring writable_command_line = command_line_text;
      created = ::CreateProcessW(
          nullptr, &writable_command_line[0], nullptr, nullptr, !inherited.empty(), flags,
          environment_block.empty() ? nullptr : &environment_block[0],
          options.current_directory.empty() ? nullptr : options.current_directory.value().c_str(),
          &startup_info.StartupInfo, &process_info);
      error = ::GetLastError();
      if (created || error != ERROR_INTERNAL_ERROR)
        break;
      LOG(WARNING) << "Starting " << command_line
                   << " failed with an internal error; trying again";
    }
  }
  if (!created) {
    ELOG(ERROR, error) << "CreateProcess failed for " << command_line;
    // The caller reads why, whatever closing the inheritable copies left behind.
    ::SetLastError(error);
    return Process();
  }
  win::ScopedHandle thread(process_info.hThread);
  Process process(process_info.hProcess);
  if (options.job_handle) {
    if (!::AssignProcessToJobObject(options.job_handle, process.Handle())) {
      PLOG(ERROR) << "AssignProcessToJobObject failed for " << command_line;
      ::TerminateProcess(process.Handle(), 1);
      return Process();
    }
    if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
      PLOG(ERROR) << "ResumeThread failed for " << command_line;
      ::TerminateProcess(process.Handle(), 1);
      return Process();
    }
  }
  if (options.wait && !process.WaitForExit(nullptr))
    LOG(ERROR) << "Cannot wait for process " << process_info.dwProcessId;
  return process;
}

bool GetAppOutput(const CommandLine& command_line, std::string* output) {
  return GetAppOutput(command_line.GetCommandLineString(), output);
}

bool GetAppOutput(std::wstring_view command_line, std::string* output) {
  return GetAppOutputWithOptions(command_line, LaunchOptions(), false, output, nullptr);
}

bool GetAppOutputWithOptions(std::wstring_view command_line,
                             const LaunchOptions& options,
                             bool include_stderr,
                             std::string* output,
                             DWORD* exit_code) {
  output->clear();
  // Neither end is inheritable: LaunchProcess gives the child an inheritable copy of the
  // write end under the launch lock, so no other child can get hold of it.
  HANDLE read_handle = nullptr;
  HANDLE write_handle = nullptr;
  if (!::CreatePipe(&read_handle, &write_handle, nullptr, 0)) {
    PLOG(ERROR) << "CreatePipe failed";
    return false;
  }
  win::ScopedHandle read_end(read_handle);
  win::ScopedHandle write_end(write_handle);

  LaunchOptions child_options = options;
  child_options.wait = false;
  child_options.stdout_handle = write_end.Get();
  if (include_stderr)
    child_options.stderr_handle = write_end.Get();
  Process process = LaunchProcess(command_line, child_options);
  // Only the child's copy keeps the pipe open now: reading ends when the child ends.
  write_end.Close();
  if (!process.IsValid())
    return false;

  // Read everything before waiting, so that a child with much output never blocks on a
  // full pipe.
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(read_end.Get(), buffer, sizeof(buffer), &read, nullptr)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_BROKEN_PIPE)
        ELOG(ERROR, error) << "Reading the output of " << command_line << " failed";
      break;
    }
    output->append(buffer, read);
  }
  return process.WaitForExit(exit_code);
}

}  // namespace base
