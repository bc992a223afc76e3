#include "base/trace_event/traced_value.h"

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/trace_event/stack_frame_deduplicator.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/type_name_deduplicator.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

std::string ToJson(const ConvertableToTraceFormat& value) {
  std::string json;
  value.AppendAsTraceFormat(&json);
  return json;
}

TEST(TracedValueTest, NestedContainersAndEscapedTextReadBack) {
  TracedValue empty;
  EXPECT_EQ("{}", ToJson(empty));

  TracedValue value;
  value.SetInteger("int", -7);
  value.SetDouble("double", 0.25);
  value.SetBoolean("bool", true);
  value.SetString("text", "quote\" slash\\ tab\t ctl\x02 lt<");
  value.BeginDictionary("outer");
  value.SetStringWithCopiedName(std::string("copied.name"), "dots stay in the key");
  value.BeginArrayWithCopiedName("list");
  value.AppendInteger(1);
  value.AppendDouble(2.5);
  value.AppendBoolean(false);
  value.AppendString("three");
  value.BeginDictionary();
  value.SetIntegerWithCopiedName("in_list", 4);
  value.EndDictionary();
  value.BeginArray();
  value.EndArray();
  value.EndArray();
  value.EndDictionary();
  value.SetBooleanWithCopiedName("after", false);
  value.SetDoubleWithCopiedName("tiny", 1e-300);
  value.BeginDictionaryWithCopiedName("empty");
  value.EndDictionary();

  const std::string json = ToJson(value);
  EXPECT_NE(std::string::npos, json.find("ctl\\u0002 lt\\u003C")) << json;
  const std::unique_ptr<DictionaryValue> read = DictionaryValue::From(JsonReader::Read(json));
  ASSERT_TRUE(read) << json;
  EXPECT_TRUE(read->Equals(value.ToBaseValue().get()));

  int number = 0;
  EXPECT_TRUE(read->GetInteger("int", &number));
  EXPECT_EQ(-7, number);
  std::string text;
  EXPECT_TRUE(read->GetString("text", &text));
  EXPECT_EQ("quote\" slash\\ tab\t ctl\x02 lt<", text);
  const DictionaryValue* outer = nullptr;
  ASSERT_TRUE(read->GetDictionary("outer", &outer));
  const Value* copied = nullptr;
  EXPECT_TRUE(outer->GetWithoutPathExpansion("copied.name", &copied));
  const ListValue* list = nullptr;
  ASSERT_TRUE(outer->GetList("list", &list));
  ASSERT_EQ(6u, list->GetSize());
  EXPECT_TRUE(list->GetString(3, &text));
  EXPECT_EQ("three", text);
  const DictionaryValue* in_list = nullptr;
  ASSERT_TRUE(list->GetDictionary(4, &in_list));
  EXPECT_TRUE(in_list->GetInteger("in_list", &number));
  EXPECT_EQ(4, number);
  const DictionaryValue* empty_dictionary = nullptr;
  EXPECT_TRUE(read->GetDictionary("empty", &empty_dictionary));
  EXPECT_TRUE(empty_dictionary->empty());

}

TEST(TypeNameDeduplicatorTest, NumbersNamesAndWritesTheirCategories) {
  TypeNameDeduplicator empty;
  EXPECT_EQ("{\"0\":\"[unknown]\"}", ToJson(empty));

  static const char kSource[] = "../../base/trace_event/foo.cc";
  static const char kGroup[] = "disabled-by-default-memory-infra,toplevel";
  static const char kEscapes[] = "cat\x01with\ttab";
  TypeNameDeduplicator deduplicator;
  EXPECT_EQ(0, deduplicator.Insert(nullptr));
  const int source = deduplicator.Insert(kSource);
  const int group = deduplicator.Insert(kGroup);
  const int escapes = deduplicator.Insert(kEscapes);
  EXPECT_EQ(1, source);
  EXPECT_EQ(2, group);
  EXPECT_EQ(3, escapes);
  EXPECT_EQ(source, deduplicator.Insert(kSource));

  const std::string json = ToJson(deduplicator);
  EXPECT_NE(std::string::npos, json.find("\"1\":\"base/trace_event\"")) << json;
  EXPECT_NE(std::string::npos, json.find("\"2\":\"memory-infra\"")) << json;
  EXPECT_NE(std::string::npos, json.find("\"3\":\"cat\\u0001with\\ttab\"")) << json;
  EXPECT_TRUE(JsonReader::Read(json));

  // Parent steps are removed whole, and a bare ".." leaves nothing behind (never more
  // than the text holds).
  EXPECT_EQ("", TypeNameDeduplicator::ExtractCategoryFromTypeName("../file.cc"));
  EXPECT_EQ("", TypeNameDeduplicator::ExtractCategoryFromTypeName("../../file.cc"));
  EXPECT_EQ("a", TypeNameDeduplicator::ExtractCategoryFromTypeName("..\\a\\file.cc"));
  EXPECT_EQ("plain", TypeNameDeduplicator::ExtractCategoryFromTypeName("plain"));
}

TEST(StackFrameDeduplicatorTest, StoresEachPathOnceAndLinksChildrenToParents) {
  static const char kMain[] = "main";
  static const char kTask[] = "RunTask";
  static const char kThread[] = "Worker";
  StackFrameDeduplicator deduplicator;
  const StackFrame first[] = {StackFrame::FromTraceEventName(kMain),
                              StackFrame::FromTraceEventName(kTask)};
  const StackFrame second[] = {StackFrame::FromTraceEventName(kMain),
                               StackFrame::FromThreadName(kThread),
                               StackFrame::FromProgramCounter(reinterpret_cast<void*>(0x1a2b))};
  EXPECT_EQ(-1, deduplicator.Insert(first, first));
  EXPECT_EQ(1, deduplicator.Insert(first, first + 2));
  EXPECT_EQ(1, deduplicator.Insert(first, first + 2));
  EXPECT_EQ(3, deduplicator.Insert(second, second + 3));
  EXPECT_EQ(4u, deduplicator.size());

  const std::string json = ToJson(deduplicator);
  const std::unique_ptr<DictionaryValue> read = DictionaryValue::From(JsonReader::Read(json));
  ASSERT_TRUE(read) << json;
  std::string text;
  EXPECT_TRUE(read->GetString("0.name", &text));
  EXPECT_EQ("main", text);
  EXPECT_FALSE(read->HasKey("0.parent"));  // A root.
  const DictionaryValue* node = nullptr;
  ASSERT_TRUE(read->GetDictionary("1", &node));
  EXPECT_TRUE(node->GetString("parent", &text));
  EXPECT_EQ("0", text);
  ASSERT_TRUE(read->GetDictionary("2", &node));
  EXPECT_TRUE(node->GetString("name", &text));
  EXPECT_EQ("[Thread: Worker]", text);
  ASSERT_TRUE(read->GetDictionary("3", &node));
  EXPECT_TRUE(node->GetString("name", &text));
  EXPECT_EQ("pc:1a2b", text);
  EXPECT_TRUE(node->GetString("parent", &text));
  EXPECT_EQ("2", text);
}

TEST(TraceEventMemoryOverheadTest, TalliesByNameAddressBeyondSixteenNames) {
  static const char kNames[20][8] = {"n0",  "n1",  "n2",  "n3",  "n4",  "n5",  "n6",
                                     "n7",  "n8",  "n9",  "n10", "n11", "n12", "n13",
                                     "n14", "n15", "n16", "n17", "n18", "n19"};
  TraceEventMemoryOverhead overhead;
  for (int round = 0; round < 2; ++round) {
    for (const char* name : kNames)
      overhead.Add(name, 2, 10, 5);
  }
  for (const char* name : kNames)
    EXPECT_EQ(4u, overhead.GetCount(name));
  // Names are told apart by address, not text.
  char copy[] = "n0";
  EXPECT_EQ(0u, overhead.GetCount(copy));

  TraceEventMemoryOverhead total;
  total.Add(kNames[0], 1, 1, 1);
  total.Update(overhead);
  EXPECT_EQ(5u, total.GetCount(kNames[0]));
  EXPECT_EQ(4u, total.GetCount(kNames[19]));
}

}  // namespace
}  // namespace trace_event
}  // namespace base
