#include "base/json/json_writer.h"

#include <string.h>

#include "base/json/string_escape.h"
#include "base/strings/format_double.h"
#include "base/values.h"

namespace base {

namespace {

constexpr int kIndentWidth = 3;

}  // namespace

// static
bool JsonWriter::Write(const Value& value, std::string* json) {
  return WriteWithOptions(value, OPTIONS_NONE, json);
}

// static
bool JsonWriter::WriteWithOptions(const Value& value, int options, std::string* json) {
  json->clear();
  if (value.IsType(Value::TYPE_BINARY))
    return false;
  JsonWriter writer(options, json);
  if (!writer.BuildJsonString(value, 0)) {
    json->clear();
    return false;
  }
  if (writer.pretty_print_)
    json->push_back('\n');
  return true;
}

JsonWriter::JsonWriter(int options, std::string* json)
    : omit_binary_values_((options & OPTIONS_OMIT_BINARY_VALUES) != 0),
      pretty_print_((options & OPTIONS_PRETTY_PRINT) != 0),
      json_(json) {}

bool JsonWriter::BuildJsonString(const Value& value, int depth) {
  switch (value.GetType()) {
    case Value::TYPE_NULL:
      json_->append("null");
      return true;

    case Value::TYPE_BOOLEAN: {
      bool boolean = false;
      value.GetAsBoolean(&boolean);
      json_->append(boolean ? "true" : "false");
      return true;
    }

    case Value::TYPE_INTEGER: {
      int integer = 0;
      value.GetAsInteger(&integer);
      json_->append(std::to_string(integer));
      return true;
    }

    case Value::TYPE_DOUBLE: {
      double number = 0;
      value.GetAsDouble(&number);
      AppendDouble(number);
      return true;
    }

    case Value::TYPE_STRING:
      EscapeJsonString(static_cast<const StringValue&>(value).GetString(), json_);
      return true;

    case Value::TYPE_BINARY:
      // WriteMember skips omitted binary members and elements before getting here.
      return false;

    case Value::TYPE_DICTIONARY: {
      json_->push_back('{');
      bool empty = true;
      for (const auto& member : static_cast<const DictionaryValue&>(value)) {
        if (!WriteMember(&member.first, *member.second, depth, &empty))
          return false;
      }
      EndContainer('}', depth, empty);
      return true;
    }

    case Value::TYPE_LIST: {
      json_->push_back('[');
      bool empty = true;
      for (const auto& element : static_cast<const ListValue&>(value)) {
        if (!WriteMember(nullptr, *element, depth, &empty))
          return false;
      }
      EndContainer(']', depth, empty);
      return true;
    }
  }
  return false;
}

bool JsonWriter::WriteMember(const std::string* key,
                             const Value& value,
                             int depth,
                             bool* empty) {
  if (value.IsType(Value::TYPE_BINARY))
    return omit_binary_values_;
  if (!*empty)
    json_->push_back(',');
  *empty = false;
  if (pretty_print_)
    NewLineAndIndent(depth + 1);
  if (key) {
    EscapeJsonString(*key, json_);
    json_->append(pretty_print_ ? ": " : ":");
  }
  return BuildJsonString(value, depth + 1);
}

void JsonWriter::EndContainer(char close, int depth, bool empty) {
  if (pretty_print_ && !empty)
    NewLineAndIndent(depth);
  json_->push_back(close);
}

void JsonWriter::AppendDouble(double value) {
  char buffer[kFormatDoubleBufferSize];
  const size_t length = FormatDoubleShortest(buffer, value);
  json_->append(buffer, length);
  // "%g" writes integral values without a point; add one so they read back as doubles.
  if (!memchr(buffer, '.', length) && !memchr(buffer, 'e', length) &&
      !memchr(buffer, 'E', length)) {
    json_->append(".0");
  }
}

void JsonWriter::NewLineAndIndent(int depth) {
  json_->push_back('\n');
  json_->append(static_cast<size_t>(depth) * kIndentWidth, ' ');
}

}  // namespace base
