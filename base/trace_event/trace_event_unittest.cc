#include "base/trace_event/trace_event.h"

#include <windows.h>
#include <math.h>
#include <string.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/json/json_reader.h"
#include "base/trace_event/category_pattern.h"
#include "base/trace_event/trace_buffer.h"
#include "base/trace_event/trace_config.h"
#include "base/trace_event/traced_value.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

uint64_t Bits(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  return bits;
}

uint64_t Text(const char* text) {
  return reinterpret_cast<uintptr_t>(text);
}

// Fills |event| with up to two arguments.
void Fill(TraceEvent* event,
          char phase,
          const unsigned char* category,
          const char* name,
          std::vector<const char*> names = {},
          std::vector<unsigned char> types = {},
          std::vector<uint64_t> values = {},
          uint32_t flags = kTraceEventFlagNone,
          uint64_t id = 0,
          int thread_id = 17) {
  event->Initialize(thread_id, 1000, 0, phase, category, name, nullptr, id, 0,
                    static_cast<int>(names.size()), names.data(), types.data(), values.data(),
                    nullptr, flags);
}

std::string ToJson(const TraceEvent& event,
                   const TraceEvent::ArgumentFilterPredicate& filter = nullptr) {
  std::string json;
  event.AppendAsJson(&json, filter);
  return json;
}

// The event's JSON, read back.
std::unique_ptr<DictionaryValue> ReadBack(
    const TraceEvent& event,
    const TraceEvent::ArgumentFilterPredicate& filter = nullptr) {
  const std::string json = ToJson(event, filter);
  std::unique_ptr<DictionaryValue> value = DictionaryValue::From(JsonReader::Read(json));
  EXPECT_TRUE(value) << json;
  return value ? std::move(value) : std::make_unique<DictionaryValue>();
}

std::string StringOf(const DictionaryValue& event, const char* path) {
  std::string text;
  event.GetString(path, &text);
  return text;
}

TEST(TraceEventTest, JsonExportReadsBackForEveryPhaseAndArgumentKind) {
  const unsigned char* category = TraceLog::GetCategoryEnabledFlag("test.json");
  for (const char phase : std::string("BEXIMbesfnCSTFpPNODtv")) {
    TraceEvent event;
    Fill(&event, phase, category, "Phase");
    const std::unique_ptr<DictionaryValue> value = ReadBack(event);
    EXPECT_EQ(std::string(1, phase), StringOf(*value, "ph"));
    EXPECT_EQ("test.json", StringOf(*value, "cat"));
    int number = 0;
    EXPECT_TRUE(value->GetInteger("tid", &number));
    EXPECT_EQ(17, number);
    EXPECT_TRUE(value->GetInteger("pid", &number));
    EXPECT_EQ(static_cast<int>(::GetCurrentProcessId()), number);
  }

  TraceEvent scalars;
  Fill(&scalars, 'X', category, "Scalars", {"int", "uint"},
       {kTraceValueTypeInt, kTraceValueTypeUint}, {static_cast<uint64_t>(-5), 42});
  scalars.UpdateDuration(1250, 0);
  std::unique_ptr<DictionaryValue> value = ReadBack(scalars);
  int number = 0;
  EXPECT_TRUE(value->GetInteger("args.int", &number));
  EXPECT_EQ(-5, number);
  EXPECT_TRUE(value->GetInteger("args.uint", &number));
  EXPECT_EQ(42, number);
  EXPECT_TRUE(value->GetInteger("dur", &number));
  EXPECT_EQ(250, number);
  EXPECT_FALSE(value->HasKey("tdur"));

  // Doubles keep reading back as doubles; non-finite ones become strings.
  const struct {
    double value;
    const char* json;
  } doubles[] = {{1, ":1.0}"},     {0.5, ":0.5}"},
                 {-0.25, ":-0.25}"}, {1e300, ":1e+300}"},
                 {std::numeric_limits<double>::quiet_NaN(), ":\"NaN\"}"},
                 {std::numeric_limits<double>::infinity(), ":\"Infinity\"}"},
                 {-std::numeric_limits<double>::infinity(), ":\"-Infinity\"}"}};
  for (const auto& d : doubles) {
    TraceEvent event;
    Fill(&event, 'I', category, "Double", {"d"}, {kTraceValueTypeDouble}, {Bits(d.value)});
    const std::string json = ToJson(event);
    EXPECT_NE(std::string::npos, json.find(std::string("\"d\"") + d.json)) << json;
    ReadBack(event);
  }

  int target = 0;
  TraceEvent others;
  Fill(&others, 'I', category, "Others", {"flag", "pointer"},
       {kTraceValueTypeBool, kTraceValueTypePointer}, {1, reinterpret_cast<uintptr_t>(&target)},
       kTraceEventScopeThread);
  value = ReadBack(others);
  bool flag = false;
  EXPECT_TRUE(value->GetBoolean("args.flag", &flag));
  EXPECT_TRUE(flag);
  char pointer[32];
  snprintf(pointer, sizeof(pointer), "0x%llx",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&target)));
  EXPECT_EQ(pointer, StringOf(*value, "args.pointer"));
  EXPECT_EQ("t", StringOf(*value, "s"));

  // A structured argument writes itself.
  auto traced = std::make_unique<TracedValue>();
  traced->SetInteger("inner", 3);
  std::unique_ptr<ConvertableToTraceFormat> convertables[2] = {std::move(traced), nullptr};
  const char* convertable_name = "structured";
  const unsigned char convertable_type = kTraceValueTypeConvertable;
  TraceEvent structured;
  structured.Initialize(1, 1, 0, 'I', category, "Structured", nullptr, 0, 0, 1,
                        &convertable_name, &convertable_type, nullptr, convertables, 0);
  EXPECT_EQ(nullptr, convertables[0]);
  value = ReadBack(structured);
  EXPECT_TRUE(value->GetInteger("args.structured.inner", &number));
  EXPECT_EQ(3, number);
}

TEST(TraceEventTest, HostileStringsAreEscapedAndCopiesOutliveTheCaller) {
  const std::string evil_category = "evil\"cat\\<";
  const unsigned char* category = TraceLog::GetCategoryEnabledFlag(evil_category.c_str());
  char name[] = "name\"with\nbreaks";
  char arg_name[] = "arg\\name";
  char text[] = "quote\" back\\ tab\t ctl\x01 lt< sep\xE2\x80\xA8 bad\xFF end";
  TraceEvent event;
  Fill(&event, 'I', category, name, {arg_name, "null"},
       {kTraceValueTypeString, kTraceValueTypeString}, {Text(text), 0}, kTraceEventFlagCopy);
  // The copies are the event's own.
  memset(name, 'x', sizeof(name) - 1);
  memset(arg_name, 'x', sizeof(arg_name) - 1);
  memset(text, 'x', sizeof(text) - 1);

  const std::string json = ToJson(event);
  EXPECT_NE(std::string::npos, json.find("ctl\\u0001")) << json;
  EXPECT_NE(std::string::npos, json.find("lt\\u003C")) << json;
  const std::unique_ptr<DictionaryValue> value = DictionaryValue::From(JsonReader::Read(json));
  ASSERT_TRUE(value) << json;
  EXPECT_EQ(evil_category, StringOf(*value, "cat"));
  EXPECT_EQ("name\"with\nbreaks", StringOf(*value, "name"));
  const DictionaryValue* args = nullptr;
  ASSERT_TRUE(value->GetDictionary("args", &args));
  std::string arg;
  ASSERT_TRUE(args->GetString("arg\\name", &arg));
  EXPECT_EQ("quote\" back\\ tab\t ctl\x01 lt< sep\xE2\x80\xA8 bad\xEF\xBF\xBD end", arg);
  EXPECT_EQ("NULL", StringOf(*args, "null"));

  // A scope is escaped too.
  TraceEvent scoped;
  scoped.Initialize(1, 1, 0, 'b', category, "Scoped", "scope\"x", 0x2a, 0, 0, nullptr, nullptr,
                    nullptr, nullptr, kTraceEventFlagHasId);
  const std::unique_ptr<DictionaryValue> scoped_value = ReadBack(scoped);
  EXPECT_EQ("scope\"x", StringOf(*scoped_value, "scope"));
  EXPECT_EQ("0x2a", StringOf(*scoped_value, "id"));
}

TEST(TraceEventTest, IdsFlowsProcessIdsAndFiltersHaveTheirKeys) {
  const unsigned char* category = TraceLog::GetCategoryEnabledFlag("test.ids");
  TraceEvent local;
  Fill(&local, 'n', category, "Local", {}, {}, {}, kTraceEventFlagHasLocalId, 0xab);
  EXPECT_EQ("0xab", StringOf(*ReadBack(local), "id2.local"));
  TraceEvent global;
  Fill(&global, 'n', category, "Global", {}, {}, {},
       kTraceEventFlagHasGlobalId | kTraceEventFlagAsyncTts, 0xcd);
  const std::unique_ptr<DictionaryValue> global_value = ReadBack(global);
  EXPECT_EQ("0xcd", StringOf(*global_value, "id2.global"));
  EXPECT_TRUE(global_value->HasKey("use_async_tts"));

  TraceEvent flow;
  flow.Initialize(1, 1, 0, 'X', category, "Flow", nullptr, 0, 0x99, 0, nullptr, nullptr, nullptr,
                  nullptr,
                  kTraceEventFlagFlowIn | kTraceEventFlagFlowOut | kTraceEventFlagBindToEnclosing);
  const std::unique_ptr<DictionaryValue> flow_value = ReadBack(flow);
  EXPECT_EQ("0x99", StringOf(*flow_value, "bind_id"));
  EXPECT_EQ("e", StringOf(*flow_value, "bp"));
  bool flag = false;
  EXPECT_TRUE(flow_value->GetBoolean("flow_in", &flag) && flag);
  EXPECT_TRUE(flow_value->GetBoolean("flow_out", &flag) && flag);
  EXPECT_FALSE(flow_value->HasKey("dur"));  // Not completed.

  // The thread-id field holds another process's id; 0 stands for this process.
  int number = 0;
  TraceEvent other_process;
  Fill(&other_process, 'I', category, "Other", {}, {}, {}, kTraceEventFlagHasProcessId, 0, 77);
  std::unique_ptr<DictionaryValue> value = ReadBack(other_process);
  EXPECT_TRUE(value->GetInteger("pid", &number));
  EXPECT_EQ(77, number);
  EXPECT_TRUE(value->GetInteger("tid", &number));
  EXPECT_EQ(-1, number);
  TraceEvent own_process;
  Fill(&own_process, 'I', category, "Own", {}, {}, {}, kTraceEventFlagHasProcessId, 0, 0);
  value = ReadBack(own_process);
  EXPECT_TRUE(value->GetInteger("pid", &number));
  EXPECT_EQ(static_cast<int>(::GetCurrentProcessId()), number);
  EXPECT_TRUE(value->GetInteger("tid", &number));
  EXPECT_EQ(0, number);

  for (const auto& scope : {std::make_pair(kTraceEventScopeGlobal, "g"),
                            std::make_pair(kTraceEventScopeProcess, "p"),
                            std::make_pair(static_cast<TraceEventScope>(0x18), "?")}) {
    TraceEvent instant;
    Fill(&instant, 'I', category, "Instant", {}, {}, {}, scope.first);
    EXPECT_EQ(scope.second, StringOf(*ReadBack(instant), "s"));
  }

  // An export filter strips what it rejects.
  TraceEvent secret;
  Fill(&secret, 'I', category, "Secret", {"public", "secret"},
       {kTraceValueTypeInt, kTraceValueTypeInt}, {1, 2});
  const TraceEvent::ArgumentFilterPredicate reject_all = BindLambda(
      [](const char*, const char*, TraceEvent::ArgumentNameFilterPredicate*) { return false; });
  EXPECT_EQ("__stripped__", StringOf(*ReadBack(secret, reject_all), "args"));
  const TraceEvent::ArgumentFilterPredicate by_name = BindLambda(
      [](const char* category_group, const char*,
         TraceEvent::ArgumentNameFilterPredicate* arg_filter) {
        EXPECT_STREQ("test.ids", category_group);
        *arg_filter = BindLambda([](const char* arg) { return strcmp(arg, "secret") != 0; });
        return true;
      });
  value = ReadBack(secret, by_name);
  EXPECT_TRUE(value->GetInteger("args.public", &number));
  EXPECT_EQ("__stripped__", StringOf(*value, "args.secret"));

  std::string pretty;
  secret.AppendPrettyPrinted(&pretty);
  EXPECT_EQ("Secret[test.ids], {public:1, secret:2}", pretty);
}

TEST(TraceBufferTest, AVectorBufferFillsChunkByChunkAndReportsFullAtItsLimit) {
  std::unique_ptr<TraceBuffer> buffer = TraceBuffer::CreateTraceBufferVectorOfSize(3);
  EXPECT_EQ(3u * 64, buffer->Capacity());
  size_t index = 99;
  std::unique_ptr<TraceBufferChunk> first = buffer->GetChunk(&index);
  ASSERT_TRUE(first);
  EXPECT_EQ(0u, index);
  EXPECT_EQ(1u, first->seq());
  const unsigned char* category = TraceLog::GetCategoryEnabledFlag("test.buffer");
  TraceEventHandle handle;
  for (size_t i = 0; i < TraceBufferChunk::kTraceBufferChunkSize; ++i) {
    size_t event_index;
    TraceEvent* event = first->AddTraceEvent(&event_index);
    ASSERT_TRUE(event);
    EXPECT_EQ(i, event_index);
    Fill(event, 'I', category, "Event");
    MakeTraceEventHandle(first->seq(), index, event_index, &handle);
  }
  EXPECT_TRUE(first->IsFull());
  size_t ignored;
  EXPECT_EQ(nullptr, first->AddTraceEvent(&ignored));
  // The 65th event goes into a new chunk.
  size_t second_index;
  std::unique_ptr<TraceBufferChunk> second = buffer->GetChunk(&second_index);
  EXPECT_EQ(1u, second_index);
  EXPECT_EQ(2u, second->seq());

  // Not resolvable while the chunk is out, resolvable once it is back.
  EXPECT_EQ(nullptr, buffer->GetEventByHandle(handle));
  buffer->ReturnChunk(index, std::move(first));
  ASSERT_TRUE(buffer->GetEventByHandle(handle));
  EXPECT_EQ(63u, handle.event_index);
  EXPECT_STREQ("Event", buffer->GetEventByHandle(handle)->name());

  // Full once every chunk was handed out, even with one still in flight.
  EXPECT_FALSE(buffer->IsFull());
  size_t third_index;
  std::unique_ptr<TraceBufferChunk> third = buffer->GetChunk(&third_index);
  EXPECT_TRUE(buffer->IsFull());
  buffer->ReturnChunk(third_index, std::move(third));

  // The walk for export skips the chunk in flight.
  int walked = 0;
  while (buffer->NextChunk())
    ++walked;
  EXPECT_EQ(2, walked);
  buffer->ReturnChunk(second_index, std::move(second));
}

TEST(TraceBufferTest, ARingBufferRecyclesItsChunksAndHasNoneWhenAllAreOut) {
  std::unique_ptr<TraceBuffer> buffer = TraceBuffer::CreateTraceBufferRingBuffer(2);
  EXPECT_FALSE(buffer->IsFull());
  size_t a_index, b_index, c_index;
  std::unique_ptr<TraceBufferChunk> a = buffer->GetChunk(&a_index);
  std::unique_ptr<TraceBufferChunk> b = buffer->GetChunk(&b_index);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(0u, a_index);
  EXPECT_EQ(1u, b_index);
  // Every chunk is out: none to hand out.
  EXPECT_EQ(nullptr, buffer->GetChunk(&c_index));

  const unsigned char* category = TraceLog::GetCategoryEnabledFlag("test.buffer");
  size_t event_index;
  Fill(a->AddTraceEvent(&event_index), 'I', category, "Old");
  TraceEventHandle old_handle;
  MakeTraceEventHandle(a->seq(), a_index, event_index, &old_handle);
  buffer->ReturnChunk(a_index, std::move(a));
  ASSERT_TRUE(buffer->GetEventByHandle(old_handle));

  // The oldest chunk comes back, emptied and renumbered: old handles resolve to nothing.
  std::unique_ptr<TraceBufferChunk> reused = buffer->GetChunk(&c_index);
  ASSERT_TRUE(reused);
  EXPECT_EQ(0u, c_index);
  EXPECT_EQ(3u, reused->seq());
  EXPECT_EQ(0u, reused->size());
  buffer->ReturnChunk(c_index, std::move(reused));
  EXPECT_EQ(nullptr, buffer->GetEventByHandle(old_handle));
  buffer->ReturnChunk(b_index, std::move(b));
  EXPECT_EQ(2u * 64, buffer->Size());
}

TEST(TraceConfigTest, CategoryGroupsFollowIncludedExcludedAndDisabledByDefaultLists) {
  TraceConfig config;
  config.included_categories = {"a"};
  EXPECT_TRUE(config.IsCategoryGroupEnabled("a,b"));
  EXPECT_TRUE(config.IsCategoryGroupEnabled("b,a"));
  EXPECT_FALSE(config.IsCategoryGroupEnabled("b"));

  config.Clear();
  config.excluded_categories = {"a"};
  EXPECT_TRUE(config.IsCategoryGroupEnabled("a,b"));  // b is not excluded.
  EXPECT_FALSE(config.IsCategoryGroupEnabled("a"));
  EXPECT_TRUE(config.IsCategoryGroupEnabled("c"));

  config.Clear();
  EXPECT_FALSE(config.IsCategoryGroupEnabled("disabled-by-default-x,disabled-by-default-y"));
  EXPECT_TRUE(config.IsCategoryGroupEnabled("disabled-by-default-x,a"));
  config.disabled_categories = {"disabled-by-default-y"};
  EXPECT_TRUE(config.IsCategoryGroupEnabled("disabled-by-default-x,disabled-by-default-y"));

  TraceFilterConfig filter("any");
  filter.included_categories = {"a*"};
  filter.excluded_categories = {"ab"};
  EXPECT_TRUE(filter.IsCategoryGroupEnabled("c,abc"));
  EXPECT_FALSE(filter.IsCategoryGroupEnabled("ab,abc"));  // An excluded name ends the test.
  EXPECT_FALSE(filter.IsCategoryGroupEnabled("c"));
}

TEST(TraceConfigTest, PatternsMatchByCodePointWithStarsQuestionMarksAndEscapes) {
  EXPECT_TRUE(MatchCategoryPattern("", "*"));
  EXPECT_TRUE(MatchCategoryPattern("anything", "*"));
  EXPECT_TRUE(MatchCategoryPattern("ac", "a?c"));
  EXPECT_TRUE(MatchCategoryPattern("abc", "a?c"));
  EXPECT_FALSE(MatchCategoryPattern("abbc", "a?c"));
  EXPECT_TRUE(MatchCategoryPattern("disabled-by-default-x", "disabled-by-default-*"));
  EXPECT_FALSE(MatchCategoryPattern("x-disabled-by-default", "disabled-by-default-*"));
  EXPECT_TRUE(MatchCategoryPattern("a*b", "a\\*b"));
  EXPECT_FALSE(MatchCategoryPattern("axb", "a\\*b"));
  // One wild card stands for one code point, not one byte.
  EXPECT_TRUE(MatchCategoryPattern("a\xC3\xA9" "c", "a?c"));
  // Backtracking deeper than 16 wild cards gives up.
  EXPECT_TRUE(MatchCategoryPattern("abcdefgh", "*a*b*c*d*e*f*g*h"));
  EXPECT_TRUE(MatchCategoryPattern(std::string(16, 'a'), std::string(16, '?')));
  EXPECT_FALSE(MatchCategoryPattern(std::string(17, 'a'), std::string(17, '?')));
}

}  // namespace
}  // namespace trace_event
}  // namespace base
