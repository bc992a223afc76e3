#include "base/files/important_file_writer.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/bind.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/thread.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string ReadFile(const FilePath& path) {
  std::string contents;
  EXPECT_TRUE(ReadFileToString(path, &contents)) << path;
  return contents;
}

void WriteFile(const FilePath& path, const std::string& contents) {
  ASSERT_EQ(static_cast<int>(contents.size()),
            WriteFileFromBuffer(path, contents.data(), static_cast<int>(contents.size())));
}

// The names in |dir|, files and folders.
std::vector<std::wstring> ListFolder(const FilePath& dir) {
  std::vector<std::wstring> names;
  FileEnumerator entries(dir, false, FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  for (FilePath path = entries.Next(); !path.empty(); path = entries.Next())
    names.push_back(path.BaseName().value());
  return names;
}

class ImportantFileWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    path_ = temp_dir_.GetPath().Append(L"important.json");
  }

  ScopedTempDir temp_dir_;
  FilePath path_;
};

TEST_F(ImportantFileWriterTest, WriteFileAtomicallyCreatesAndReplaces) {
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(path_, "first"));
  EXPECT_EQ("first", ReadFile(path_));
  const std::string larger(200000, 'x');
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(path_, larger));
  EXPECT_EQ(larger, ReadFile(path_));
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(path_, ""));
  EXPECT_EQ("", ReadFile(path_));
  EXPECT_EQ(std::vector<std::wstring>{L"important.json"}, ListFolder(temp_dir_.GetPath()));
}

TEST_F(ImportantFileWriterTest, FailedWritesKeepTheOldFileAndNoTemporaryFile) {
  // The folder is missing.
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(
      temp_dir_.GetPath().Append(L"missing").Append(L"file.json"), "data"));
  EXPECT_TRUE(ListFolder(temp_dir_.GetPath()).empty());

  // The target is a folder.
  const FilePath folder = temp_dir_.GetPath().Append(L"folder");
  ASSERT_TRUE(CreateDirectory(folder));
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(folder, "data"));
  EXPECT_TRUE(DirectoryExists(folder));
  EXPECT_EQ(std::vector<std::wstring>{L"folder"}, ListFolder(temp_dir_.GetPath()));
  ASSERT_TRUE(DeletePath(folder, false));

  // The target is open without delete sharing, so it cannot be replaced.
  WriteFile(path_, "old");
  {
    win::ScopedHandle open_target(::CreateFileW(path_.value().c_str(), GENERIC_READ,
                                                FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(open_target.IsValid());
    EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(path_, "new"));
  }
  EXPECT_EQ("old", ReadFile(path_));
  EXPECT_EQ(std::vector<std::wstring>{L"important.json"}, ListFolder(temp_dir_.GetPath()));

  // A read-only target is not replaced either.
  ASSERT_TRUE(::SetFileAttributesW(path_.value().c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(path_, "new"));
  EXPECT_EQ("old", ReadFile(path_));
  EXPECT_EQ(std::vector<std::wstring>{L"important.json"}, ListFolder(temp_dir_.GetPath()));
  ASSERT_TRUE(::SetFileAttributesW(path_.value().c_str(), FILE_ATTRIBUTE_NORMAL));
}

// Hands out a fixed text, counting the calls.
class TextSerializer : public ImportantFileWriter::DataSerializer {
 public:
  bool SerializeData(std::string* data) override {
    ++calls;
    *data = text;
    return succeed;
  }

  std::string text;
  bool succeed = true;
  int calls = 0;
};

class ScheduledWriteTest : public ImportantFileWriterTest {
 protected:
  void SetUp() override {
    ImportantFileWriterTest::SetUp();
    ASSERT_TRUE(file_thread_.Start());
  }

  // Waits until the writes handed to the file thread are done.
  void FlushFileThread() {
    WaitEvent done(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
    ASSERT_TRUE(file_thread_.GetTaskRunner()->PostTask(FROM_HERE,
                                                       BindLambda([&] { done.Signal(); })));
    ASSERT_TRUE(done.TimedWait(TimeDelta::FromSeconds(10)));
  }

  Thread file_thread_{"Important file writer test"};
};

TEST_F(ScheduledWriteTest, ScheduledWritesAreCoalescedUntilTheIntervalEnds) {
  MessageLoop loop;
  ImportantFileWriter writer(path_, file_thread_.GetTaskRunner(),
                             TimeDelta::FromMilliseconds(20));
  int writes = 0;
  writer.SetOnWriteCallback(BindLambda([&] { ++writes; }));
  TextSerializer serializer;
  serializer.text = "coalesced";
  EXPECT_FALSE(writer.HasPendingWrite());
  writer.ScheduleWrite(&serializer);
  writer.ScheduleWrite(&serializer);
  EXPECT_TRUE(writer.HasPendingWrite());
  EXPECT_EQ(0, serializer.calls);

  RunLoop run_loop;
  loop.task_runner()->PostDelayedTask(FROM_HERE, run_loop.QuitClosure(),
                                      TimeDelta::FromMilliseconds(100));
  run_loop.Run();
  EXPECT_FALSE(writer.HasPendingWrite());
  EXPECT_EQ(1, serializer.calls);
  EXPECT_EQ(1, writes);
  FlushFileThread();
  EXPECT_EQ("coalesced", ReadFile(path_));

  // DoScheduledWrite does not wait for the interval; a failed serialisation writes nothing.
  serializer.text = "now";
  writer.ScheduleWrite(&serializer);
  writer.DoScheduledWrite();
  EXPECT_FALSE(writer.HasPendingWrite());
  serializer.succeed = false;
  serializer.text = "broken";
  writer.ScheduleWrite(&serializer);
  writer.DoScheduledWrite();
  FlushFileThread();
  EXPECT_EQ("now", ReadFile(path_));
  EXPECT_EQ(2, writes);
}

TEST_F(ScheduledWriteTest, WritesOnTheCallingThreadWhenTheRunnerIsGone) {
  // No message loop here: a scheduled write happens at once.
  ImportantFileWriter writer(path_, file_thread_.GetTaskRunner());
  TextSerializer serializer;
  serializer.text = "without a loop";
  writer.ScheduleWrite(&serializer);
  EXPECT_FALSE(writer.HasPendingWrite());
  FlushFileThread();
  EXPECT_EQ("without a loop", ReadFile(path_));

  file_thread_.Stop();
  writer.WriteNow("after the runner");
  EXPECT_EQ("after the runner", ReadFile(path_));
}

TEST_F(ScheduledWriteTest, TellsWhetherTheLastWriteReplacedTheFile) {
  ImportantFileWriter writer(path_, file_thread_.GetTaskRunner());
  EXPECT_TRUE(writer.LastWriteSucceeded());
  WriteFile(path_, "old");
  ASSERT_TRUE(::SetFileAttributesW(path_.value().c_str(), FILE_ATTRIBUTE_READONLY));
  writer.WriteNow("refused");
  FlushFileThread();
  EXPECT_FALSE(writer.LastWriteSucceeded());
  EXPECT_EQ("old", ReadFile(path_));

  // A later write that works holds everything again.
  ASSERT_TRUE(::SetFileAttributesW(path_.value().c_str(), FILE_ATTRIBUTE_NORMAL));
  writer.WriteNow("written");
  FlushFileThread();
  EXPECT_TRUE(writer.LastWriteSucceeded());
  EXPECT_EQ("written", ReadFile(path_));
}

}  // namespace
}  // namespace base
