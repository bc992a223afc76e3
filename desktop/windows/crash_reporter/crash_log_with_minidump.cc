#include "desktop/windows/crash_reporter/crash_log_with_minidump.h"

#include <psapi.h>
#include <stdio.h>

#include <string>

#include "base/files/file_util.h"
#include "base/files/scoped_file.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/client_exception_record.h"
#include "desktop/windows/crash_reporter/crash_folders.h"
#include "desktop/windows/crash_reporter/memory_reader.h"
#include "desktop/windows/crash_reporter/minidump_file.h"

namespace crash_reporter {

namespace {

// Reads the whole dump and deletes it; false when it is empty or cannot be read whole.
bool TakeDump(const base::FilePath& path, std::string* dump) {
  const bool read = base::ReadFileToString(path, dump) && !dump->empty();
  if (!read)
    LOG(ERROR) << "Cannot read the minidump " << path;
  base::DeletePath(path, false);
  return read;
}

bool WriteLog(FILE* file,
              const CrashLogInfo& info,
              const std::string& process_name,
              uint32_t exception_code,
              uint64_t exception_address,
              const std::string& dump) {
  if (fprintf(file,
              "TAVRO-CRASHLOG V1 desktop%s %s %s windows x64 release\r\n"
              "%s caused exception %X at address %012llX (BASE: 00000000)\r\n",
              info.product_suffix.c_str(), info.version.c_str(), info.build_number.c_str(),
              process_name.c_str(), exception_code,
              static_cast<unsigned long long>(exception_address)) < 0) {
    return false;
  }
  if (!info.metadata.empty() &&
      (fputs("\r\nmetadata:\r\n", file) < 0 || !WriteMetadataLines(file, info, "\r\n"))) {
    return false;
  }
  return fputs("\r\nminidump:\r\n", file) >= 0 &&
         fwrite(dump.data(), 1, dump.size(), file) == dump.size();
}

}  // namespace

bool WriteCrashLogWithMinidump(DWORD pid,
                               uint64_t record_address,
                               const base::FilePath& output_path,
                               uint64_t size_limit,
                               const CrashLogInfo& info) {
  base::win::ScopedHandle process(
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process.IsValid()) {
    PLOG(ERROR) << "OpenProcess failed for " << pid;
    return false;
  }
  wchar_t image[MAX_PATH] = {};
  if (!::GetProcessImageFileNameW(process.Get(), image, MAX_PATH)) {
    PLOG(ERROR) << "GetProcessImageFileName failed";
    return false;
  }
  const std::string process_name =
      base::Utf16ToUtf8(base::FilePath(image).BaseName().value());

  ClientExceptionRecord record = {};
  if (!ReadProcessMemoryExactly(process.Get(), record_address, &record, sizeof(record))) {
    PLOG(ERROR) << "Cannot read the exception record of the crashed process";
    return false;
  }
  base::FilePath dump_path;
  if (!base::CreateTemporaryFile(&dump_path))
    return false;
  if (!WriteMinidumpFile(process.Get(), pid, record, dump_path, size_limit)) {
    base::DeletePath(dump_path, false);
    return false;
  }
  std::string dump;
  if (!TakeDump(dump_path, &dump))
    return false;

  // The exception is only described; a record that cannot be read leaves it at 0.
  uint64_t pointers[2] = {};  // ExceptionRecord, ContextRecord.
  EXCEPTION_RECORD exception = {};
  if (!ReadProcessMemoryExactly(process.Get(), record.exception_pointers, pointers,
                                sizeof(pointers)) ||
      !ReadProcessMemoryExactly(process.Get(), pointers[0], &exception, sizeof(exception))) {
    exception = EXCEPTION_RECORD();
  }

  base::ScopedFILE file = OpenCrashFile(output_path, "wb");
  if (!file)
    return false;
  const bool written =
      WriteLog(file.get(), info, process_name, exception.ExceptionCode,
               reinterpret_cast<uintptr_t>(exception.ExceptionAddress), dump);
  const bool closed = fclose(file.release()) == 0;
  if (!written || !closed) {
    LOG(ERROR) << "Cannot write " << output_path;
    base::DeletePath(output_path, false);
    return false;
  }
  return true;
}

}  // namespace crash_reporter
