#include "desktop/windows/crash_reporter/process_state_impl.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <utility>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/module_file.h"
#include "desktop/windows/crash_reporter/module_info_impl.h"
#include "desktop/windows/crash_reporter/thread_info_impl.h"

namespace crash_reporter {

namespace {

constexpr int kModuleSnapshotAttempts = 10;
// Thread entries shorter than this lack the owner process id.
constexpr DWORD kMinThreadEntrySize = 16;

}  // namespace

ProcessStateImpl::ProcessStateImpl() = default;

ProcessStateImpl::~ProcessStateImpl() = default;

bool ProcessStateImpl::Init(DWORD pid,
                            uint64_t exception_pointers_address,
                            uint64_t thread_id_address,
                            const std::vector<ModuleListEntry>& fallback_modules) {
  process_.Set(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process_.IsValid()) {
    PLOG(ERROR) << "OpenProcess failed for " << pid;
    return false;
  }
  ReadMemoryCounters();
  const base::FilePath image_path = GetProcessImagePath(process_.Get());
  ReadModules(pid, image_path, fallback_modules);

  CONTEXT context = {};
  if (!ReadException(exception_pointers_address, &context))
    return false;

  uint32_t crashed_thread_id = 0;
  if (!ReadExactly(thread_id_address, &crashed_thread_id, sizeof(crashed_thread_id))) {
    LOG(WARNING) << "Could not read ID of crashed thread";
    crashed_thread_id = 0;
  }
  std::unique_ptr<ThreadInfoImpl> crashed(new ThreadInfoImpl(crashed_thread_id, true));
  crashed->InitFromContext(process_.Get(), context);
  threads_.push_back(std::move(crashed));
  ReadOtherThreads(pid, crashed_thread_id);
  return true;
}

bool ProcessStateImpl::IsReadable(uint64_t address) const {
  uint8_t byte = 0;
  return ReadExactly(address, &byte, 1);
}

std::unique_ptr<MemoryReader> ProcessStateImpl::CreateMemoryReader() const {
  if (!process_.IsValid())
    return nullptr;
  return std::unique_ptr<MemoryReader>(new MemoryReader(process_.Get()));
}

void ProcessStateImpl::ReadMemoryCounters() {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(process_.Get(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
    PLOG(ERROR) << "GetProcessMemoryInfo failed";
    return;
  }
  working_set_ = counters.WorkingSetSize;
  peak_working_set_ = counters.PeakWorkingSetSize;
  private_bytes_ = counters.PrivateUsage;
}

void ProcessStateImpl::ReadModules(DWORD pid,
                                   const base::FilePath& image_path,
                                   const std::vector<ModuleListEntry>& fallback_modules) {
  std::vector<std::wstring> paths;
  base::win::ScopedHandle snapshot;
  // A process that is still loading modules makes the snapshot fail with a bad length.
  int attempts_left = kModuleSnapshotAttempts;
  DWORD error = ERROR_SUCCESS;
  while (attempts_left > 0) {
    --attempts_left;
    snapshot.Set(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
    if (snapshot.IsValid())
      break;
    error = ::GetLastError();
    if (error != ERROR_BAD_LENGTH)
      break;
  }
  if (!snapshot.IsValid()) {
    ELOG(ERROR, error) << "TH32CS_SNAPMODULE failed, retries_left=" << attempts_left;
  } else {
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    if (!::Module32FirstW(snapshot.Get(), &entry)) {
      PLOG(ERROR) << "Module32First failed";
    } else {
      do {
        const bool is_main = !main_module_ && !image_path.empty() &&
                             base::FilePath::CompareEqualIgnoreCase(entry.szExePath,
                                                                    image_path.value());
        AddModule(entry.szModule, entry.szExePath,
                  reinterpret_cast<uintptr_t>(entry.modBaseAddr), entry.modBaseSize, is_main);
        paths.push_back(entry.szExePath);
        entry.dwSize = sizeof(entry);
      } while (::Module32NextW(snapshot.Get(), &entry));
    }
  }

  if (modules_.empty()) {
    LOG(INFO) << "Using fallback modules";
    for (const ModuleListEntry& module : fallback_modules) {
      const bool is_main = !main_module_ && !image_path.empty() &&
                           base::FilePath::CompareEqualIgnoreCase(module.path,
                                                                  image_path.value());
      AddModule(module.name.c_str(), module.path.c_str(), module.base_address,
                static_cast<uint32_t>(module.size), is_main);
      paths.push_back(module.path);
    }
  }

  if (!main_module_ && !image_path.empty()) {
    LOG(WARNING) << "Couldn't find main module for '" << image_path << "'";
    for (const std::wstring& path : paths)
      LOG(WARNING) << "Module path: " << path;
  }
}

void ProcessStateImpl::AddModule(const wchar_t* name,
                                 const wchar_t* path,
                                 uint64_t load_address,
                                 uint32_t size,
                                 bool is_main) {
  // A file that is refused or cannot be opened leaves the snapshot's data.
  base::win::ScopedHandle file = OpenModuleFile(path);
  std::unique_ptr<ModuleInfoImpl> module(new ModuleInfoImpl());
  if (!name[0])
    LOG(WARNING) << "Module " << path << " has no name";
  module->Init(name, file.Get(), load_address, size);
  if (is_main)
    main_module_ = module.get();
  modules_.push_back(std::move(module));
}

bool ProcessStateImpl::ReadExactly(uint64_t address, void* buffer, size_t size) const {
  return ReadProcessMemoryExactly(process_.Get(), address, buffer, size);
}

bool ProcessStateImpl::ReadException(uint64_t exception_pointers_address, CONTEXT* context) {
  uint64_t pointers_address = 0;
  uint64_t pointers[2] = {};  // ExceptionRecord, ContextRecord.
  uint32_t code = 0;
  uint64_t address = 0;
  if (!ReadExactly(exception_pointers_address, &pointers_address, sizeof(pointers_address)) ||
      !ReadExactly(pointers_address, pointers, sizeof(pointers)) ||
      !ReadExactly(pointers[0], &code, sizeof(code)) ||
      !ReadExactly(pointers[0] + offsetof(EXCEPTION_RECORD, ExceptionAddress), &address,
                   sizeof(address)) ||
      !ReadExactly(pointers[1], context, sizeof(*context))) {
    PLOG(ERROR) << "Could not read the exception of the crashed process";
    return false;
  }
  exception_code_ = code;
  exception_address_ = address;
  return true;
}

void ProcessStateImpl::ReadOtherThreads(DWORD pid, uint32_t crashed_thread_id) {
  base::win::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, pid));
  if (!snapshot.IsValid()) {
    PLOG(ERROR) << "TH32CS_SNAPTHREAD failed";
    return;
  }
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  if (!::Thread32First(snapshot.Get(), &entry) || entry.dwSize < kMinThreadEntrySize) {
    PLOG(ERROR) << "Thread32First failed, te.dwSize=" << entry.dwSize
                << ", min size=" << kMinThreadEntrySize;
    return;
  }
  do {
    if (entry.th32OwnerProcessID == pid && entry.th32ThreadID != crashed_thread_id) {
      std::unique_ptr<ThreadInfoImpl> thread(new ThreadInfoImpl(entry.th32ThreadID, false));
      if (thread->InitFromThread(process_.Get()))
        threads_.push_back(std::move(thread));
    }
    entry.dwSize = sizeof(entry);
  } while (::Thread32Next(snapshot.Get(), &entry));
}

base::FilePath GetProcessImagePath(HANDLE process) {
  wchar_t device_path[MAX_PATH] = {};
  if (!::GetProcessImageFileNameW(process, device_path, MAX_PATH)) {
    PLOG(ERROR) << "GetProcessImageFileName failed";
    return base::FilePath();
  }
  const base::FilePath device_file(device_path);
  const std::wstring drives = ListLogicalDrives();
  for (const wchar_t* drive = drives.c_str(); *drive; drive += wcslen(drive) + 1) {
    const std::wstring device = GetDeviceName(drive);
    base::FilePath path(drive);
    if (!device.empty() && base::FilePath(device).AppendRelativePath(device_file, &path))
      return path;
  }
  LOG(WARNING) << "Could not convert process image file name '" << device_path << "'";
  for (const wchar_t* drive = drives.c_str(); *drive; drive += wcslen(drive) + 1) {
    LOG(INFO) << "Logical drive: " << drive;
    LOG(INFO) << "Device name: " << GetDeviceName(drive);
  }
  return base::FilePath();
}

std::wstring ListLogicalDrives() {
  const DWORD length = ::GetLogicalDriveStringsW(0, nullptr);
  if (length == 0) {
    PLOG(ERROR) << "GetLogicalDriveStrings failed";
    return std::wstring();
  }
  std::wstring drives(length + 1, L'\0');
  const DWORD result = ::GetLogicalDriveStringsW(length + 1, &drives[0]);
  if (result == 0 || result > length) {
    PLOG(ERROR) << "GetLogicalDriveStrings failed, result=" << result << ", length=" << length;
    return std::wstring();
  }
  drives.resize(result + 1);  // The list ends with an empty string.
  return drives;
}

std::wstring GetDeviceName(const std::wstring& drive) {
  if (drive.size() != 3 || !iswalpha(drive[0]) || drive[1] != L':' || drive[2] != L'\\') {
    LOG(WARNING) << "GetDeviceName: '" << drive << "'";
    return std::wstring();
  }
  const std::wstring letter = drive.substr(0, 2);
  wchar_t device[MAX_PATH] = {};
  if (!::QueryDosDeviceW(letter.c_str(), device, MAX_PATH)) {
    PLOG(ERROR) << "QueryDosDevice failed for '" << letter << "' (from '" << drive << "')";
    return std::wstring();
  }
  return device;
}

}  // namespace crash_reporter
