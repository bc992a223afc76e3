#include "components/prefs/json_pref_store.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_samples.h"
#include "base/metrics/statistics_recorder.h"
#include "base/synchronization/wait_event.h"
#include "base/threading/sequenced_worker_pool.h"
#include "base/time/clock.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace {

using base::FilePath;
using base::TimeDelta;

std::string ReadFile(const FilePath& path) {
  std::string contents;
  EXPECT_TRUE(base::ReadFileToString(path, &contents)) << path;
  return contents;
}

void WriteFile(const FilePath& path, const std::string& contents) {
  ASSERT_EQ(static_cast<int>(contents.size()),
            base::WriteFileFromBuffer(path, contents.data(), static_cast<int>(contents.size())));
}

class RecordingObserver : public JsonPrefStore::Observer {
 public:
  void OnPrefValueChanged(const std::string& key) override { changed.push_back(key); }
  void OnInitializationCompleted(bool succeeded) override {
    ++initialized;
    EXPECT_TRUE(succeeded);
  }

  std::vector<std::string> changed;
  int initialized = 0;
};

class JsonPrefStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    path_ = temp_dir_.GetPath().Append(L"installer_prefs.json");
    pool_ = base::MakeRefCounted<base::SequencedWorkerPool>(2, "PrefsTestPool");
  }
  void TearDown() override { pool_->Shutdown(); }

  base::scoped_refptr<JsonPrefStore> OpenStore(const FilePath& path) {
    return base::MakeRefCounted<JsonPrefStore>(
        path, JsonPrefStore::GetTaskRunnerForFile(path, pool_.get()));
  }

  // Waits until the file I/O handed to |path|'s sequence so far is done.
  void FlushFile(const FilePath& path) {
    base::WaitEvent done(base::WaitEvent::ResetPolicy::MANUAL,
                         base::WaitEvent::InitialState::NOT_SIGNALED);
    ASSERT_TRUE(JsonPrefStore::GetTaskRunnerForFile(path, pool_.get())
                    ->PostTask(FROM_HERE, base::BindLambda([&] { done.Signal(); })));
    ASSERT_TRUE(done.TimedWait(TimeDelta::FromSeconds(10)));
  }

  base::MessageLoop loop_;  // For the commit timers.
  base::ScopedTempDir temp_dir_;
  FilePath path_;
  base::scoped_refptr<base::SequencedWorkerPool> pool_;
};

TEST_F(JsonPrefStoreTest, RoundTripThroughTheFile) {
  base::scoped_refptr<JsonPrefStore> store = OpenStore(path_);
  RecordingObserver observer;
  store->AddObserver(&observer);
  EXPECT_FALSE(store->IsInitializationComplete());
  EXPECT_EQ(JsonPrefStore::PREF_READ_ERROR_NO_FILE, store->ReadPrefs());
  EXPECT_EQ(1, observer.initialized);
  EXPECT_FALSE(store->ReadOnly());
  EXPECT_FALSE(store->GetValue("language", nullptr));

  store->SetValue("language", std::make_unique<base::StringValue>("nb"),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  store->SetValue("au.task_error_count", std::make_unique<base::ScalarValue>(3),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  store->SetValueSilently("silent", std::make_unique<base::ScalarValue>(true),
                          JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  // An unchanged value is no change.
  store->SetValue("language", std::make_unique<base::StringValue>("nb"),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  store->SetValue("gone", std::make_unique<base::ScalarValue>(1),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  store->RemoveValue("gone", JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  store->RemoveValue("never there", JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  EXPECT_EQ((std::vector<std::string>{"language", "au.task_error_count", "gone", "gone"}),
            observer.changed);
  // Lossy changes go with the next write.
  store->SetValue("lossy", std::make_unique<base::StringValue>("x"),
                  JsonPrefStore::LOSSY_PREF_WRITE_FLAG);

  store->CommitPendingWrite();
  FlushFile(path_);
  store->RemoveObserver(&observer);

  base::scoped_refptr<JsonPrefStore> reread = OpenStore(path_);
  EXPECT_EQ(JsonPrefStore::PREF_READ_ERROR_NONE, reread->ReadPrefs());
  const base::Value* value = nullptr;
  std::string text;
  int number = 0;
  ASSERT_TRUE(reread->GetValue("language", &value));
  EXPECT_TRUE(value->GetAsString(&text));
  EXPECT_EQ("nb", text);
  ASSERT_TRUE(reread->GetValue("au.task_error_count", &value));
  EXPECT_TRUE(value->GetAsInteger(&number));
  EXPECT_EQ(3, number);
  EXPECT_TRUE(reread->GetValue("silent", nullptr));
  EXPECT_TRUE(reread->GetValue("lossy", nullptr));
  EXPECT_FALSE(reread->GetValue("gone", nullptr));

  // A value changed in place is written once reported.
  base::Value* mutable_value = nullptr;
  ASSERT_TRUE(reread->GetMutableValue("au", &mutable_value));
  base::DictionaryValue* au = nullptr;
  ASSERT_TRUE(mutable_value->GetAsDictionary(&au));
  au->SetInteger("task_error_count", 2);
  reread->ReportValueChanged("au.task_error_count", JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  reread->CommitPendingWrite();
  FlushFile(path_);
  EXPECT_NE(std::string::npos, ReadFile(path_).find("\"task_error_count\": 2"));
}

TEST_F(JsonPrefStoreTest, TheLastReferenceWritesThePendingChanges) {
  base::scoped_refptr<JsonPrefStore> store = OpenStore(path_);
  store->ReadPrefs();
  store->SetValue("autoupdate", std::make_unique<base::ScalarValue>(true),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  // Long before the commit interval ends.
  store = nullptr;
  // The write blocks the pool's shut-down.
  pool_->Shutdown();
  EXPECT_EQ("{\n   \"autoupdate\": true\n}\n", ReadFile(path_));

  // A store let go after the shut-down writes on its own thread.
  const FilePath other = temp_dir_.GetPath().Append(L"au_global_storage");
  base::scoped_refptr<JsonPrefStore> late_store = OpenStore(other);
  late_store->ReadPrefs();
  late_store->SetValue("GS.UUID", std::make_unique<base::StringValue>("1234"),
                       JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  late_store = nullptr;
  EXPECT_NE(std::string::npos, ReadFile(other).find("\"UUID\": \"1234\""));
}

TEST_F(JsonPrefStoreTest, ReadingWithoutChangesLeavesTheFileAsItIs) {
  const FilePath bad_file = temp_dir_.GetPath().Append(L"installer_prefs.json.bad");
  WriteFile(path_, "{\"language\": \"nb\",");
  base::scoped_refptr<JsonPrefStore> store = OpenStore(path_);
  EXPECT_EQ(JsonPrefStore::PREF_READ_ERROR_JSON_PARSE, store->ReadPrefsWithoutChanges());
  EXPECT_TRUE(store->ReadOnly());
  store->SetValue("language", std::make_unique<base::StringValue>("de"),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  store = nullptr;
  FlushFile(path_);
  EXPECT_EQ("{\"language\": \"nb\",", ReadFile(path_));
  EXPECT_FALSE(base::PathExists(bad_file));
}

TEST_F(JsonPrefStoreTest, CorruptFilesAreMovedAsideAndTheStoreStartsEmpty) {
  const FilePath bad_file = temp_dir_.GetPath().Append(L"installer_prefs.json.bad");
  WriteFile(path_, "{\"language\": \"nb\",");
  base::scoped_refptr<JsonPrefStore> store = OpenStore(path_);
  EXPECT_EQ(JsonPrefStore::PREF_READ_ERROR_JSON_PARSE, store->ReadPrefs());
  EXPECT_EQ(JsonPrefStore::PREF_READ_ERROR_JSON_PARSE, store->GetReadError());
  EXPECT_FALSE(store->ReadOnly());
  EXPECT_FALSE(store->GetValue("language", nullptr));
  EXPECT_FALSE(base::PathExists(path_));
  EXPECT_EQ("{\"language\": \"nb\",", ReadFile(bad_file));

  // Corrupt again: the latest bad file is kept.
  WriteFile(path_, "garbage");
  EXPECT_EQ(JsonPrefStore::PREF_READ_ERROR_JSON_REPEAT, OpenStore(path_)->ReadPrefs());
  EXPECT_EQ("garbage", ReadFile(bad_file));

  store->SetValue("language", std::make_unique<base::StringValue>("de"),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  store->CommitPendingWrite();
  FlushFile(path_);
  EXPECT_EQ("{\n   \"language\": \"de\"\n}\n", ReadFile(path_));
}

TEST_F(JsonPrefStoreTest, EveryReadOfAFileCountsIntoOneHistogram) {
  WriteFile(path_, "{\"language\": \"nb\"}");
  base::scoped_refptr<JsonPrefStore> store = OpenStore(path_);
  ASSERT_EQ(JsonPrefStore::PREF_READ_ERROR_NONE, store->ReadPrefs());
  const std::string name = "Settings.JsonDataReadSizeKilobytes.installer_prefs.json";
  base::HistogramBase* const histogram = base::StatisticsRecorder::FindHistogram(name);
  ASSERT_TRUE(histogram);
  const int reads_before = histogram->SnapshotSamples()->TotalCount();
  const size_t histograms = base::StatisticsRecorder::GetHistogramCount();
  // Each read used to leave a new histogram behind.
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(JsonPrefStore::PREF_READ_ERROR_NONE, store->ReadPrefs());
  EXPECT_EQ(histogram, base::StatisticsRecorder::FindHistogram(name));
  EXPECT_EQ(reads_before + 1000, histogram->SnapshotSamples()->TotalCount());
  EXPECT_EQ(histograms, base::StatisticsRecorder::GetHistogramCount());
}

TEST_F(JsonPrefStoreTest, FilesThatAreNotPreferencesAreNeverOverwritten) {
  // Not a dictionary.
  WriteFile(path_, "[1, 2]");
  base::scoped_refptr<JsonPrefStore> store = OpenStore(path_);
  EXPECT_EQ(JsonPrefStore::PREF_READ_ERROR_JSON_TYPE, store->ReadPrefs());
  EXPECT_TRUE(store->ReadOnly());
  // Changes stay in memory.
  store->SetValue("language", std::make_unique<base::StringValue>("nb"),
                  JsonPrefStore::DEFAULT_PREF_WRITE_FLAGS);
  EXPECT_TRUE(store->GetValue("language", nullptr));
  store->CommitPendingWrite();
  store = nullptr;
  FlushFile(path_);
  EXPECT_EQ("[1, 2]", ReadFile(path_));

  // A folder in the file's place cannot be read.
  const FilePath folder = temp_dir_.GetPath().Append(L"folder.json");
  ASSERT_TRUE(base::CreateDirectory(folder));
  base::scoped_refptr<JsonPrefStore> folder_store = OpenStore(folder);
  const JsonPrefStore::PrefReadError error = folder_store->ReadPrefs();
  EXPECT_TRUE(error == JsonPrefStore::PREF_READ_ERROR_ACCESS_DENIED ||
              error == JsonPrefStore::PREF_READ_ERROR_FILE_OTHER)
      << error;
  EXPECT_TRUE(folder_store->ReadOnly());
  EXPECT_TRUE(base::DirectoryExists(folder));
}

TEST_F(JsonPrefStoreTest, OneFileIsOneSequenceHoweverItsPathIsSpelt) {
  base::scoped_refptr<base::SequencedTaskRunner> runner =
      JsonPrefStore::GetTaskRunnerForFile(FilePath(L"C:\\Program Files\\Tavro\\prefs.json"),
                                          pool_.get());
  base::scoped_refptr<base::SequencedTaskRunner> same =
      JsonPrefStore::GetTaskRunnerForFile(FilePath(L"c:/program files/TAVRO/Prefs.json"),
                                          pool_.get());
  base::scoped_refptr<base::SequencedTaskRunner> other =
      JsonPrefStore::GetTaskRunnerForFile(FilePath(L"C:\\Program Files\\Tavro\\other.json"),
                                          pool_.get());
  bool same_sequence = false;
  bool other_sequence = true;
  base::WaitEvent done(base::WaitEvent::ResetPolicy::MANUAL,
                       base::WaitEvent::InitialState::NOT_SIGNALED);
  ASSERT_TRUE(runner->PostTask(FROM_HERE, base::BindLambda([&] {
    same_sequence = same->RunsTasksOnCurrentThread();
    other_sequence = other->RunsTasksOnCurrentThread();
    done.Signal();
  })));
  ASSERT_TRUE(done.TimedWait(TimeDelta::FromSeconds(10)));
  EXPECT_TRUE(same_sequence);
  EXPECT_FALSE(other_sequence);
}

class FakeClock : public base::Clock {
 public:
  explicit FakeClock(base::Time* now) : now_(now) {}
  base::Time Now() override { return *now_; }

 private:
  base::Time* now_;
};

// The counts of |histogram| for the values 0 to 3.
std::vector<base::HistogramBase::Count> CountsOf(base::HistogramBase* histogram) {
  std::unique_ptr<base::HistogramSamples> samples = histogram->SnapshotSamples();
  std::vector<base::HistogramBase::Count> counts;
  for (base::HistogramBase::Sample value = 0; value < 4; ++value)
    counts.push_back(samples->GetCount(value));
  return counts;
}

TEST(JsonPrefStoreWriteCountTest, ReportsTheWritesOfEachInterval) {
  base::Time now = base::Time::FromInternalValue(13000000000000000);
  base::HistogramBase* histogram = base::LinearHistogram::FactoryGet("Test.WriteCount", 10, 11);
  {
    JsonPrefStore::WriteCountHistogram counter(
        TimeDelta::FromSeconds(10), FilePath(L"C:\\profile\\Local State"),
        std::unique_ptr<base::Clock>(new FakeClock(&now)), histogram);
    EXPECT_EQ("Settings.JsonDataWriteCount.Local_State", counter.GetHistogramName());

    // Three writes in the first interval; nothing is reported before it ends.
    for (int i = 0; i < 3; ++i) {
      now += TimeDelta::FromSeconds(30);
      counter.RecordWriteOccured();
    }
    now += TimeDelta::FromMinutes(3);  // 4.5 minutes in.
    counter.ReportOutstandingWrites();
    EXPECT_EQ(0, histogram->SnapshotSamples()->TotalCount());

    // A write 21 minutes in: the first interval reports 3, the three quiet ones 0.
    now += TimeDelta::FromSeconds(990);
    counter.RecordWriteOccured();
    EXPECT_EQ((std::vector<base::HistogramBase::Count>{3, 0, 0, 1}), CountsOf(histogram));

    // The write counts in the interval from 20 to 25 minutes, reported at destruction.
    now += TimeDelta::FromMinutes(5);
  }
  EXPECT_EQ((std::vector<base::HistogramBase::Count>{3, 1, 0, 1}), CountsOf(histogram));
}

}  // namespace
