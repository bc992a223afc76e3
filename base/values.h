#ifndef BASE_VALUES_H_
#define BASE_VALUES_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace base {

class DictionaryValue;
class ListValue;

// A dynamically typed value: null, boolean, integer, double, string, binary, dictionary or
// list. A plain Value is the null value; the other kinds are the subclasses below. Values
// are not copyable; CreateDeepCopy makes an independent copy of a whole tree.
class Value {
 public:
  enum Type {
    TYPE_NULL = 0,
    TYPE_BOOLEAN = 1,
    TYPE_INTEGER = 2,
    TYPE_DOUBLE = 3,
    TYPE_STRING = 4,
    TYPE_BINARY = 5,
    TYPE_DICTIONARY = 6,
    TYPE_LIST = 7,
  };

  Value() : type_(TYPE_NULL) {}
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  virtual ~Value();

  static std::unique_ptr<Value> CreateNullValue();

  Type GetType() const { return type_; }
  bool IsType(Type type) const { return type_ == type; }

  // Each returns true and fills |out| (which may be null) when the value is of the matching
  // kind. GetAsInteger accepts only integers; GetAsDouble also widens an integer.
  virtual bool GetAsBoolean(bool* out) const;
  virtual bool GetAsInteger(int* out) const;
  virtual bool GetAsDouble(double* out) const;
  virtual bool GetAsString(std::string* out) const;   // UTF-8.
  virtual bool GetAsString(std::wstring* out) const;  // UTF-16.

  // Views this value as a dictionary or a list (no copy); false for other kinds.
  virtual bool GetAsDictionary(DictionaryValue** out);
  virtual bool GetAsDictionary(const DictionaryValue** out) const;
  virtual bool GetAsList(ListValue** out);
  virtual bool GetAsList(const ListValue** out) const;

  virtual std::unique_ptr<Value> CreateDeepCopy() const;

  // Deep comparison: same kind and same contents. An integer never equals a double.
  virtual bool Equals(const Value* other) const;

 protected:
  explicit Value(Type type) : type_(type) {}

 private:
  const Type type_;
};

// A boolean, an integer or a double. A double that is not finite is stored as 0.0, since
// JSON cannot represent it.
class ScalarValue : public Value {
 public:
  explicit ScalarValue(bool value);
  explicit ScalarValue(int value);
  explicit ScalarValue(double value);
  ~ScalarValue() override;

  bool GetAsBoolean(bool* out) const override;
  bool GetAsInteger(int* out) const override;
  bool GetAsDouble(double* out) const override;
  std::unique_ptr<Value> CreateDeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  union {
    bool boolean_value_;
    int integer_value_;
    double double_value_;
  };
};

// Text, held as UTF-8.
class StringValue : public Value {
 public:
  explicit StringValue(std::string_view utf8);
  explicit StringValue(std::wstring_view utf16);
  ~StringValue() override;

  const std::string& GetString() const { return value_; }

  bool GetAsString(std::string* out) const override;
  bool GetAsString(std::wstring* out) const override;
  std::unique_ptr<Value> CreateDeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  std::string value_;
};

// Opaque bytes. JSON has no form for them (see JsonWriter).
class BinaryValue : public Value {
 public:
  explicit BinaryValue(std::vector<uint8_t> bytes);
  BinaryValue(const void* data, size_t size);
  ~BinaryValue() override;

  const std::vector<uint8_t>& bytes() const { return bytes_; }

  std::unique_ptr<Value> CreateDeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  std::vector<uint8_t> bytes_;
};

// Named members kept in key order. Most accessors take a dotted path: "a.b.c" is member
// "c" of dictionary "b" of dictionary "a". The ...WithoutPathExpansion forms take the key
// whole, dots included. Getters return false (leaving the output alone) when the path does
// not lead to a value of the asked kind; every output pointer may be null to test presence.
class DictionaryValue : public Value {
 public:
  using Storage = std::map<std::string, std::unique_ptr<Value>, std::less<>>;
  using const_iterator = Storage::const_iterator;

  DictionaryValue();
  ~DictionaryValue() override;

  // The dictionary |value| holds, or null (the value is destroyed) when it is another kind.
  static std::unique_ptr<DictionaryValue> From(std::unique_ptr<Value> value);

  // True when |key| (taken whole) is a member.
  bool HasKey(std::string_view key) const;
  size_t size() const { return dictionary_.size(); }
  bool empty() const { return dictionary_.empty(); }
  void Clear();

  // Stores |value| at |path|, creating the intermediate dictionaries and replacing any
  // non-dictionary in their way. Returns the stored value (null when |value| is null, which
  // stores nothing).
  Value* Set(std::string_view path, std::unique_ptr<Value> value);
  void SetBoolean(std::string_view path, bool value);
  void SetInteger(std::string_view path, int value);
  void SetDouble(std::string_view path, double value);
  void SetString(std::string_view path, std::string_view utf8);
  void SetString(std::string_view path, std::wstring_view utf16);
  Value* SetWithoutPathExpansion(std::string_view key, std::unique_ptr<Value> value);

  bool Get(std::string_view path, const Value** out) const;
  bool Get(std::string_view path, Value** out);
  bool GetWithoutPathExpansion(std::string_view key, const Value** out) const;
  bool GetWithoutPathExpansion(std::string_view key, Value** out);
  bool GetBoolean(std::string_view path, bool* out) const;
  bool GetInteger(std::string_view path, int* out) const;  // Integers only, not booleans.
  bool GetDouble(std::string_view path, double* out) const;  // Integers widened.
  bool GetString(std::string_view path, std::string* out) const;
  bool GetString(std::string_view path, std::wstring* out) const;
  // Only a string made of ASCII characters.
  bool GetStringASCII(std::string_view path, std::string* out) const;
  bool GetDictionary(std::string_view path, const DictionaryValue** out) const;
  bool GetDictionary(std::string_view path, DictionaryValue** out);
  bool GetList(std::string_view path, const ListValue** out) const;
  bool GetList(std::string_view path, ListValue** out);

  // Removes the value at |path|, handing it to |out| when not null. False when absent.
  bool Remove(std::string_view path, std::unique_ptr<Value>* out);

  // Members in key order; each element is a pair of key and owned value.
  const_iterator begin() const { return dictionary_.begin(); }
  const_iterator end() const { return dictionary_.end(); }

  bool GetAsDictionary(DictionaryValue** out) override;
  bool GetAsDictionary(const DictionaryValue** out) const override;
  std::unique_ptr<Value> CreateDeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  // The dictionary that holds the last component of |path| and that component, or null.
  const DictionaryValue* FindParent(std::string_view path, std::string_view* key) const;

  Storage dictionary_;
};

// An ordered sequence of values.
class ListValue : public Value {
 public:
  using Storage = std::vector<std::unique_ptr<Value>>;
  using const_iterator = Storage::const_iterator;

  ListValue();
  ~ListValue() override;

  size_t GetSize() const { return list_.size(); }
  bool empty() const { return list_.empty(); }
  void Clear();

  // A null |value| is ignored.
  void Append(std::unique_ptr<Value> value);
  void AppendBoolean(bool value);
  void AppendInteger(int value);
  void AppendDouble(double value);  // A non-finite double is stored as 0.0.
  void AppendString(std::string_view utf8);
  void AppendString(std::wstring_view utf16);

  // Stores |value| at |index|, padding the list with null values up to it. False (nothing
  // changes) when |value| is null.
  bool Set(size_t index, std::unique_ptr<Value> value);

  // Each returns false (leaving the output alone) when |index| is out of range or the value
  // there is of another kind; the output pointer may be null.
  bool Get(size_t index, const Value** out) const;
  bool Get(size_t index, Value** out);
  bool GetInteger(size_t index, int* out) const;
  bool GetString(size_t index, std::string* out) const;
  bool GetString(size_t index, std::wstring* out) const;
  bool GetDictionary(size_t index, const DictionaryValue** out) const;
  bool GetDictionary(size_t index, DictionaryValue** out);

  // Removes the value at |index|, handing it to |out| when not null. False when out of range.
  bool Remove(size_t index, std::unique_ptr<Value>* out);

  const_iterator begin() const { return list_.begin(); }
  const_iterator end() const { return list_.end(); }

  bool GetAsList(ListValue** out) override;
  bool GetAsList(const ListValue** out) const override;
  std::unique_ptr<Value> CreateDeepCopy() const override;
  bool Equals(const Value* other) const override;

 private:
  Storage list_;
};

}  // namespace base

#endif  // BASE_VALUES_H_
