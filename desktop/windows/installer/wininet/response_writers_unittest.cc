#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_reader.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/wininet/download_event_recorder.h"
#include "desktop/windows/installer/wininet/file_response_writer.h"
#include "desktop/windows/installer/wininet/memory_response_writer.h"
#include "desktop/windows/installer/wininet/stats.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ResponseWritersTest, FileWriterWritesResetsAndCloses) {
  base::ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const base::FilePath path = temp_dir.GetPath().Append(L"download.tmp");
  ASSERT_TRUE(base::WriteFileFromBuffer(path, "old contents", 12));

  FileResponseWriter writer;
  ASSERT_TRUE(writer.Open(path));  // Truncates.
  EXPECT_TRUE(writer.Write("first", 5));
  EXPECT_TRUE(writer.Reset());
  EXPECT_TRUE(writer.Write("sec\0nd", 6));
  EXPECT_TRUE(writer.Write("!", 1));
  EXPECT_TRUE(writer.Finish());
  // Closed: the file can be moved away at once.
  EXPECT_TRUE(base::MovePath(path, temp_dir.GetPath().Append(L"moved.tmp")));
  std::string contents;
  ASSERT_TRUE(base::ReadFileToString(temp_dir.GetPath().Append(L"moved.tmp"), &contents));
  EXPECT_EQ(std::string("sec\0nd!", 7), contents);
  EXPECT_FALSE(writer.Write("x", 1));

  // Small pieces are gathered, large ones written through, in their order; a reset drops
  // gathered and written bytes alike.
  const std::string piece(700 * 1024, 'a');
  const std::string large(3 * 1024 * 1024 + 5, 'b');
  ASSERT_TRUE(writer.Open(path));
  EXPECT_TRUE(writer.Write(piece.data(), piece.size()));
  EXPECT_TRUE(writer.Write(piece.data(), piece.size()));
  EXPECT_TRUE(writer.Reset());
  EXPECT_TRUE(writer.Write("c", 1));
  EXPECT_TRUE(writer.Write(large.data(), large.size()));
  EXPECT_TRUE(writer.Write(piece.data(), piece.size()));
  EXPECT_TRUE(writer.Write("d", 1));
  EXPECT_TRUE(writer.Finish());
  ASSERT_TRUE(base::ReadFileToString(path, &contents));
  EXPECT_TRUE(contents == "c" + large + piece + "d") << contents.size();

  FileResponseWriter unopened;
  EXPECT_FALSE(unopened.Open(temp_dir.GetPath().Append(L"missing\\folder\\file.tmp")));
  EXPECT_FALSE(unopened.Write("x", 1));
  EXPECT_FALSE(unopened.Finish());
}

TEST(ResponseWritersTest, MemoryWriterAppendsAndResetsOnlyItsOwnPart) {
  std::string text = "before|";
  MemoryResponseWriter writer(&text);
  EXPECT_TRUE(writer.Write("abc", 3));
  EXPECT_TRUE(writer.Reset());
  EXPECT_EQ("before|", text);
  EXPECT_TRUE(writer.Write("de\0f", 4));
  EXPECT_TRUE(writer.Finish());
  EXPECT_EQ(std::string("before|de\0f", 11), text);

  // A bounded writer keeps no byte past its bound; what came before stays.
  std::string bounded = "kept";
  MemoryResponseWriter small(&bounded, 5);
  EXPECT_TRUE(small.Write("12345", 5));
  EXPECT_FALSE(small.Write("6", 1));
  EXPECT_EQ("kept12345", bounded);
  EXPECT_TRUE(small.Reset());
  EXPECT_FALSE(small.Write("123456", 6));
  EXPECT_EQ("kept", bounded);
}

// Sends every event to |sink|.
void SendAllEvents(DownloadEventSink* sink) {
  sink->OnStarted(L"https://dl.tavro.example/p.exe");
  sink->OnRequest(1024);
  sink->OnRedirect(L"https://cdn.tavro.example/p.exe");
  sink->OnError(12030, 0, "HttpSendRequest failed");
  sink->OnRetry(2, base::TimeDelta::FromSeconds(4));
  sink->OnStalled();
  sink->OnFinished(4096);
}

std::unique_ptr<base::DictionaryValue> Parse(const Stats& stats) {
  return base::DictionaryValue::From(base::JsonReader::Read(stats.ToJson()));
}

TEST(DownloadEventRecordersTest, PlainSinkRecordsNothingErrorRecorderOnlyErrors) {
  DownloadEventSink plain;
  SendAllEvents(&plain);

  Stats stats(nullptr);
  DownloadErrorRecorder recorder(&stats, "fetch_download_url_");
  SendAllEvents(&recorder);
  std::unique_ptr<base::DictionaryValue> json = Parse(stats);
  ASSERT_TRUE(json);
  EXPECT_EQ(1u, json->size());
  const base::ListValue* errors = nullptr;
  ASSERT_TRUE(json->GetList("fetch_download_url_error", &errors));
  ASSERT_EQ(1u, errors->GetSize());
  const base::DictionaryValue* error = nullptr;
  ASSERT_TRUE(errors->GetDictionary(0, &error));
  int value = 0;
  EXPECT_TRUE(error->GetInteger("code", &value));
  EXPECT_EQ(12030, value);
  EXPECT_TRUE(error->GetInteger("http_status", &value));
  EXPECT_EQ(0, value);
  std::string text;
  EXPECT_TRUE(error->GetString("text", &text));
  EXPECT_EQ("HttpSendRequest failed", text);
  EXPECT_TRUE(error->GetString("at.time", &text));
  EXPECT_TRUE(error->GetInteger("at.elapsed", &value));
}

TEST(DownloadEventRecordersTest, EventRecorderRecordsEveryEventUnderItsPrefix) {
  Stats stats(nullptr);
  std::unique_ptr<Stats> fetch = stats.AppendToList("fetches");
  DownloadEventRecorder recorder(fetch.get(), "download_chunks");
  SendAllEvents(&recorder);
  recorder.OnRequest(0);

  std::unique_ptr<base::DictionaryValue> json = Parse(*fetch);
  ASSERT_TRUE(json);
  for (const char* name : {"started", "request", "redirect", "error", "retry", "stalled",
                           "finished"}) {
    const base::ListValue* list = nullptr;
    EXPECT_TRUE(json->GetList(std::string("download_chunks") + name, &list)) << name;
  }
  EXPECT_EQ(7u, json->size());
  const base::ListValue* requests = nullptr;
  ASSERT_TRUE(json->GetList("download_chunksrequest", &requests));
  EXPECT_EQ(2u, requests->GetSize());
  const base::DictionaryValue* record = nullptr;
  ASSERT_TRUE(requests->GetDictionary(0, &record));
  int value = -1;
  EXPECT_TRUE(record->GetInteger("offset", &value));
  EXPECT_EQ(1024, value);

  const base::ListValue* list = nullptr;
  ASSERT_TRUE(json->GetList("download_chunksstarted", &list));
  ASSERT_TRUE(list->GetDictionary(0, &record));
  std::string url;
  EXPECT_TRUE(record->GetString("url", &url));
  EXPECT_EQ("https://dl.tavro.example/p.exe", url);
  ASSERT_TRUE(json->GetList("download_chunksretry", &list));
  ASSERT_TRUE(list->GetDictionary(0, &record));
  EXPECT_TRUE(record->GetInteger("retry", &value));
  EXPECT_EQ(2, value);
  EXPECT_TRUE(record->GetInteger("delay_ms", &value));
  EXPECT_EQ(4000, value);
  ASSERT_TRUE(json->GetList("download_chunksfinished", &list));
  ASSERT_TRUE(list->GetDictionary(0, &record));
  EXPECT_TRUE(record->GetInteger("size", &value));
  EXPECT_EQ(4096, value);

  // The view wrote into the parent.
  EXPECT_NE(std::string::npos, stats.ToJson().find("{\"fetches\":[{\"download_chunkserror\""));
}

}  // namespace
}  // namespace installer
