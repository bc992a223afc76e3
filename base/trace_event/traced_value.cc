#include "base/trace_event/traced_value.h"

#include <stdint.h>
#include <string.h>

#include <utility>
#include <vector>

#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/trace_event/trace_event_memory_overhead.h"

namespace base {
namespace trace_event {

namespace {

constexpr size_t kInitialCapacity = 64;

// Item tags.
constexpr char kTypeStartDict = '{';
constexpr char kTypeEndDict = '}';
constexpr char kTypeStartArray = '[';
constexpr char kTypeEndArray = ']';
constexpr char kTypeBool = 'b';
constexpr char kTypeInt = 'i';
constexpr char kTypeDouble = 'd';
constexpr char kTypeString = 's';
// Name tags.
constexpr char kTypeStaticName = '*';
constexpr char kTypeCopiedName = 's';

bool ReadTag(WireMessageReader* reader, char* tag) {
  const char* bytes;
  if (!reader->ReadBytes(&bytes, 1))
    return false;
  *tag = bytes[0];
  return true;
}

bool ReadName(WireMessageReader* reader, std::string* name) {
  char tag;
  if (!ReadTag(reader, &tag))
    return false;
  if (tag == kTypeCopiedName)
    return reader->ReadString(name);
  int64_t address;
  if (tag != kTypeStaticName || !reader->ReadInt64(&address))
    return false;
  *name = reinterpret_cast<const char*>(static_cast<uintptr_t>(address));
  return true;
}

// Reads the value of an item tagged |tag|.
std::unique_ptr<Value> ReadScalar(WireMessageReader* reader, char tag) {
  switch (tag) {
    case kTypeBool: {
      bool value;
      return reader->ReadBool(&value) ? std::make_unique<ScalarValue>(value) : nullptr;
    }
    case kTypeInt: {
      int32_t value;
      return reader->ReadInt(&value) ? std::make_unique<ScalarValue>(static_cast<int>(value))
                                     : nullptr;
    }
    case kTypeDouble: {
      int64_t bits;
      if (!reader->ReadInt64(&bits))
        return nullptr;
      double value;
      memcpy(&value, &bits, sizeof(value));
      return std::make_unique<ScalarValue>(value);
    }
    case kTypeString: {
      std::string value;
      return reader->ReadString(&value) ? std::make_unique<StringValue>(value) : nullptr;
    }
    default:
      return nullptr;
  }
}

}  // namespace

TracedValue::TracedValue() : record_(WireMessage::kHeaderSize + kInitialCapacity) {}

TracedValue::~TracedValue() = default;

void TracedValue::WriteTag(char tag) {
  char* room = record_.ClaimBytes(1);
  if (room)
    *room = tag;
}

void TracedValue::WriteStaticName(const char* name) {
  WriteTag(kTypeStaticName);
  record_.WriteInt64(static_cast<int64_t>(reinterpret_cast<uintptr_t>(name)));
}

void TracedValue::WriteCopiedName(std::string_view name) {
  WriteTag(kTypeCopiedName);
  record_.WriteString(name);
}

void TracedValue::WriteDouble(double value) {
  int64_t bits;
  memcpy(&bits, &value, sizeof(bits));
  record_.WriteInt64(bits);
}

void TracedValue::SetInteger(const char* name, int value) {
  WriteTag(kTypeInt);
  record_.WriteInt(value);
  WriteStaticName(name);
}

void TracedValue::SetDouble(const char* name, double value) {
  WriteTag(kTypeDouble);
  WriteDouble(value);
  WriteStaticName(name);
}

void TracedValue::SetBoolean(const char* name, bool value) {
  WriteTag(kTypeBool);
  record_.WriteBool(value);
  WriteStaticName(name);
}

void TracedValue::SetString(const char* name, std::string_view value) {
  WriteTag(kTypeString);
  record_.WriteString(value);
  WriteStaticName(name);
}

void TracedValue::BeginDictionary(const char* name) {
  WriteTag(kTypeStartDict);
  WriteStaticName(name);
}

void TracedValue::BeginArray(const char* name) {
  WriteTag(kTypeStartArray);
  WriteStaticName(name);
}

void TracedValue::SetIntegerWithCopiedName(std::string_view name, int value) {
  WriteTag(kTypeInt);
  record_.WriteInt(value);
  WriteCopiedName(name);
}

void TracedValue::SetDoubleWithCopiedName(std::string_view name, double value) {
  WriteTag(kTypeDouble);
  WriteDouble(value);
  WriteCopiedName(name);
}

void TracedValue::SetBooleanWithCopiedName(std::string_view name, bool value) {
  WriteTag(kTypeBool);
  record_.WriteBool(value);
  WriteCopiedName(name);
}

void TracedValue::SetStringWithCopiedName(std::string_view name, std::string_view value) {
  WriteTag(kTypeString);
  record_.WriteString(value);
  WriteCopiedName(name);
}

void TracedValue::BeginDictionaryWithCopiedName(std::string_view name) {
  WriteTag(kTypeStartDict);
  WriteCopiedName(name);
}

void TracedValue::BeginArrayWithCopiedName(std::string_view name) {
  WriteTag(kTypeStartArray);
  WriteCopiedName(name);
}

void TracedValue::AppendInteger(int value) {
  WriteTag(kTypeInt);
  record_.WriteInt(value);
}

void TracedValue::AppendDouble(double value) {
  WriteTag(kTypeDouble);
  WriteDouble(value);
}

void TracedValue::AppendBoolean(bool value) {
  WriteTag(kTypeBool);
  record_.WriteBool(value);
}

void TracedValue::AppendString(std::string_view value) {
  WriteTag(kTypeString);
  record_.WriteString(value);
}

void TracedValue::BeginDictionary() {
  WriteTag(kTypeStartDict);
}

void TracedValue::BeginArray() {
  WriteTag(kTypeStartArray);
}

void TracedValue::EndDictionary() {
  WriteTag(kTypeEndDict);
}

void TracedValue::EndArray() {
  WriteTag(kTypeEndArray);
}

std::unique_ptr<DictionaryValue> TracedValue::ToBaseValue() const {
  auto root = std::make_unique<DictionaryValue>();
  std::vector<Value*> stack = {root.get()};
  WireMessageReader reader(record_);
  char tag;
  while (reader.remaining() && ReadTag(&reader, &tag)) {
    if (tag == kTypeEndDict || tag == kTypeEndArray) {
      if (stack.size() > 1)
        stack.pop_back();
      continue;
    }
    std::unique_ptr<Value> value;
    if (tag == kTypeStartDict)
      value = std::make_unique<DictionaryValue>();
    else if (tag == kTypeStartArray)
      value = std::make_unique<ListValue>();
    else
      value = ReadScalar(&reader, tag);
    if (!value) {
      LOG(ERROR) << "Unreadable traced value item '" << tag << "'";
      break;
    }
    const bool is_container = tag == kTypeStartDict || tag == kTypeStartArray;
    Value* stored = nullptr;
    DictionaryValue* dictionary = nullptr;
    ListValue* list = nullptr;
    if (stack.back()->GetAsDictionary(&dictionary)) {
      std::string name;
      if (!ReadName(&reader, &name)) {
        LOG(ERROR) << "Unreadable traced value name";
        break;
      }
      stored = dictionary->SetWithoutPathExpansion(name, std::move(value));
    } else if (stack.back()->GetAsList(&list)) {
      stored = value.get();
      list->Append(std::move(value));
    }
    if (is_container && stored)
      stack.push_back(stored);
  }
  return root;
}

void TracedValue::AppendAsTraceFormat(std::string* out) const {
  std::string json;
  JsonWriter::Write(*ToBaseValue(), &json);
  *out += json;
}

void TracedValue::EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) {
  overhead->Add("TracedValue", 1, sizeof(*this) + record_.capacity(),
                sizeof(*this) + record_.size());
}

}  // namespace trace_event
}  // namespace base
