#include "base/values.h"

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ValuesTest, DottedPathsCreateAndFindNestedDictionaries) {
  DictionaryValue dict;
  dict.SetInteger("browser.flags.sync", 1);
  dict.SetString("browser.name", L"Tavro \u00e9");
  dict.SetBoolean("top", true);

  const DictionaryValue* browser = nullptr;
  ASSERT_TRUE(dict.GetDictionary("browser", &browser));
  EXPECT_EQ(2u, browser->size());
  int sync = 0;
  EXPECT_TRUE(dict.GetInteger("browser.flags.sync", &sync));
  EXPECT_EQ(1, sync);
  std::string narrow;
  EXPECT_TRUE(dict.GetString("browser.name", &narrow));
  EXPECT_EQ("Tavro \xC3\xA9", narrow);  // Stored as UTF-8.
  std::wstring wide;
  EXPECT_TRUE(dict.GetString("browser.name", &wide));
  EXPECT_EQ(L"Tavro \u00e9", wide);

  // Presence tests with null outputs; missing steps and wrong kinds fail.
  EXPECT_TRUE(dict.Get("browser.flags", static_cast<const Value**>(nullptr)));
  EXPECT_TRUE(dict.GetInteger("browser.flags.sync", nullptr));
  EXPECT_FALSE(dict.GetInteger("browser.flags.missing", &sync));
  EXPECT_FALSE(dict.GetInteger("top.sync", &sync));
  EXPECT_FALSE(dict.GetString("browser.flags", &narrow));
  EXPECT_TRUE(dict.HasKey("browser"));
  EXPECT_FALSE(dict.HasKey("browser.name"));  // HasKey takes the key whole.

  // A non-dictionary in the way is replaced.
  dict.SetInteger("top.inner", 5);
  EXPECT_TRUE(dict.GetInteger("top.inner", &sync));
  EXPECT_EQ(5, sync);
  bool boolean = false;
  EXPECT_FALSE(dict.GetBoolean("top", &boolean));
}

TEST(ValuesTest, WithoutPathExpansionKeepsDotsInKeys) {
  DictionaryValue dict;
  dict.SetWithoutPathExpansion("a.b", std::make_unique<ScalarValue>(7));
  EXPECT_TRUE(dict.HasKey("a.b"));
  EXPECT_FALSE(dict.GetInteger("a.b", nullptr));  // Looks for "b" inside "a".
  const Value* value = nullptr;
  ASSERT_TRUE(dict.GetWithoutPathExpansion("a.b", &value));
  int integer = 0;
  EXPECT_TRUE(value->GetAsInteger(&integer));
  EXPECT_EQ(7, integer);
}

TEST(ValuesTest, TypedGettersAreStrict) {
  DictionaryValue dict;
  dict.SetBoolean("flag", true);
  dict.SetDouble("ratio", 0.5);
  dict.SetInteger("count", 3);
  dict.SetString("ascii", "plain");
  dict.SetString("accented", L"caf\u00e9");

  int integer = 42;
  EXPECT_FALSE(dict.GetInteger("flag", &integer));  // Booleans are not integers.
  EXPECT_FALSE(dict.GetInteger("ratio", &integer));
  EXPECT_EQ(42, integer);
  double number = 0;
  EXPECT_TRUE(dict.GetDouble("count", &number));  // Integers widen.
  EXPECT_EQ(3.0, number);
  bool boolean = false;
  EXPECT_FALSE(dict.GetBoolean("count", &boolean));

  std::string text = "untouched";
  EXPECT_TRUE(dict.GetStringASCII("ascii", &text));
  EXPECT_EQ("plain", text);
  text = "untouched";
  EXPECT_FALSE(dict.GetStringASCII("accented", &text));
  EXPECT_EQ("untouched", text);
  EXPECT_FALSE(dict.GetStringASCII("count", &text));

  // Non-finite doubles cannot be written as JSON and are stored as 0.0.
  dict.SetDouble("inf", std::numeric_limits<double>::infinity());
  EXPECT_TRUE(dict.GetDouble("inf", &number));
  EXPECT_EQ(0.0, number);
}

TEST(ValuesTest, RemoveAndIterateInKeyOrder) {
  DictionaryValue dict;
  dict.SetInteger("b", 2);
  dict.SetInteger("a", 1);
  dict.SetInteger("c.d", 4);
  std::vector<std::string> keys;
  for (const auto& member : dict)
    keys.push_back(member.first);
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), keys);

  std::unique_ptr<Value> removed;
  EXPECT_TRUE(dict.Remove("c.d", &removed));
  ASSERT_TRUE(removed);
  EXPECT_TRUE(removed->GetAsInteger(nullptr));
  EXPECT_FALSE(dict.Remove("c.d", nullptr));
  EXPECT_FALSE(dict.Remove("x.y", nullptr));
  EXPECT_TRUE(dict.Remove("a", nullptr));
  EXPECT_EQ(2u, dict.size());  // "b" and the now empty "c".
  dict.Clear();
  EXPECT_TRUE(dict.empty());
}

TEST(ValuesTest, ListSetPadsWithNullsAndAccessorsCheckRange) {
  ListValue list;
  list.AppendInteger(1);
  EXPECT_TRUE(list.Set(3, std::make_unique<StringValue>("x")));
  ASSERT_EQ(4u, list.GetSize());
  const Value* value = nullptr;
  ASSERT_TRUE(list.Get(1, &value));
  EXPECT_TRUE(value->IsType(Value::TYPE_NULL));
  ASSERT_TRUE(list.Get(2, &value));
  EXPECT_TRUE(value->IsType(Value::TYPE_NULL));
  std::string text;
  EXPECT_TRUE(list.GetString(3, &text));
  EXPECT_EQ("x", text);
  EXPECT_TRUE(list.Set(0, std::make_unique<ScalarValue>(true)));  // Replaces in place.
  EXPECT_EQ(4u, list.GetSize());
  EXPECT_FALSE(list.GetInteger(0, nullptr));
  EXPECT_FALSE(list.Set(9, nullptr));
  EXPECT_FALSE(list.Get(4, &value));

  list.AppendDouble(std::numeric_limits<double>::quiet_NaN());
  double number = 1;
  ASSERT_TRUE(list.Get(4, &value));
  EXPECT_TRUE(value->GetAsDouble(&number));
  EXPECT_EQ(0.0, number);

  std::unique_ptr<Value> removed;
  EXPECT_TRUE(list.Remove(3, &removed));
  EXPECT_TRUE(removed->IsType(Value::TYPE_STRING));
  EXPECT_FALSE(list.Remove(10, nullptr));
  EXPECT_EQ(4u, list.GetSize());
}

TEST(ValuesTest, DeepCopyIsIndependentAndEqual) {
  DictionaryValue original;
  original.SetString("name", "a");
  original.SetInteger("nested.number", 1);
  auto list = std::make_unique<ListValue>();
  list->AppendDouble(1.5);
  list->Append(std::make_unique<BinaryValue>("\x01\x02", 2));
  original.Set("nested.list", std::move(list));

  std::unique_ptr<DictionaryValue> copy = DictionaryValue::From(original.CreateDeepCopy());
  ASSERT_TRUE(copy);
  EXPECT_TRUE(original.Equals(copy.get()));
  copy->SetInteger("nested.number", 2);
  ListValue* copied_list = nullptr;
  ASSERT_TRUE(copy->GetList("nested.list", &copied_list));
  copied_list->AppendInteger(3);
  EXPECT_FALSE(original.Equals(copy.get()));
  int number = 0;
  EXPECT_TRUE(original.GetInteger("nested.number", &number));
  EXPECT_EQ(1, number);
  const ListValue* original_list = nullptr;
  ASSERT_TRUE(original.GetList("nested.list", &original_list));
  EXPECT_EQ(2u, original_list->GetSize());
}

TEST(ValuesTest, EqualsComparesKindAndContents) {
  EXPECT_FALSE(ScalarValue(1).Equals(std::make_unique<ScalarValue>(1.0).get()));
  EXPECT_FALSE(ScalarValue(1).Equals(std::make_unique<ScalarValue>(true).get()));
  EXPECT_TRUE(StringValue(L"\u00e9").Equals(std::make_unique<StringValue>("\xC3\xA9").get()));
  EXPECT_TRUE(Value().Equals(Value::CreateNullValue().get()));
  EXPECT_FALSE(Value().Equals(nullptr));
  EXPECT_FALSE(DictionaryValue().Equals(std::make_unique<ListValue>().get()));
}

TEST(ValuesTest, FromAndViewsCheckTheKind) {
  EXPECT_FALSE(DictionaryValue::From(std::make_unique<ListValue>()));
  EXPECT_FALSE(DictionaryValue::From(nullptr));
  std::unique_ptr<Value> value = std::make_unique<ListValue>();
  DictionaryValue* dict = nullptr;
  EXPECT_FALSE(value->GetAsDictionary(&dict));
  ListValue* list = nullptr;
  ASSERT_TRUE(value->GetAsList(&list));
  EXPECT_EQ(value.get(), list);
  EXPECT_EQ(Value::TYPE_LIST, value->GetType());
  EXPECT_EQ(7, static_cast<int>(value->GetType()));
  EXPECT_EQ(5, static_cast<int>(Value::TYPE_BINARY));
}

}  // namespace
}  // namespace base
