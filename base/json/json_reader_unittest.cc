#include "base/json/json_reader.h"


#include <memory>
#include <string>

#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/files/scoped_temp_dir.h"
#include "base/json/json_file_reader.h"
#include "base/json/json_string_deserializer.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Parses |json| with |options| and returns the error code (JSON_NO_ERROR on success).
JsonErrorCode ParseError(std::string_view json, int options = JSON_PARSE_RFC) {
  JsonErrorCode code = JSON_NO_ERROR;
  std::unique_ptr<Value> root = JsonReader::ReadAndReturnError(json, options, &code, nullptr);
  EXPECT_EQ(code == JSON_NO_ERROR, root != nullptr) << json;
  return code;
}

std::string ParsedString(std::string_view json, int options = JSON_PARSE_RFC) {
  std::unique_ptr<Value> root = JsonParser::Parse(json, options);
  std::string text = "<failed>";
  if (root) {
    EXPECT_TRUE(root->GetAsString(&text));
  }
  return text;
}

TEST(JsonReaderTest, ReadsEveryKind) {
  std::unique_ptr<Value> root = JsonReader::Read(
      " {\"n\": null, \"t\": true, \"f\": false, \"i\": -12, \"d\": 2.5e1,\n"
      "  \"s\": \"x\", \"l\": [1, [], {}], \"o\": {\"a.b\": 1}, \"a\": 1, \"a\": 2} ");
  ASSERT_TRUE(root);
  std::unique_ptr<DictionaryValue> dict = DictionaryValue::From(std::move(root));
  ASSERT_TRUE(dict);
  const Value* value = nullptr;
  ASSERT_TRUE(dict->Get("n", &value));
  EXPECT_TRUE(value->IsType(Value::TYPE_NULL));
  bool boolean = false;
  EXPECT_TRUE(dict->GetBoolean("t", &boolean));
  EXPECT_TRUE(boolean);
  int integer = 0;
  EXPECT_TRUE(dict->GetInteger("i", &integer));
  EXPECT_EQ(-12, integer);
  ASSERT_TRUE(dict->Get("d", &value));
  EXPECT_TRUE(value->IsType(Value::TYPE_DOUBLE));
  const ListValue* list = nullptr;
  ASSERT_TRUE(dict->GetList("l", &list));
  EXPECT_EQ(3u, list->GetSize());
  // Keys are taken whole; a repeated key keeps its last value.
  EXPECT_FALSE(dict->GetInteger("o", nullptr));
  const DictionaryValue* inner = nullptr;
  ASSERT_TRUE(dict->GetDictionary("o", &inner));
  EXPECT_TRUE(inner->HasKey("a.b"));
  EXPECT_TRUE(dict->GetInteger("a", &integer));
  EXPECT_EQ(2, integer);

  // Scalars are valid roots; a byte order mark is skipped.
  EXPECT_EQ(JSON_NO_ERROR, ParseError("7"));
  EXPECT_EQ(JSON_NO_ERROR, ParseError("\xEF\xBB\xBF[]"));
}

TEST(JsonReaderTest, Numbers) {
  const struct {
    const char* json;
    Value::Type type;
    double value;
  } kCases[] = {
      {"0", Value::TYPE_INTEGER, 0},
      {"-0", Value::TYPE_INTEGER, 0},
      {"2147483647", Value::TYPE_INTEGER, 2147483647.0},
      {"-2147483648", Value::TYPE_INTEGER, -2147483648.0},
      {"2147483648", Value::TYPE_DOUBLE, 2147483648.0},
      {"-2147483649", Value::TYPE_DOUBLE, -2147483649.0},
      {"12345678901234567890123", Value::TYPE_DOUBLE, 12345678901234567890123.0},
      {"1.0", Value::TYPE_DOUBLE, 1.0},
      {"1E2", Value::TYPE_DOUBLE, 100.0},
      {"1e-400", Value::TYPE_DOUBLE, 0.0},
      {"1.7976931348623157e308", Value::TYPE_DOUBLE, 1.7976931348623157e308},
  };
  for (const auto& test : kCases) {
    std::unique_ptr<Value> root = JsonReader::Read(test.json);
    ASSERT_TRUE(root) << test.json;
    EXPECT_EQ(test.type, root->GetType()) << test.json;
    double value = -1;
    EXPECT_TRUE(root->GetAsDouble(&value));
    EXPECT_EQ(test.value, value) << test.json;
  }
  for (const char* bad : {"1e400", "-1e400", "01", "-", "1.", ".5", "1e", "+1", "0x10", "-a",
                          "1.e5"}) {
    EXPECT_NE(JSON_NO_ERROR, ParseError(bad)) << bad;
  }
  EXPECT_EQ(JSON_INVALID_NUMBER, ParseError("1e400"));
}

TEST(JsonReaderTest, StringEscapes) {
  EXPECT_EQ("\"\\/\b\f\n\r\t", ParsedString("\"\\\"\\\\\\/\\b\\f\\n\\r\\t\""));
  EXPECT_EQ("\xC3\xA9<", ParsedString("\"\\u00E9\\u003c\""));
  EXPECT_EQ(std::string("a\0b", 3), ParsedString("\"a\\u0000b\""));
  EXPECT_EQ("\xF0\x9F\x98\x80", ParsedString("\"\\uD83D\\uDE00\""));  // Surrogate pair.
  EXPECT_EQ("\xC3\xA9", ParsedString("\"\xC3\xA9\""));

  for (const char* bad : {"\"\\x41\"", "\"\\u12\"", "\"\\u12G4\"", "\"\\'\"", "\"\\U0041\""})
    EXPECT_EQ(JSON_INVALID_ESCAPE, ParseError(bad)) << bad;

  // Lone surrogates: errors when strict, U+FFFD when replacing.
  for (const char* lone : {"\"\\uD83D\"", "\"\\uDE00\"", "\"\\uD83Dx\"", "\"\\uD83D\\u0041\""})
    EXPECT_EQ(JSON_INVALID_ESCAPE, ParseError(lone)) << lone;
  EXPECT_EQ("\xEF\xBF\xBD" "A", ParsedString("\"\\uD83D\\u0041\"",
                                              JSON_REPLACE_INVALID_CHARACTERS));
  EXPECT_EQ("x\xEF\xBF\xBD", ParsedString("\"x\\uDE00\"", JSON_REPLACE_INVALID_CHARACTERS));
}

TEST(JsonReaderTest, ControlCharactersAndInvalidUtf8InStrings) {
  EXPECT_EQ(JSON_CONTROL_CHARACTER, ParseError("\"a\nb\""));
  EXPECT_EQ(JSON_CONTROL_CHARACTER, ParseError(std::string("\"\0\"", 3)));
  EXPECT_EQ(JSON_CONTROL_CHARACTER, ParseError("\"\x1F\"", JSON_REPLACE_INVALID_CHARACTERS));

  for (const char* bad : {"\"\xFF\"", "\"\xC3\"", "\"\xC0\xAF\"", "\"\xED\xA0\x80\"",
                          "{\"\xE9\": 1}"}) {
    EXPECT_EQ(JSON_UNSUPPORTED_ENCODING, ParseError(bad)) << bad;
  }
  EXPECT_EQ("a\xEF\xBF\xBD" "b", ParsedString("\"a\xFF" "b\"", JSON_REPLACE_INVALID_CHARACTERS));
  // A truncated sequence at the very end must not read past the input.
  EXPECT_EQ(JSON_UNSUPPORTED_ENCODING, ParseError(std::string_view("\"\xE2\x82", 3)));
}

TEST(JsonReaderTest, MalformedStructure) {
  const struct {
    const char* json;
    JsonErrorCode code;
  } kCases[] = {
      {"", JSON_UNEXPECTED_END},
      {"   ", JSON_UNEXPECTED_END},
      {"{", JSON_UNEXPECTED_END},
      {"{\"a\"", JSON_UNEXPECTED_END},
      {"{\"a\":", JSON_UNEXPECTED_END},
      {"{\"a\":1", JSON_UNEXPECTED_END},
      {"[1,", JSON_UNEXPECTED_END},
      {"\"abc", JSON_UNEXPECTED_END},
      {"\"abc\\", JSON_UNEXPECTED_END},
      {"tru", JSON_SYNTAX_ERROR},
      {"nul", JSON_SYNTAX_ERROR},
      {"True", JSON_SYNTAX_ERROR},
      {"[1 2]", JSON_SYNTAX_ERROR},
      {"{\"a\" 1}", JSON_SYNTAX_ERROR},
      {"[,]", JSON_SYNTAX_ERROR},
      {"{a: 1}", JSON_UNQUOTED_DICTIONARY_KEY},
      {"{1: 1}", JSON_SYNTAX_ERROR},
      {"'a'", JSON_SYNTAX_ERROR},
      {"[1,]", JSON_TRAILING_COMMA},
      {"{\"a\":1,}", JSON_TRAILING_COMMA},
      {"[1] x", JSON_UNEXPECTED_DATA_AFTER_ROOT},
      {"{} {}", JSON_UNEXPECTED_DATA_AFTER_ROOT},
      {"1 2", JSON_UNEXPECTED_DATA_AFTER_ROOT},
      {"true false", JSON_UNEXPECTED_DATA_AFTER_ROOT},
  };
  for (const auto& test : kCases)
    EXPECT_EQ(test.code, ParseError(test.json)) << test.json;
  EXPECT_EQ(JSON_UNEXPECTED_DATA_AFTER_ROOT, ParseError(std::string_view("[1]\0", 4)));
}

TEST(JsonReaderTest, EveryTruncationFails) {
  const std::string document =
      "{\"a\": [1, -2.5e3, true, false, null], \"b\": \"x\\u00e9\\uD83D\\uDE00\xC3\xA9\"}";
  ASSERT_TRUE(JsonReader::Read(document));
  for (size_t length = 0; length < document.size(); ++length) {
    // A copy of exactly |length| bytes, so that reading past the end is caught by tools.
    const std::string truncated = document.substr(0, length);
    EXPECT_FALSE(JsonReader::Read(truncated)) << truncated;
    EXPECT_FALSE(JsonParser::Parse(truncated, JSON_ALLOW_TRAILING_COMMAS |
                                                  JSON_REPLACE_INVALID_CHARACTERS))
        << truncated;
  }
}

TEST(JsonReaderTest, TrailingCommasWithTheOption) {
  std::unique_ptr<Value> root =
      JsonParser::Parse("{\"a\": [1, 2, ], \"b\": {\"c\": 1,},}", JSON_ALLOW_TRAILING_COMMAS);
  ASSERT_TRUE(root);
  std::unique_ptr<Value> expected = JsonReader::Read("{\"a\": [1, 2], \"b\": {\"c\": 1}}");
  EXPECT_TRUE(root->Equals(expected.get()));
  // Still one comma at most, and never before the first element.
  EXPECT_NE(JSON_NO_ERROR, ParseError("[1,,]", JSON_ALLOW_TRAILING_COMMAS));
  EXPECT_NE(JSON_NO_ERROR, ParseError("[,]", JSON_ALLOW_TRAILING_COMMAS));
  EXPECT_NE(JSON_NO_ERROR, ParseError("{,}", JSON_ALLOW_TRAILING_COMMAS));
}

TEST(JsonReaderTest, NestingLimit) {
  const int kLimit = JsonParser::kJsonMaxDepth;
  std::string deepest = std::string(kLimit, '[') + std::string(kLimit, ']');
  EXPECT_EQ(JSON_NO_ERROR, ParseError(deepest));
  std::string too_deep = std::string(kLimit + 1, '[') + std::string(kLimit + 1, ']');
  EXPECT_EQ(JSON_TOO_MUCH_NESTING, ParseError(too_deep));
  // Hostile input: a very deep unterminated nest fails at the limit, without recursing on.
  std::string hostile;
  for (int i = 0; i < 100000; ++i)
    hostile += "{\"a\":[";
  EXPECT_EQ(JSON_TOO_MUCH_NESTING, ParseError(hostile));
}

TEST(JsonReaderTest, ErrorMessageGivesLineAndColumn) {
  JsonParseError error;
  EXPECT_FALSE(JsonParser::Parse("{\n  \"a\": 1,\n  \"b\": x\n}", 0, &error));
  EXPECT_EQ(JSON_SYNTAX_ERROR, error.code);
  EXPECT_EQ(3, error.line);
  EXPECT_EQ(8, error.column);
  EXPECT_EQ("Line: 3, column: 8, Syntax error.", error.message);

  JsonErrorCode code = JSON_NO_ERROR;
  std::string message;
  JsonStringDeserializer deserializer("[1]]");
  EXPECT_FALSE(deserializer.Deserialize(&code, &message));
  EXPECT_EQ(JSON_UNEXPECTED_DATA_AFTER_ROOT, code);
  EXPECT_EQ("Line: 1, column: 4, Unexpected data after root element.", message);

  JsonStringDeserializer lenient("[1,]", JSON_ALLOW_TRAILING_COMMAS);
  std::unique_ptr<Value> root = lenient.Deserialize(&code, &message);
  ASSERT_TRUE(root);
  EXPECT_EQ(JSON_NO_ERROR, code);
  EXPECT_EQ("", message);
}

// A file in a unique temporary folder.
class JsonFileReaderTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_dir_.CreateUniqueTempDir()); }
  FilePath Path(const wchar_t* name) const { return temp_dir_.GetPath().Append(name); }
  void Write(const std::string& contents) {
    ASSERT_EQ(static_cast<int>(contents.size()),
              WriteFileFromBuffer(Path(L"a.json"), contents.data(),
                                  static_cast<int>(contents.size())));
  }

  ScopedTempDir temp_dir_;
};

TEST_F(JsonFileReaderTest, ReadsParsesAndReportsErrors) {
  JsonErrorCode code = JSON_NO_ERROR;
  std::string message;
  EXPECT_FALSE(JsonFileReader(Path(L"missing.json")).Deserialize(&code, &message));
  EXPECT_EQ(JSON_NO_SUCH_FILE, code);
  EXPECT_EQ("File not found.", message);
  EXPECT_FALSE(JsonFileReader(Path(L"no\\such\\folder.json")).Deserialize(&code, nullptr));
  EXPECT_EQ(JSON_NO_SUCH_FILE, code);

  // Bigger than one read chunk, with a byte order mark.
  std::string big = "\xEF\xBB\xBF{\"pad\": \"" + std::string(100000, 'x') + "\", \"v\": 1}";
  Write(big);
  std::unique_ptr<Value> root = JsonFileReader(Path(L"a.json")).Deserialize(&code, &message);
  ASSERT_TRUE(root);
  std::unique_ptr<DictionaryValue> dict = DictionaryValue::From(std::move(root));
  ASSERT_TRUE(dict);
  EXPECT_TRUE(dict->GetInteger("v", nullptr));

  Write("{\"v\": 1");
  EXPECT_FALSE(JsonFileReader(Path(L"a.json")).Deserialize(&code, &message));
  EXPECT_EQ(JSON_UNEXPECTED_END, code);
  EXPECT_EQ("Line: 1, column: 8, Unexpected end of input.", message);

  // Null outputs are allowed.
  EXPECT_FALSE(JsonFileReader(Path(L"a.json")).Deserialize(nullptr, nullptr));

  // A folder cannot be opened as a file.
  EXPECT_FALSE(JsonFileReader(temp_dir_.GetPath()).Deserialize(&code, &message));
  EXPECT_EQ(JSON_ACCESS_DENIED, code);
  // Nor can a file that another handle holds exclusively.
  Write("{}");
  File locked(Path(L"a.json"),
              File::FLAG_OPEN | File::FLAG_READ | File::FLAG_EXCLUSIVE_READ |
                  File::FLAG_EXCLUSIVE_WRITE);
  ASSERT_TRUE(locked.IsValid());
  EXPECT_FALSE(JsonFileReader(Path(L"a.json")).Deserialize(&code, &message));
  EXPECT_EQ(JSON_CANNOT_READ_FILE, code);
}

}  // namespace
}  // namespace base
