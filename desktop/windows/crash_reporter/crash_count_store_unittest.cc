#include "desktop/windows/crash_reporter/crash_count_store.h"

#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/environment.h"
#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_reader.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_test_process.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

constexpr char kCountsPathVariable[] = "TAVRO_TEST_CRASH_COUNTS";
constexpr int kThreads = 4;
constexpr int kIncrementsPerThread = 25;
constexpr DWORD kDeadlineMs = 30000;

std::string ReadText(const base::FilePath& path) {
  std::string text;
  base::ReadFileToString(path, &text);
  return text;
}

void WriteText(const base::FilePath& path, const std::string& text) {
  ASSERT_EQ(static_cast<int>(text.size()),
            base::WriteFileFromBuffer(path, text.data(), static_cast<int>(text.size())));
}

// Increments "installer" from several threads at once, each increment written at once.
void IncrementFromThreads(CrashCountStore* store) {
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([store] {
      for (int i = 0; i < kIncrementsPerThread; ++i)
        store->Increment("installer", 1, true);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
}

TEST(CrashCountStoreChild, DISABLED_IncrementFromThreads) {
  if (!base::test::IsChildTest())
    return;
  std::string path;
  ASSERT_TRUE(base::Environment::Create()->GetVar(kCountsPathVariable, &path));
  CrashCountStore store(base::FilePath(base::Utf8ToUtf16(path)));
  IncrementFromThreads(&store);
}

class CrashCountStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    path_ = temp_dir_.GetPath().Append(L"Crash Counts");
  }

  base::ScopedTempDir temp_dir_;
  base::FilePath path_;
};

TEST_F(CrashCountStoreTest, MergesIntoTheFileByItsRules) {
  // A missing file is created with exactly the counts.
  ASSERT_TRUE(CrashCountStore::MergeIntoFile(path_, {{"installer", 3}}));
  EXPECT_EQ("{\"installer\":3}", ReadText(path_));

  // Members that are not integers are dropped; members come in name order.
  WriteText(path_, "{\"installer\":\"x\",\"browser\":2}");
  ASSERT_TRUE(CrashCountStore::MergeIntoFile(path_, {{"installer", 1}}));
  EXPECT_EQ("{\"browser\":2,\"installer\":1}", ReadText(path_));

  // A process type holding dots is one member, and is read back as a count.
  ASSERT_TRUE(CrashCountStore::MergeIntoFile(path_, {{"gpu.process", 1}}));
  ASSERT_TRUE(CrashCountStore::MergeIntoFile(path_, {{"gpu.process", 1}}));
  EXPECT_EQ("{\"browser\":2,\"gpu.process\":2,\"installer\":1}", ReadText(path_));

  // A corrupt file is not a count file: nothing is written over it.
  for (const std::string& corrupt : {std::string(" "), std::string("[1,2]"),
                                    std::string("{\"installer\":1")}) {
    WriteText(path_, corrupt);
    EXPECT_FALSE(CrashCountStore::MergeIntoFile(path_, {{"installer", 1}}));
    EXPECT_EQ(corrupt, ReadText(path_));
  }

  // An empty file (a crash before the first write, a full disk) holds no counts yet.
  WriteText(path_, std::string());
  ASSERT_TRUE(CrashCountStore::MergeIntoFile(path_, {{"installer", 2}}));
  EXPECT_EQ("{\"installer\":2}", ReadText(path_));
}

TEST_F(CrashCountStoreTest, ShorterTextReplacesTheFileWhole) {
  WriteText(path_, "{\"installer\":1,\"note\":\"a long member that is not a count\"}");
  ASSERT_TRUE(CrashCountStore::MergeIntoFile(path_, {{"installer", 1}}));
  EXPECT_EQ("{\"installer\":2}", ReadText(path_));

  // Until its length is set the file holds the new text padded with spaces: still the
  // whole, valid counts whenever the writer dies.
  const std::string padded = CrashCountStore::SerializeForOverwrite({{"installer", 2}}, 40);
  EXPECT_EQ(40u, padded.size());
  std::unique_ptr<base::DictionaryValue> object =
      base::DictionaryValue::From(base::JsonReader::Read(padded));
  ASSERT_TRUE(object);
  int count = 0;
  EXPECT_TRUE(object->GetInteger("installer", &count));
  EXPECT_EQ(2, count);
  EXPECT_EQ("{\"installer\":2}", CrashCountStore::SerializeForOverwrite({{"installer", 2}}, 3));
}

TEST_F(CrashCountStoreTest, KeepsCountsPendingWhileTheFileIsHeld) {
  // Another reporter holds the file open exclusively.
  base::File holder(path_, base::File::FLAG_CREATE | base::File::FLAG_READ |
                               base::File::FLAG_WRITE | base::File::FLAG_EXCLUSIVE_READ |
                               base::File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(holder.IsValid());
  ASSERT_EQ(2, holder.Write(0, "{}", 2));
  {
    CrashCountStore store(path_);
    store.Increment("installer", 1, true);
    store.Increment("crash_reporter", 1, true);
    ::Sleep(150);  // A few failed attempts; not needed for the outcome.
    holder.Close();
  }  // The last attempts at destruction write what is still pending.
  EXPECT_EQ("{\"crash_reporter\":1,\"installer\":1}", ReadText(path_));
}

TEST_F(CrashCountStoreTest, ConcurrentThreadsAndProcessesLoseNoCount) {
  base::LaunchOptions options;
  options.environment.emplace_back(base::Utf8ToUtf16(kCountsPathVariable), path_.value());
  base::Process child =
      base::test::StartChildTest("CrashCountStoreChild.DISABLED_IncrementFromThreads", options);
  ASSERT_TRUE(child.IsValid());
  {
    CrashCountStore store(path_);
    IncrementFromThreads(&store);
  }
  DWORD exit_code = 1;
  ASSERT_TRUE(child.WaitForExitWithTimeout(kDeadlineMs, &exit_code));
  EXPECT_EQ(0u, exit_code);
  EXPECT_EQ("{\"installer\":" + std::to_string(2 * kThreads * kIncrementsPerThread) + "}",
            ReadText(path_));
}

}  // namespace
}  // namespace crash_reporter
