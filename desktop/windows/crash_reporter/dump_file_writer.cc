#include "desktop/windows/crash_reporter/dump_file_writer.h"

#include <string.h>

#include <vector>

#include "base/files/file_path.h"
#include "base/logging.h"
#include "base/native_library.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/dump_libraries.h"

namespace crash_reporter {

namespace {

// The application verifier's handle trace (verifier.dll).
constexpr ULONG kAvrfResourceHandleTrace = 1;
constexpr ULONG kAvrfOperationBadReference = 3;
struct AvrfHandleOperation {
  ULONG64 handle;
  ULONG process_id;
  ULONG thread_id;
  ULONG operation_type;
  ULONG spare;
  ULONG trace_depth;
  ULONG trace_index;
  ULONG64 return_addresses[32];
};
static_assert(sizeof(AvrfHandleOperation) == 288, "a traced handle operation is 288 bytes");
using AvrfResourceCallback = ULONG(WINAPI*)(void* description, void* context, ULONG* level);
using VerifierEnumerateResourceFunction = ULONG(WINAPI*)(HANDLE process,
                                                         ULONG flags,
                                                         ULONG resource_type,
                                                         AvrfResourceCallback callback,
                                                         void* context);

// The handle operation list stream's header.
struct HandleOperationListHeader {
  ULONG32 size_of_header;
  ULONG32 size_of_entry;
  ULONG32 number_of_entries;
  ULONG32 reserved;
};
constexpr ULONG32 kHandleOperationListStreamType = 18;

struct HandleTrace {
  std::vector<AvrfHandleOperation> operations;
  bool has_bad_reference = false;
  ULONG64 bad_handle = 0;
};

ULONG WINAPI CollectHandleOperation(void* description, void* context, ULONG* level) {
  HandleTrace* trace = static_cast<HandleTrace*>(context);
  const AvrfHandleOperation& operation = *static_cast<AvrfHandleOperation*>(description);
  trace->operations.push_back(operation);
  if (operation.operation_type == kAvrfOperationBadReference) {
    trace->has_bad_reference = true;
    trace->bad_handle = operation.handle;
  }
  return 0;  // Go on with the next record.
}

}  // namespace

DumpFileWriter::DumpFileWriter(const std::wstring& dump_folder,
                               HANDLE process,
                               DWORD process_id,
                               DWORD thread_id,
                               DWORD requesting_thread_id,
                               uint64_t exception_pointers,
                               uint64_t assertion,
                               MINIDUMP_TYPE dump_type,
                               bool client_pointers)
    : dump_folder_(dump_folder),
      process_(process),
      process_id_(process_id),
      thread_id_(thread_id),
      requesting_thread_id_(requesting_thread_id),
      exception_pointers_(exception_pointers),
      assertion_(assertion),
      dump_type_(dump_type),
      client_pointers_(client_pointers) {}

DumpFileWriter::~DumpFileWriter() = default;

bool DumpFileWriter::GenerateDumpFile(std::wstring* dump_path) {
  if (dump_file_.IsValid()) {
    LOG(ERROR) << "A dump file is open already";
    return false;
  }
  GUID id;
  if (!CreateDumpId(&id)) {
    LOG(ERROR) << "Cannot make an id for a dump file";
    return false;
  }
  const std::wstring path = dump_folder_ + L"\\" + GuidToWideString(id) + L".dmp";
  base::win::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    PLOG(ERROR) << "Cannot create the dump file " << path;
    return false;
  }
  dump_file_ = std::move(file);
  dump_path_ = path;
  *dump_path = path;
  return true;
}

bool DumpFileWriter::WriteMinidump() {
  if (WriteDumpFiles())
    return true;
  RemoveDumpFiles();
  return false;
}

void DumpFileWriter::RemoveDumpFiles() {
  dump_file_.Close();
  full_dump_file_.Close();
  if (!dump_path_.empty() && !::DeleteFileW(dump_path_.c_str()))
    PLOG(ERROR) << "Cannot remove the dump file " << dump_path_;
  dump_path_.clear();
}

bool DumpFileWriter::ReadTarget(uint64_t address, void* buffer, size_t size) const {
  const HANDLE source = client_pointers_ ? process_ : ::GetCurrentProcess();
  SIZE_T bytes_read = 0;
  if (!::ReadProcessMemory(source, reinterpret_cast<const void*>(address), buffer, size,
                           &bytes_read) ||
      bytes_read != size) {
    PLOG(ERROR) << "Cannot read " << size << " bytes of process " << process_id_;
    return false;
  }
  return true;
}

bool DumpFileWriter::CollectHandleOperations(std::string* stream_data) const {
  EXCEPTION_POINTERS pointers;
  DWORD code = 0;
  if (!ReadTarget(exception_pointers_, &pointers, sizeof(pointers)) ||
      !ReadTarget(reinterpret_cast<uintptr_t>(pointers.ExceptionRecord), &code, sizeof(code))) {
    return false;
  }
  if (code != STATUS_INVALID_HANDLE)
    return true;

  // The trace is extra detail: without the verifier the dump is written without it.
  base::NativeLibrary verifier(base::FilePath(L"verifier.dll"));
  const auto enumerate_resource = reinterpret_cast<VerifierEnumerateResourceFunction>(
      verifier.GetFunctionPointer("VerifierEnumerateResource"));
  if (!enumerate_resource) {
    LOG(WARNING) << "No handle trace: the application verifier is not available";
    return true;
  }
  HandleTrace trace;
  if (enumerate_resource(process_, 0, kAvrfResourceHandleTrace, &CollectHandleOperation, &trace) !=
      ERROR_SUCCESS) {
    trace.operations.clear();
  }
  std::vector<AvrfHandleOperation> operations;
  if (trace.has_bad_reference) {
    for (const AvrfHandleOperation& operation : trace.operations) {
      if (operation.handle == trace.bad_handle)
        operations.push_back(operation);
    }
  }
  if (operations.empty())
    return true;
  HandleOperationListHeader header = {};
  header.size_of_header = sizeof(header);
  header.size_of_entry = sizeof(AvrfHandleOperation);
  header.number_of_entries = static_cast<ULONG32>(operations.size());
  stream_data->assign(reinterpret_cast<const char*>(&header), sizeof(header));
  stream_data->append(reinterpret_cast<const char*>(operations.data()),
                      operations.size() * sizeof(AvrfHandleOperation));
  return true;
}

bool DumpFileWriter::WriteDumpFiles() {
  const bool full_memory = (dump_type_ & MiniDumpWithFullMemory) != 0;
  if (!dump_file_.IsValid() || (full_memory && !full_dump_file_.IsValid()))
    return false;
  if (!LoadMiniDumpWriteDump()) {
    LOG(ERROR) << "MiniDumpWriteDump is not available";
    return false;
  }

  MINIDUMP_EXCEPTION_INFORMATION exception_information = {};
  exception_information.ThreadId = thread_id_;
  exception_information.ExceptionPointers =
      reinterpret_cast<EXCEPTION_POINTERS*>(static_cast<uintptr_t>(exception_pointers_));
  exception_information.ClientPointers = client_pointers_;
  MINIDUMP_EXCEPTION_INFORMATION* exception =
      exception_pointers_ ? &exception_information : nullptr;

  // Thread ids of this process mean nothing in a dump of another.
  RequesterStream requester = {};
  if (!client_pointers_) {
    requester.validity = RequesterStream::kThreadIdsValid;
    requester.dump_thread_id = thread_id_;
    requester.requesting_thread_id = requesting_thread_id_;
  }
  MINIDUMP_USER_STREAM streams[3] = {};
  ULONG stream_count = 0;
  streams[stream_count].Type = kRequesterStreamType;
  streams[stream_count].BufferSize = sizeof(requester);
  streams[stream_count].Buffer = &requester;
  ++stream_count;
  AssertionInfo assertion;
  if (assertion_) {
    if (!ReadTarget(assertion_, &assertion, sizeof(assertion)))
      return false;
    streams[stream_count].Type = kAssertionStreamType;
    streams[stream_count].BufferSize = sizeof(assertion);
    streams[stream_count].Buffer = &assertion;
    ++stream_count;
  }

  std::string handle_operations;
  if (exception_pointers_ && !(dump_type_ & MiniDumpWithHandleData) &&
      !CollectHandleOperations(&handle_operations)) {
    return false;
  }

  MINIDUMP_USER_STREAM_INFORMATION user_streams = {stream_count, streams};
  bool full_written = true;
  if (full_memory) {
    full_written = WriteMiniDump(process_, process_id_, full_dump_file_.Get(),
                                 static_cast<MINIDUMP_TYPE>(dump_type_ | MiniDumpWithHandleData),
                                 exception, &user_streams, nullptr) == TRUE;
    if (!full_written)
      PLOG(ERROR) << "MiniDumpWriteDump failed for the full dump of process " << process_id_;
  }
  if (!handle_operations.empty()) {
    streams[stream_count].Type = kHandleOperationListStreamType;
    streams[stream_count].BufferSize = static_cast<ULONG>(handle_operations.size());
    streams[stream_count].Buffer = &handle_operations[0];
    user_streams.UserStreamCount = ++stream_count;
  }
  const bool written =
      WriteMiniDump(process_, process_id_, dump_file_.Get(),
                    static_cast<MINIDUMP_TYPE>(dump_type_ & ~MiniDumpWithFullMemory), exception,
                    &user_streams, nullptr) == TRUE;
  if (!written)
    PLOG(ERROR) << "MiniDumpWriteDump failed for process " << process_id_;
  return written && full_written;
}

}  // namespace crash_reporter
