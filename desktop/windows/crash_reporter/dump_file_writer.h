#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_DUMP_FILE_WRITER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_DUMP_FILE_WRITER_H_

#include <windows.h>
#include <dbghelp.h>
#include <stdint.h>

#include <string>

#include "base/win/scoped_handle.h"

namespace crash_reporter {

// Writes one minidump of a process into a new file of the dump folder. With
// |client_pointers| the exception pointers and the assertion block are addresses in that
// process, read from it; otherwise they are addresses in this one.
//
// Besides the streams of the dump type the dump holds the requester stream, the assertion
// stream when there is an assertion block and, for a crash on an invalid handle, the
// handle operations the application verifier traced for that handle. One writer per dump;
// not thread-safe.
class DumpFileWriter {
 public:
  // |process| (not owned) needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ access.
  DumpFileWriter(const std::wstring& dump_folder,
                 HANDLE process,
                 DWORD process_id,
                 DWORD thread_id,
                 DWORD requesting_thread_id,
                 uint64_t exception_pointers,
                 uint64_t assertion,
                 MINIDUMP_TYPE dump_type,
                 bool client_pointers);
  DumpFileWriter(const DumpFileWriter&) = delete;
  DumpFileWriter& operator=(const DumpFileWriter&) = delete;
  ~DumpFileWriter();

  // Creates "<dump folder>\<new id>.dmp" and returns its path. False, with an error logged,
  // when a dump file is open already or the file cannot be created.
  bool GenerateDumpFile(std::wstring* dump_path);

  // Writes the dump into the file made by GenerateDumpFile; on failure the file is removed.
  // A dump type with full memory also needs a full-dump file, which this writer does not
  // make: such a dump fails.
  bool WriteMinidump();

 private:
  bool WriteDumpFiles();
  // Reads |size| bytes at |address| of the dumped process (or of this one).
  bool ReadTarget(uint64_t address, void* buffer, size_t size) const;
  // The handle operations stream data of a crash on an invalid handle; empty otherwise or
  // when the verifier is not available. False when the exception cannot be read.
  bool CollectHandleOperations(std::string* stream_data) const;
  void RemoveDumpFiles();

  const std::wstring dump_folder_;
  const HANDLE process_;
  const DWORD process_id_;
  const DWORD thread_id_;
  const DWORD requesting_thread_id_;
  const uint64_t exception_pointers_;
  const uint64_t assertion_;
  const MINIDUMP_TYPE dump_type_;
  const bool client_pointers_;
  base::win::ScopedHandle dump_file_;
  base::win::ScopedHandle full_dump_file_;
  std::wstring dump_path_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_DUMP_FILE_WRITER_H_
