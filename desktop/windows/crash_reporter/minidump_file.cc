#include "desktop/windows/crash_reporter/minidump_file.h"

#include <dbghelp.h>

#include <string>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_folders.h"
#include "desktop/windows/crash_reporter/dump_libraries.h"
#include "desktop/windows/crash_reporter/memory_reader.h"
#include "desktop/windows/installer/service/product_info.h"

namespace crash_reporter {

namespace {

constexpr ULONG kVersionStreamType = 0x10000;
constexpr ULONG kAssertionStreamType = 0x10001;
// MiniDumpWriteDump reports its failures as HRESULTs.
constexpr DWORD kInvalidArgumentResult = 0x80070057;

bool EmptyFile(HANDLE file) {
  LARGE_INTEGER start = {};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file)) {
    PLOG(ERROR) << "Cannot empty the minidump file";
    return false;
  }
  return true;
}

bool WriteDumpToFile(HANDLE process,
                     DWORD pid,
                     const ClientExceptionRecord& record,
                     HANDLE file,
                     uint64_t size_limit) {
  if (!LoadMiniDumpWriteDump()) {
    LOG(ERROR) << "MiniDumpWriteDump is not available";
    return false;
  }

  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = record.thread_id;
  exception.ExceptionPointers = reinterpret_cast<EXCEPTION_POINTERS*>(record.exception_pointers);
  exception.ClientPointers = TRUE;

  std::string version = installer::ProductInfo::GetVersion() + " " +
                        std::to_string(installer::ProductInfo::GetBuildNumber());
  MINIDUMP_USER_STREAM streams[2] = {};
  streams[0].Type = kVersionStreamType;
  streams[0].BufferSize = static_cast<ULONG>(version.size());
  streams[0].Buffer = &version[0];
  MINIDUMP_USER_STREAM_INFORMATION user_streams = {1, streams};
  if (record.type == ClientExceptionRecord::kInvalidParameter) {
    streams[1].Type = kAssertionStreamType;
    streams[1].BufferSize = static_cast<ULONG>(kAssertionBlockSize);
    streams[1].Buffer =
        const_cast<uint8_t*>(reinterpret_cast<const uint8_t*>(&record) + kAssertionBlockOffset);
    user_streams.UserStreamCount = 2;
  }

  const MINIDUMP_TYPE dump_types[2] = {MiniDumpWithIndirectlyReferencedMemory, MiniDumpNormal};
  for (MINIDUMP_TYPE dump_type : dump_types) {
    if (WriteMiniDump(process, pid, file, dump_type,
                      record.exception_pointers ? &exception : nullptr, &user_streams,
                      nullptr)) {
      LARGE_INTEGER size = {};
      if (!::GetFileSizeEx(file, &size)) {
        PLOG(ERROR) << "Cannot get the size of the minidump";
        return false;
      }
      if (static_cast<uint64_t>(size.QuadPart) <= size_limit)
        return true;
      LOG(WARNING) << "Minidump of type 0x" << std::hex << dump_type << std::dec << " has "
                   << size.QuadPart << " bytes, over the limit of " << size_limit;
    } else {
      const DWORD error = ::GetLastError();
      if (error != kInvalidArgumentResult) {
        LOG(ERROR) << "MiniDumpWriteDump failed: 0x" << std::hex << error;
        return false;
      }
    }
    if (!EmptyFile(file))
      return false;
  }
  return false;
}

base::win::ScopedHandle OpenCrashedProcess(DWORD pid) {
  base::win::ScopedHandle process(
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process.IsValid())
    PLOG(ERROR) << "OpenProcess failed for " << pid;
  return process;
}

bool ReadExactly(HANDLE process, uint64_t address, void* buffer, size_t size) {
  if (!ReadProcessMemoryExactly(process, address, buffer, size)) {
    PLOG(ERROR) << "Cannot read " << size << " bytes of the crashed process at 0x" << std::hex
                << address;
    return false;
  }
  return true;
}

}  // namespace

bool WriteMinidumpFile(HANDLE process,
                       DWORD pid,
                       const ClientExceptionRecord& record,
                       const base::FilePath& path,
                       uint64_t size_limit) {
  bool written = false;
  {
    const base::win::ScopedHandle file = CreateCrashFile(path);
    if (!file.IsValid())
      return false;
    written = WriteDumpToFile(process, pid, record, file.Get(), size_limit);
  }
  if (!written)
    base::DeletePath(path, false);
  return written;
}

bool WriteClientMinidump(DWORD pid,
                         uint64_t thread_id_address,
                         uint64_t exception_pointers_address,
                         uint64_t assertion_address,
                         const base::FilePath& path,
                         uint64_t size_limit) {
  base::win::ScopedHandle process = OpenCrashedProcess(pid);
  if (!process.IsValid())
    return false;
  ClientExceptionRecord record = {};
  if (!ReadExactly(process.Get(), exception_pointers_address, &record.exception_pointers,
                   sizeof(record.exception_pointers)) ||
      !ReadExactly(process.Get(), thread_id_address, &record.thread_id,
                   sizeof(record.thread_id)) ||
      (assertion_address &&
       !ReadExactly(process.Get(), assertion_address,
                    reinterpret_cast<uint8_t*>(&record) + kAssertionBlockOffset,
                    kAssertionBlockSize))) {
    return false;
  }
  return WriteMinidumpFile(process.Get(), pid, record, path, size_limit);
}

bool WriteMinidumpFromRecord(DWORD pid,
                             uint64_t record_address,
                             const base::FilePath& path,
                             uint64_t size_limit) {
  base::win::ScopedHandle process = OpenCrashedProcess(pid);
  if (!process.IsValid())
    return false;
  ClientExceptionRecord record = {};
  if (!ReadExactly(process.Get(), record_address, &record, sizeof(record)))
    return false;
  return WriteMinidumpFile(process.Get(), pid, record, path, size_limit);
}

}  // namespace crash_reporter
