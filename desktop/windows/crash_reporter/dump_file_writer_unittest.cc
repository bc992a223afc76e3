#include "desktop/windows/crash_reporter/dump_file_writer.h"

#include <windows.h>

#include <string>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/crash_pipe_protocol.h"
#include "desktop/windows/crash_reporter/test/minidump_reader.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

constexpr DWORD kStatusInvalidHandle = 0xC0000008;
constexpr ULONG32 kHandleOperationListStream = 18;

// A crash of this process, as an exception filter would see it.
struct OwnCrash {
  explicit OwnCrash(DWORD code) {
    ::RtlCaptureContext(&context);
    record.ExceptionCode = code;
    record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  }
  uint64_t address() const { return reinterpret_cast<uintptr_t>(&pointers); }

  CONTEXT context;
  EXCEPTION_RECORD record = {};
  EXCEPTION_POINTERS pointers = {&record, &context};
};

DumpFileWriter MakeWriter(const base::ScopedTempDir& folder,
                          const OwnCrash& crash,
                          uint64_t assertion,
                          MINIDUMP_TYPE type) {
  return DumpFileWriter(folder.GetPath().value(), ::GetCurrentProcess(), ::GetCurrentProcessId(),
                        ::GetCurrentThreadId(), ::GetCurrentThreadId(), crash.address(), assertion,
                        type, false);
}

TEST(DumpFileWriterTest, AnInvalidHandleCrashIsDumpedEvenWithoutTheVerifiersTrace) {
  base::ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  const OwnCrash crash(kStatusInvalidHandle);
  std::wstring path;
  {
    DumpFileWriter writer = MakeWriter(folder, crash, 0, MiniDumpNormal);
    ASSERT_TRUE(writer.GenerateDumpFile(&path));
    EXPECT_EQ(folder.GetPath().value(), base::FilePath(path).DirName().value());
    // A second file is not made while the first is open.
    std::wstring second_path;
    EXPECT_FALSE(writer.GenerateDumpFile(&second_path));
    ASSERT_TRUE(writer.WriteMinidump());
  }

  test::MinidumpReader reader;
  ASSERT_TRUE(reader.Open(base::FilePath(path)));
  MINIDUMP_EXCEPTION_STREAM exception;
  ASSERT_TRUE(reader.GetException(&exception));
  EXPECT_EQ(kStatusInvalidHandle, exception.ExceptionRecord.ExceptionCode);
  // Pointers of this process: the ids of the crashing and the requesting thread hold.
  RequesterStream requester;
  ASSERT_TRUE(reader.GetStreamAs(kRequesterStreamType, &requester));
  EXPECT_EQ(RequesterStream::kThreadIdsValid, requester.validity);
  EXPECT_EQ(::GetCurrentThreadId(), requester.dump_thread_id);
  EXPECT_FALSE(reader.HasStream(kAssertionStreamType));
  // The handle trace comes from the application verifier, which Wine does not have and
  // which traces nothing unless it is enabled for the process.
  EXPECT_FALSE(reader.HasStream(kHandleOperationListStream));
}

TEST(DumpFileWriterTest, ADumpThatCannotBeWrittenLeavesNoFile) {
  base::ScopedTempDir folder;
  ASSERT_TRUE(folder.CreateUniqueTempDir());
  const OwnCrash crash(0xE0000003);
  std::wstring path;
  // An assertion block that cannot be read.
  DumpFileWriter unreadable = MakeWriter(folder, crash, 0x10, MiniDumpNormal);
  ASSERT_TRUE(unreadable.GenerateDumpFile(&path));
  EXPECT_FALSE(unreadable.WriteMinidump());
  EXPECT_FALSE(base::PathExists(base::FilePath(path)));
  EXPECT_FALSE(unreadable.WriteMinidump());
  // A full-memory dump, which needs a second file that this writer does not make.
  DumpFileWriter full = MakeWriter(folder, crash, 0, MiniDumpWithFullMemory);
  ASSERT_TRUE(full.GenerateDumpFile(&path));
  EXPECT_FALSE(full.WriteMinidump());
  EXPECT_FALSE(base::PathExists(base::FilePath(path)));
}

}  // namespace
}  // namespace crash_reporter
