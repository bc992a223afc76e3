#include "desktop/windows/installer/wininet/stats.h"

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/json/json_reader.h"
#include "base/location.h"
#include "base/threading/thread.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

std::unique_ptr<base::DictionaryValue> Parse(const Stats& stats) {
  return base::DictionaryValue::From(base::JsonReader::Read(stats.ToJson()));
}

// "YYYY-MM-DD hh:mm:ss.mmm".
bool LooksLikeLocalTime(const std::string& text) {
  if (text.size() != 23)
    return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char expected = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':'
                                                                  : i == 19          ? '.'
                                                                                      : '0';
    if (expected == '0' ? (text[i] < '0' || text[i] > '9') : text[i] != expected)
      return false;
  }
  return true;
}

TEST(StatsTest, SetsIncrementsAndRemovesValues) {
  Stats stats(nullptr);
  EXPECT_EQ("{}", stats.ToJson());
  stats.SetString("download_url", "https://dl.tavro.example/a?b=\"c\"");
  stats.SetString("wide", std::wstring(L"\u00e6\u00f8\u00e5"));
  stats.SetInteger("installation_success", true);
  stats.SetInteger("ui.initial_make_default", false);
  stats.Increment("fetcher_restarts");
  stats.Increment("fetcher_restarts");
  stats.SetString("counter", "text");
  stats.Increment("counter");  // Not an integer: counts as 0.
  stats.SetString("failure_reason", "Fetcher error");
  stats.Remove("failure_reason");
  stats.Remove("absent");
  EXPECT_EQ(
      "{\"counter\":1,\"download_url\":\"https://dl.tavro.example/a?b=\\\"c\\\"\","
      "\"fetcher_restarts\":2,\"installation_success\":1,"
      "\"ui\":{\"initial_make_default\":0},\"wide\":\"\xC3\xA6\xC3\xB8\xC3\xA5\"}",
      stats.ToJson());
}

TEST(StatsTest, WritesTimestampsAndTimeStrings) {
  EXPECT_TRUE(LooksLikeLocalTime(Stats::FormatLocalTime())) << Stats::FormatLocalTime();
  Stats stats(nullptr);
  stats.SetTimestamp("start_time");
  stats.SetTimeString("package_ready_time");
  std::unique_ptr<base::DictionaryValue> json = Parse(stats);
  ASSERT_TRUE(json);
  std::string time;
  EXPECT_TRUE(json->GetString("start_time.time", &time));
  EXPECT_TRUE(LooksLikeLocalTime(time)) << time;
  int elapsed = -1;
  EXPECT_TRUE(json->GetInteger("start_time.elapsed", &elapsed));
  EXPECT_GE(elapsed, 0);
  EXPECT_LE(elapsed, Stats::GetMillisecondsSinceProcessStart());
  EXPECT_TRUE(json->GetString("package_ready_time", &time));
  EXPECT_TRUE(LooksLikeLocalTime(time)) << time;
}

TEST(StatsTest, AppendToListHandsOutViewsIntoTheParent) {
  Stats stats(nullptr);
  std::unique_ptr<Stats> first = stats.AppendToList("fetches");
  std::unique_ptr<Stats> second = stats.AppendToList("fetches");
  first->SetInteger("try_number", 0);
  second->SetInteger("try_number", 1);
  std::unique_ptr<Stats> file = second->AppendToList("addtional_files");
  std::unique_ptr<Stats> try_record = file->AppendToList("download_tries");
  try_record->Increment("try_number");
  file->SetInteger("download_succeeded", 1);
  EXPECT_EQ("{\"try_number\":0}", first->ToJson());
  EXPECT_EQ(
      "{\"fetches\":[{\"try_number\":0},{\"addtional_files\":[{\"download_succeeded\":1,"
      "\"download_tries\":[{\"try_number\":1}]}],\"try_number\":1}]}",
      stats.ToJson());

  // A value of another type at the key gives way to a new list.
  stats.SetString("other", "x");
  stats.AppendToList("other")->SetString("k", "v");
  EXPECT_NE(std::string::npos, stats.ToJson().find("\"other\":[{\"k\":\"v\"}]"));

  // Views whose list is gone write nowhere; a view may outlive its root.
  stats.Remove("fetches");
  first->SetString("lost", "x");
  try_record->SetString("lost", "x");
  EXPECT_EQ("{}", try_record->ToJson());
  EXPECT_EQ(std::string::npos, stats.ToJson().find("lost"));
  auto root = std::make_unique<Stats>(nullptr);
  std::unique_ptr<Stats> orphan = root->AppendToList("fetches");
  root.reset();
  orphan->SetInteger("try_number", 2);
  EXPECT_EQ("{\"try_number\":2}", orphan->ToJson());
}

TEST(StatsTest, ViewOfARemovedRecordNeverWritesIntoItsSuccessor) {
  Stats stats(nullptr);
  std::unique_ptr<Stats> old_fetch = stats.AppendToList("fetches");
  std::unique_ptr<Stats> old_try = old_fetch->AppendToList("download_tries");
  old_fetch->SetInteger("try_number", 0);

  // The same key and index now hold new records.
  stats.Remove("fetches");
  std::unique_ptr<Stats> new_fetch = stats.AppendToList("fetches");
  std::unique_ptr<Stats> new_try = new_fetch->AppendToList("download_tries");
  new_fetch->SetInteger("try_number", 1);
  old_fetch->SetString("lost", "x");
  old_fetch->Increment("try_number");
  old_try->SetInteger("lost", 1);
  old_fetch->AppendToList("download_tries")->SetInteger("lost", 2);
  EXPECT_EQ("{}", old_fetch->ToJson());
  EXPECT_EQ("{}", old_try->ToJson());
  EXPECT_EQ("{\"fetches\":[{\"download_tries\":[{}],\"try_number\":1}]}", stats.ToJson());

  // Records replaced by a value of another type, then by a new list, are gone as well.
  stats.SetString("fetches", "replaced");
  std::unique_ptr<Stats> third_fetch = stats.AppendToList("fetches");
  new_fetch->SetInteger("lost", 3);
  new_try->SetInteger("lost", 4);
  third_fetch->SetInteger("try_number", 2);
  EXPECT_EQ("{\"fetches\":[{\"try_number\":2}]}", stats.ToJson());
}

TEST(StatsTest, IsSafeFromSeveralThreads) {
  Stats stats(nullptr);
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  std::vector<std::unique_ptr<base::Thread>> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.push_back(std::make_unique<base::Thread>("Stats test " + std::to_string(i)));
    ASSERT_TRUE(threads.back()->Start());
    threads.back()->GetTaskRunner()->PostTask(FROM_HERE, base::BindLambda([&stats]() {
      for (int round = 0; round < kRounds; ++round) {
        stats.Increment("count");
        std::unique_ptr<Stats> record = stats.AppendToList("records");
        record->SetTimestamp("at");
        record->Increment("n");
        if (round % 50 == 0)
          stats.ToJson();
      }
    }));
  }
  for (auto& thread : threads)
    thread->Stop();
  std::unique_ptr<base::DictionaryValue> json = Parse(stats);
  ASSERT_TRUE(json);
  int count = 0;
  EXPECT_TRUE(json->GetInteger("count", &count));
  EXPECT_EQ(kThreads * kRounds, count);
  const base::ListValue* records = nullptr;
  ASSERT_TRUE(json->GetList("records", &records));
  ASSERT_EQ(static_cast<size_t>(kThreads * kRounds), records->GetSize());
  for (size_t i = 0; i < records->GetSize(); ++i) {
    const base::DictionaryValue* record = nullptr;
    ASSERT_TRUE(records->GetDictionary(i, &record));
    int n = 0;
    EXPECT_TRUE(record->GetInteger("n", &n));
    EXPECT_EQ(1, n);
  }
}

}  // namespace
}  // namespace installer
