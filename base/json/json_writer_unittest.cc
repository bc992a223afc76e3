#include "base/json/json_writer.h"

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string WriteCompact(const Value& value) {
  std::string json;
  EXPECT_TRUE(JsonWriter::Write(value, &json));
  return json;
}

TEST(JsonWriterTest, CompactOutputInKeyOrder) {
  DictionaryValue dict;
  dict.SetInteger("installer", 3);
  dict.SetInteger("crash_reporter", 1);
  EXPECT_EQ("{\"crash_reporter\":1,\"installer\":3}", WriteCompact(dict));

  dict.Clear();
  dict.Set("n", Value::CreateNullValue());
  dict.SetBoolean("b", false);
  dict.SetString("s", "a\"</\n\xFF");
  auto list = std::make_unique<ListValue>();
  list->AppendInteger(-7);
  list->Append(std::make_unique<DictionaryValue>());
  list->Append(std::make_unique<ListValue>());
  dict.Set("l", std::move(list));
  EXPECT_EQ(
      "{\"b\":false,\"l\":[-7,{},[]],\"n\":null,"
      "\"s\":\"a\\\"\\u003C/\\n\xEF\xBF\xBD\"}",
      WriteCompact(dict));
  EXPECT_EQ("\"x\"", WriteCompact(StringValue("x")));
  EXPECT_EQ("null", WriteCompact(Value()));
}

TEST(JsonWriterTest, DoublesStayDoubles) {
  EXPECT_EQ("1.0", WriteCompact(ScalarValue(1.0)));
  EXPECT_EQ("-0.0", WriteCompact(ScalarValue(-0.0)));
  EXPECT_EQ("0.1", WriteCompact(ScalarValue(0.1)));
  EXPECT_EQ("1e+300", WriteCompact(ScalarValue(1e300)));
  EXPECT_EQ("5e-324", WriteCompact(ScalarValue(5e-324)));
  EXPECT_EQ("2147483648.0", WriteCompact(ScalarValue(2147483648.0)));
}

TEST(JsonWriterTest, BinaryValuesFailUnlessOmitted) {
  DictionaryValue dict;
  dict.SetInteger("a", 1);
  dict.Set("bin", std::make_unique<BinaryValue>("\x01", 1));
  auto list = std::make_unique<ListValue>();
  list->Append(std::make_unique<BinaryValue>("\x02", 1));
  list->AppendInteger(2);
  dict.Set("list", std::move(list));

  std::string json = "stale";
  EXPECT_FALSE(JsonWriter::Write(dict, &json));
  EXPECT_EQ("", json);
  EXPECT_TRUE(JsonWriter::WriteWithOptions(dict, JsonWriter::OPTIONS_OMIT_BINARY_VALUES,
                                           &json));
  EXPECT_EQ("{\"a\":1,\"list\":[2]}", json);
  EXPECT_FALSE(JsonWriter::WriteWithOptions(BinaryValue("\x01", 1),
                                            JsonWriter::OPTIONS_OMIT_BINARY_VALUES, &json));
}

TEST(JsonWriterTest, PrettyPrint) {
  std::unique_ptr<Value> root = JsonReader::Read("{\"b\":[1,{}],\"a\":{\"c\":\"d\"},\"e\":[]}");
  ASSERT_TRUE(root);
  std::string json;
  EXPECT_TRUE(JsonWriter::WriteWithOptions(*root, JsonWriter::OPTIONS_PRETTY_PRINT, &json));
  EXPECT_EQ(
      "{\n"
      "   \"a\": {\n"
      "      \"c\": \"d\"\n"
      "   },\n"
      "   \"b\": [\n"
      "      1,\n"
      "      {}\n"
      "   ],\n"
      "   \"e\": []\n"
      "}\n",
      json);
}

TEST(JsonWriterTest, RoundTripsThroughTheReader) {
  const char* kDocuments[] = {
      "{\"a\":[1,-2147483648,2147483648.0,0.30000000000000004,1e-07,true,null],"
      "\"b\":{\"c\":\"\\u003C\\u2028\\u0001\xF0\x9F\x98\x80\",\"d\":{}},\"e\":\"\"}",
      "[[[[]]],{\"k.with.dots\":{\"x\":-0.0}}]",
  };
  for (const char* document : kDocuments) {
    std::unique_ptr<Value> first = JsonReader::Read(document);
    ASSERT_TRUE(first) << document;
    std::string written;
    ASSERT_TRUE(JsonWriter::Write(*first, &written));
    EXPECT_EQ(document, written);
    std::unique_ptr<Value> second = JsonReader::Read(written);
    ASSERT_TRUE(second);
    EXPECT_TRUE(first->Equals(second.get())) << written;

    ASSERT_TRUE(JsonWriter::WriteWithOptions(*first, JsonWriter::OPTIONS_PRETTY_PRINT,
                                             &written));
    second = JsonReader::Read(written);
    ASSERT_TRUE(second);
    EXPECT_TRUE(first->Equals(second.get())) << written;
  }
}

}  // namespace
}  // namespace base
