#include "base/trace_event/trace_log.h"

#include <windows.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/memory/weak_ptr.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/string_split.h"
#include "base/strings/stringprintf.h"
#include "base/synchronization/wait_event.h"
#include "base/test/child_test_process.h"
#include "base/test/run_loop_watchdog.h"
#include "base/test/scoped_log_capture.h"
#include "base/threading/thread.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/trace_event_etw_export.h"
#include "base/trace_event/trace_event_filter.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

constexpr TimeDelta kTimeout = TimeDelta::FromSeconds(30);

int g_argument_evaluations = 0;

int CountedArgument() {
  return ++g_argument_evaluations;
}

// Records the categories matching |included| while it lives; Stop hands back the events.
class ScopedRecording {
 public:
  explicit ScopedRecording(std::vector<std::string> included,
                           int options = TraceLog::kRecordUntilFull) {
    TraceConfig config;
    config.included_categories = std::move(included);
    TraceLog::GetInstance()->SetEnabled(config, TraceLog::RECORDING_MODE, options);
  }
  explicit ScopedRecording(const TraceConfig& config, uint8_t modes) : modes_(modes) {
    TraceLog::GetInstance()->SetEnabled(config, modes, TraceLog::kRecordUntilFull);
  }
  ScopedRecording(const ScopedRecording&) = delete;
  ScopedRecording& operator=(const ScopedRecording&) = delete;
  ~ScopedRecording() { TraceLog::GetInstance()->SetDisabled(modes_); }

  // Stops recording and returns the recorded events, parsed back.
  std::unique_ptr<ListValue> Stop() {
    TraceLog::GetInstance()->SetDisabled(modes_);
    std::string json;
    EXPECT_TRUE(TraceLog::GetInstance()->TakeBufferedEventsAsJson(
        &json, TraceEvent::ArgumentFilterPredicate()));
    std::unique_ptr<Value> value = JsonReader::Read(json);
    EXPECT_TRUE(value) << json;
    ListValue* list = nullptr;
    if (!value || !value->GetAsList(&list))
      return std::make_unique<ListValue>();
    return std::unique_ptr<ListValue>(static_cast<ListValue*>(value.release()));
  }

 private:
  const uint8_t modes_ = TraceLog::RECORDING_MODE;
};

std::string StringOf(const DictionaryValue* event, const char* path) {
  std::string text;
  if (event)
    event->GetString(path, &text);
  return text;
}

// The events named |name|, in recording order.
std::vector<const DictionaryValue*> FindEvents(const ListValue& events, const std::string& name) {
  std::vector<const DictionaryValue*> found;
  for (size_t i = 0; i < events.GetSize(); ++i) {
    const DictionaryValue* event = nullptr;
    if (events.GetDictionary(i, &event) && StringOf(event, "name") == name)
      found.push_back(event);
  }
  return found;
}

const DictionaryValue* FindEvent(const ListValue& events, const std::string& name) {
  const std::vector<const DictionaryValue*> found = FindEvents(events, name);
  return found.empty() ? nullptr : found.front();
}

TEST(TraceLogTest, DisabledCategoriesCostOneByteTestAndRecordNothing) {
  const unsigned char* toplevel = TraceLog::GetCategoryEnabledFlag("toplevel");
  EXPECT_STREQ("toplevel", TraceLog::GetCategoryGroupName(toplevel));
  EXPECT_EQ(toplevel, TraceLog::GetCategoryEnabledFlag("toplevel"));
  const unsigned char* metadata = TraceLog::GetCategoryEnabledFlag("__metadata");
  // The fixed entries lie next to each other, "__metadata" just before "toplevel".
  EXPECT_LT(metadata, toplevel);

  // A new group is copied: the caller's text need not live on.
  std::string name = "fast.path.group";
  const unsigned char* group = TraceLog::GetCategoryEnabledFlag(name.c_str());
  name = "overwritten";
  EXPECT_STREQ("fast.path.group", TraceLog::GetCategoryGroupName(group));
  EXPECT_EQ(group, TraceLog::GetCategoryEnabledFlag("fast.path.group"));
  EXPECT_EQ(0, *group);
  EXPECT_NE(group, TraceLog::GetCategoryEnabledFlag("fast.path.group,other"));

  // Off, a site neither evaluates its arguments nor takes a chunk. (What threads of other
  // tests handed back after their recording is taken out first.)
  std::string json;
  ASSERT_TRUE(TraceLog::GetInstance()->TakeBufferedEventsAsJson(
      &json, TraceEvent::ArgumentFilterPredicate()));
  g_argument_evaluations = 0;
  for (int i = 0; i < 3; ++i) {
    TRACE_EVENT1("fast.path.group", "Scoped", "n", CountedArgument());
    TRACE_EVENT_INSTANT1("fast.path.group", "Instant", TRACE_EVENT_SCOPE_THREAD, "n",
                         CountedArgument());
  }
  TraceLog::GetInstance()->UpdateTraceEventDuration(group, "Scoped", TraceEventHandle());
  EXPECT_EQ(0, g_argument_evaluations);
  ASSERT_TRUE(TraceLog::GetInstance()->TakeBufferedEventsAsJson(
      &json, TraceEvent::ArgumentFilterPredicate()));
  EXPECT_EQ("[]", json);
}

TEST(TraceLogTest, RecordsEventsOfEnabledCategoriesWithTheirPhasesAndArguments) {
  const unsigned char* flag = TraceLog::GetCategoryEnabledFlag("test.rec");
  const unsigned char* group = TraceLog::GetCategoryEnabledFlag("test.rec,test.other");
  const unsigned char* other = TraceLog::GetCategoryEnabledFlag("test.other");
  ScopedRecording recording({"test.rec"});
  EXPECT_EQ(TraceLog::kEnabledForRecording, *flag);
  EXPECT_EQ(TraceLog::kEnabledForRecording, *group);
  EXPECT_EQ(0, *other);
  EXPECT_EQ(TraceLog::kEnabledForRecording, *TraceLog::GetCategoryEnabledFlag("__metadata"));

  {
    TRACE_EVENT2("test.rec", "Scoped", "count", 7, "text", std::string("copied"));
    TRACE_EVENT_INSTANT1("test.rec,test.other", "Instant", TRACE_EVENT_SCOPE_PROCESS, "ratio",
                         0.5);
  }
  TRACE_EVENT_BEGIN0("test.rec", "Begin");
  TRACE_EVENT_END0("test.rec", "Begin");
  TRACE_EVENT_FLOW_BEGIN0("test.rec", "Flow", 0x1234);
  TRACE_EVENT_INSTANT0("test.other", "NotRecorded", TRACE_EVENT_SCOPE_THREAD);
  const std::unique_ptr<ListValue> events = recording.Stop();
  EXPECT_EQ(0, *flag);
  EXPECT_EQ(0, *TraceLog::GetCategoryEnabledFlag("__metadata"));

  const DictionaryValue* scoped = FindEvent(*events, "Scoped");
  ASSERT_TRUE(scoped);
  EXPECT_EQ("X", StringOf(scoped, "ph"));
  EXPECT_EQ("test.rec", StringOf(scoped, "cat"));
  int value = 0;
  EXPECT_TRUE(scoped->GetInteger("args.count", &value));
  EXPECT_EQ(7, value);
  EXPECT_EQ("copied", StringOf(scoped, "args.text"));
  EXPECT_TRUE(scoped->HasKey("dur"));
  EXPECT_TRUE(scoped->GetInteger("pid", &value));
  EXPECT_EQ(static_cast<int>(::GetCurrentProcessId()), value);
  EXPECT_TRUE(scoped->GetInteger("tid", &value));
  EXPECT_EQ(static_cast<int>(::GetCurrentThreadId()), value);
  // Without thread cycle counts (Wine) the thread time is 0 and left out.
  ULONG64 cycles = 0;
  if (!::QueryThreadCycleTime(::GetCurrentThread(), &cycles)) {
    EXPECT_FALSE(scoped->HasKey("tts"));
  }

  const DictionaryValue* instant = FindEvent(*events, "Instant");
  ASSERT_TRUE(instant);
  EXPECT_EQ("p", StringOf(instant, "s"));
  EXPECT_EQ("test.rec,test.other", StringOf(instant, "cat"));

  const std::vector<const DictionaryValue*> begin_end = FindEvents(*events, "Begin");
  ASSERT_EQ(2u, begin_end.size());
  EXPECT_EQ("B", StringOf(begin_end[0], "ph"));
  EXPECT_EQ("E", StringOf(begin_end[1], "ph"));

  // Flow ids are made unique to the process.
  const DictionaryValue* flow = FindEvent(*events, "Flow");
  ASSERT_TRUE(flow);
  EXPECT_EQ(StringPrintf("0x%llx", static_cast<unsigned long long>(
                                       TraceLog::GetInstance()->MangleEventId(0x1234))),
            StringOf(flow, "id"));

  EXPECT_EQ(nullptr, FindEvent(*events, "NotRecorded"));
  const DictionaryValue* cpus = FindEvent(*events, "num_cpus");
  ASSERT_TRUE(cpus);
  EXPECT_EQ("M", StringOf(cpus, "ph"));
  EXPECT_EQ("__metadata", StringOf(cpus, "cat"));
  EXPECT_TRUE(cpus->GetInteger("args.number", &value));
  EXPECT_GT(value, 0);
}

TEST(TraceLogTest, ThreadsWithALoopFillChunksOfTheirOwnAndNameThemselves) {
  constexpr int kEvents = 70;  // More than one chunk.
  ScopedRecording recording({"test.thread"});
  Thread thread("Tracing worker");
  ASSERT_TRUE(thread.Start());
  WaitEvent done(WaitEvent::ResetPolicy::MANUAL, WaitEvent::InitialState::NOT_SIGNALED);
  thread.GetTaskRunner()->PostTask(FROM_HERE, BindLambda([&] {
                                     for (int i = 0; i < kEvents; ++i) {
                                       TRACE_EVENT_INSTANT1("test.thread", "Worker",
                                                            TRACE_EVENT_SCOPE_THREAD, "i", i);
                                     }
                                     done.Signal();
                                   }));
  ASSERT_TRUE(done.TimedWait(kTimeout));
  const int thread_id = static_cast<int>(thread.thread_id());
  // The loop's end hands the thread's last chunk back.
  thread.Stop();
  const std::unique_ptr<ListValue> events = recording.Stop();

  const std::vector<const DictionaryValue*> worker = FindEvents(*events, "Worker");
  ASSERT_EQ(static_cast<size_t>(kEvents), worker.size());
  int value = -1;
  EXPECT_TRUE(worker.back()->GetInteger("args.i", &value));
  EXPECT_EQ(kEvents - 1, value);
  EXPECT_TRUE(worker.front()->GetInteger("tid", &value));
  EXPECT_EQ(thread_id, value);

  // The system reuses thread ids at once: a thread of an earlier test that had this id
  // and recorded events is named in the same entry, before this one.
  bool named = false;
  for (const DictionaryValue* name : FindEvents(*events, "thread_name")) {
    if (!name->GetInteger("tid", &value) || value != thread_id)
      continue;
    const std::string names = StringOf(name, "args.name");
    for (std::string_view one : SplitTextView(names, ',', KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY))
      named = named || one == "Tracing worker";
  }
  EXPECT_TRUE(named);
}

class DisabledObserver : public TraceLog::EnabledStateObserver {
 public:
  void OnTraceLogEnabled() override { ++enabled; }
  void OnTraceLogDisabled() override { ++disabled; }

  int enabled = 0;
  int disabled = 0;
};

TEST(TraceLogTest, AFullBufferStopsRecordingAndSaysWhen) {
  DisabledObserver observer;
  TraceLog::GetInstance()->AddEnabledStateObserver(&observer);
  ScopedRecording recording({"test.full"});
  EXPECT_EQ(1, observer.enabled);
  // The default buffer holds 4000 chunks of 64 events.
  constexpr int kCapacity = 4000 * 64;
  for (int i = 0; i < kCapacity && TraceLog::GetInstance()->IsEnabled(); ++i)
    TRACE_EVENT_INSTANT0("test.full", "Filler", TRACE_EVENT_SCOPE_THREAD);
  EXPECT_FALSE(TraceLog::GetInstance()->IsEnabled());
  EXPECT_EQ(1, observer.disabled);
  TraceLog::GetInstance()->RemoveEnabledStateObserver(&observer);

  std::string json;
  ASSERT_TRUE(TraceLog::GetInstance()->TakeBufferedEventsAsJson(
      &json, TraceEvent::ArgumentFilterPredicate()));
  const size_t overflow = json.find("\"name\":\"trace_buffer_overflowed\"");
  ASSERT_NE(std::string::npos, overflow);
  EXPECT_NE(std::string::npos, json.find("\"overflowed_at_ts\":", overflow));
}

logging::LogMessageHandlerFunction g_capture_handler = nullptr;

// A log handler that traces, as a console echo would make it do, then hands the line on.
bool TracingLogHandler(int severity, const char* file, int line, size_t start,
                       const std::string& text) {
  TRACE_EVENT_INSTANT0("test.echo", "FromLogHandler", TRACE_EVENT_SCOPE_THREAD);
  return g_capture_handler(severity, file, line, start, text);
}

TEST(TraceLogTest, EchoesToTheConsoleWithoutReenteringAndWithoutABogusBegin) {
  test::ScopedLogCapture capture;
  ScopedRecording recording({"test.echo"}, TraceLog::kEchoToConsole);
  // An end without its begin: no duration, and the next scope is not indented by it.
  TRACE_EVENT_END0("test.echo", "Orphan");
  {
    TRACE_EVENT1("test.echo", "Outer", "depth", 1);
    TRACE_EVENT0("test.echo", "Inner");
  }
  g_capture_handler = logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&TracingLogHandler);
  TRACE_EVENT_INSTANT0("test.echo", "Logged", TRACE_EVENT_SCOPE_THREAD);
  logging::SetLogMessageHandler(g_capture_handler);
  const std::unique_ptr<ListValue> events = recording.Stop();

  std::vector<std::string> echoed;
  for (const auto& [severity, line] : capture.lines()) {
    if (line.find("[test.echo]") != std::string::npos)
      echoed.push_back(line.substr(line.find(": \033[0;3") + 7));
  }
  ASSERT_EQ(6u, echoed.size());
  EXPECT_EQ(0u, echoed[0].find("1mOrphan[test.echo]\033[0;m"));
  EXPECT_EQ(0u, echoed[1].find("1mOuter[test.echo], {depth:1}"));
  EXPECT_EQ(0u, echoed[2].find("1m| Inner[test.echo]"));
  EXPECT_EQ(0u, echoed[3].find("1m| Inner[test.echo] ("));
  EXPECT_NE(std::string::npos, echoed[3].find(" ms)"));
  EXPECT_EQ(0u, echoed[4].find("1mOuter[test.echo], {depth:1} ("));
  EXPECT_EQ(std::string::npos, echoed[0].find(" ms)"));
  EXPECT_EQ(0u, echoed[5].find("1mLogged[test.echo]"));

  // The handler ran inside the trace log: its event was dropped.
  EXPECT_TRUE(FindEvent(*events, "Logged"));
  EXPECT_EQ(nullptr, FindEvent(*events, "FromLogHandler"));
}

class AsyncObserver : public TraceLog::AsyncEnabledStateObserver {
 public:
  void OnTraceLogEnabled() override { calls += "enabled;"; }
  void OnTraceLogDisabled() override {
    calls += "disabled;";
    if (quit)
      quit.Run();
  }

  std::string calls;
  Closure quit;
  WeakPtrFactory<AsyncEnabledStateObserver> weak_factory{this};
};

TEST(TraceLogTest, StoppingWritesMetadataAndTellsAsynchronousObserversOnTheirThread) {
  MessageLoop loop;
  AsyncObserver observer;
  TraceLog* trace_log = TraceLog::GetInstance();
  trace_log->AddAsyncEnabledStateObserver(observer.weak_factory.GetWeakPtr());
  trace_log->SetProcessName("Traced process");
  trace_log->SetProcessSortIndex(-3);
  trace_log->SetProcessLabel(1, "first");
  trace_log->SetProcessLabel(2, "second");
  trace_log->SetThreadSortIndex(static_cast<int>(::GetCurrentThreadId()), 5);
  const char* arg_name = "kept";
  const unsigned char arg_type = kTraceValueTypeInt;
  const uint64_t arg_value = 9;
  std::unique_ptr<ListValue> events;
  {
    ScopedRecording recording({"test.metadata"});
    trace_log->AddMetadataEvent(TraceLog::GetCategoryEnabledFlag("__metadata"), "kept_metadata",
                                1, &arg_name, &arg_type, &arg_value, nullptr, 0);
    RunLoop run_loop;
    test::RunLoopWatchdog watchdog(&run_loop);
    observer.quit = run_loop.QuitClosure();
    events = recording.Stop();
    run_loop.Run();
  }
  trace_log->RemoveAsyncEnabledStateObserver(&observer);
  trace_log->SetProcessName("");
  trace_log->SetProcessSortIndex(0);
  trace_log->SetProcessLabel(1, "");
  trace_log->SetProcessLabel(2, "");
  trace_log->SetThreadSortIndex(static_cast<int>(::GetCurrentThreadId()), 0);

  EXPECT_EQ("enabled;disabled;", observer.calls);
  int value = 0;
  const DictionaryValue* kept = FindEvent(*events, "kept_metadata");
  ASSERT_TRUE(kept);
  EXPECT_TRUE(kept->GetInteger("args.kept", &value));
  EXPECT_EQ(9, value);
  EXPECT_EQ("Traced process", StringOf(FindEvent(*events, "process_name"), "args.name"));
  const std::string labels = StringOf(FindEvent(*events, "process_labels"), "args.labels");
  EXPECT_TRUE(labels == "first,second" || labels == "second,first") << labels;
  const DictionaryValue* sort_index = FindEvent(*events, "process_sort_index");
  ASSERT_TRUE(sort_index);
  EXPECT_TRUE(sort_index->GetInteger("args.sort_index", &value));
  EXPECT_EQ(-3, value);
  const DictionaryValue* thread_sort_index = FindEvent(*events, "thread_sort_index");
  ASSERT_TRUE(thread_sort_index);
  EXPECT_TRUE(thread_sort_index->GetInteger("tid", &value));
  EXPECT_EQ(static_cast<int>(::GetCurrentThreadId()), value);
  // Kept metadata is written once.
  EXPECT_EQ(1u, FindEvents(*events, "kept_metadata").size());
}

TEST(TraceLogTest, EventFiltersDecideWhatIsRecorded) {
  TraceConfig config;
  config.included_categories = {"test.filter"};
  TraceFilterConfig filter(EventNameFilter::kName);
  filter.included_categories = {"test.filter"};
  filter.args = std::make_unique<DictionaryValue>();
  auto names = std::make_unique<ListValue>();
  names->AppendString("Kept");
  filter.args->Set("event_name_whitelist", std::move(names));
  config.event_filters.push_back(std::move(filter));

  const unsigned char* flag = TraceLog::GetCategoryEnabledFlag("test.filter");
  ScopedRecording recording(config, TraceLog::RECORDING_MODE | TraceLog::FILTERING_MODE);
  EXPECT_EQ(TraceLog::kEnabledForRecording | TraceLog::kEnabledForFiltering, *flag);
  TRACE_EVENT_INSTANT0("test.filter", "Kept", TRACE_EVENT_SCOPE_THREAD);
  TRACE_EVENT_INSTANT0("test.filter", "Dropped", TRACE_EVENT_SCOPE_THREAD);
  { TRACE_EVENT1("test.filter", "Kept", "scoped", true); }
  const std::unique_ptr<ListValue> events = recording.Stop();
  EXPECT_EQ(0, *flag);

  const std::vector<const DictionaryValue*> kept = FindEvents(*events, "Kept");
  ASSERT_EQ(2u, kept.size());
  EXPECT_TRUE(kept[1]->HasKey("dur"));
  EXPECT_EQ(nullptr, FindEvent(*events, "Dropped"));
}

TEST(TraceLogTest, ThreadTimeIsZeroWithoutAKnownCounterFrequency) {
  EXPECT_EQ(0, internal::ThreadCyclesToMicroseconds(123456789, 0.0));
  EXPECT_EQ(1000000, internal::ThreadCyclesToMicroseconds(3000000000ull, 3e9));
  EXPECT_EQ(INT64_MAX, internal::ThreadCyclesToMicroseconds(UINT64_MAX, 1.0));
}

TEST(TraceLogTest, TheEtwProviderRegistersButWineNeverEnablesIt) {
  // EventRegister exists and succeeds on Windows and on Wine; no session enables the
  // provider in a test run.
  TraceEventEtwExport etw_export;
  ASSERT_TRUE(etw_export.is_registered());
  const EtwProviderContext& context = etw_export.provider_context();
  EXPECT_EQ(0u, context.is_enabled);
  // A session at the informational level with the event's keyword wants the event...
  TraceEventEtwExport::EnableCallback(nullptr, 1, 4, 0x8000000000000000ull, 0, nullptr,
                                      const_cast<EtwProviderContext*>(&context));
  EXPECT_EQ(1u, context.is_enabled);
  EXPECT_EQ(1u, context.enable_bits->load() & 1);
  // ...but no category is enabled for export, so nothing is written.
  EXPECT_FALSE(etw_export.IsGroupEnabled("toplevel"));
  EXPECT_FALSE(etw_export.IsCategoryEnabled("disabled-by-default-anything"));
  const char* arg_name = "n";
  const unsigned char arg_type = kTraceValueTypeInt;
  const uint64_t arg_value = 1;
  etw_export.WriteEvent('I', "Event", 1, &arg_name, &arg_type, &arg_value);
  etw_export.WriteCompleteEndEvent("Event");
  EXPECT_EQ(0u, etw_export.events_written());

  // A session at a lower level, or with keywords that miss the event, does not want it.
  TraceEventEtwExport::EnableCallback(nullptr, 1, 2, 0x8000000000000000ull, 0, nullptr,
                                      const_cast<EtwProviderContext*>(&context));
  EXPECT_EQ(0u, context.enable_bits->load());
  TraceEventEtwExport::EnableCallback(nullptr, 1, 0, 0x1, 0, nullptr,
                                      const_cast<EtwProviderContext*>(&context));
  EXPECT_EQ(0u, context.enable_bits->load());
  TraceEventEtwExport::EnableCallback(nullptr, 1, 0, 0x8000000000000000ull, 0, nullptr,
                                      const_cast<EtwProviderContext*>(&context));
  EXPECT_EQ(1u, context.enable_bits->load());
  TraceEventEtwExport::EnableCallback(nullptr, 0, 0, 0, 0, nullptr,
                                      const_cast<EtwProviderContext*>(&context));
  EXPECT_EQ(0u, context.is_enabled);
  EXPECT_EQ(0u, context.enable_bits->load());

  // Without the ETW functions the export exists and registers nothing.
  TraceEventEtwExport without(L"no_such_tracing_library.dll");
  EXPECT_FALSE(without.is_registered());
  without.WriteEvent('I', "Event", 1, &arg_name, &arg_type, &arg_value);
  EXPECT_EQ(0u, without.events_written());
}

TEST(TraceLogTest, TheCategoryTableEndsAt200GroupsAndTheFirstNewOneMadeTheEtwExport) {
  const test::ChildTestResult result =
      test::RunChildTest("TraceLogChild.DISABLED_FillsTheCategoryTable");
  ASSERT_TRUE(result.started);
  EXPECT_EQ(0u, result.exit_code) << result.output;
  EXPECT_NE(std::string::npos, result.output.find("table full")) << result.output;
}

TEST(TraceLogChild, DISABLED_FillsTheCategoryTable) {
  if (!test::IsChildTest())
    GTEST_SKIP();
  const unsigned char* exhausted = TraceLog::GetCategoryEnabledFlag(
      "tracing categories exhausted; must increase kMaxCategories");
  const unsigned char* first = TraceLog::GetCategoryEnabledFlag("tracing already shutdown");
  const ptrdiff_t stride = first - exhausted;
  ASSERT_GT(stride, 0);

  const unsigned char* last = nullptr;
  int added = 0;
  for (; added < TraceLog::kMaxCategories; ++added) {
    const std::string name = StringPrintf("exhaust.%d", added);
    const unsigned char* flag = TraceLog::GetCategoryEnabledFlag(name.c_str());
    if (flag == exhausted)
      break;
    last = flag;
  }
  ASSERT_TRUE(last);
  // The first group beyond the fixed ones made the process's ETW export, which
  // registered its provider and exports nothing.
  TraceEventEtwExport* process_export = TraceEventEtwExport::GetInstance();
  ASSERT_TRUE(process_export);
  EXPECT_TRUE(process_export->is_registered());
  EXPECT_FALSE(TraceEventEtwExport::IsCategoryGroupEnabled("toplevel"));
  // The last group added took entry 199.
  EXPECT_EQ((TraceLog::kMaxCategories - 1) * stride, last - exhausted);
  // Every later group shares entry 0, which never records.
  EXPECT_EQ(exhausted, TraceLog::GetCategoryEnabledFlag("exhaust.later"));
  {
    ScopedRecording recording({});
    EXPECT_EQ(0, *exhausted);
    EXPECT_EQ(TraceLog::kEnabledForRecording, *last);
  }
  printf("table full after %d new groups\n", added);
}

}  // namespace
}  // namespace trace_event
}  // namespace base
