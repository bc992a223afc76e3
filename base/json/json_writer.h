#ifndef BASE_JSON_JSON_WRITER_H_
#define BASE_JSON_JSON_WRITER_H_

#include <string>

namespace base {

class Value;

// Writes a Value as JSON text. Dictionary members come in key order; strings are escaped
// as EscapeJsonString does; doubles use the shortest text that reads back as the same
// double and always carry a '.' or an exponent, so that they read back as doubles
// ("1.0", "0.1", "1e+300").
class JsonWriter {
 public:
  enum Options {
    // Compact output: no white space at all.
    OPTIONS_NONE = 0,
    // Leave out binary values in lists and dictionaries instead of failing.
    OPTIONS_OMIT_BINARY_VALUES = 1 << 0,
    // One member or element per line, indented by three spaces per level, "\n" line ends,
    // ": " after keys and a final "\n".
    OPTIONS_PRETTY_PRINT = 1 << 1,
  };

  // Compact output. Returns false (|json| left empty) when the value holds a binary value.
  static bool Write(const Value& value, std::string* json);

  // |options| combines Options. Returns false (|json| left empty) when a binary value is met
  // without OPTIONS_OMIT_BINARY_VALUES, or when the root itself is binary.
  static bool WriteWithOptions(const Value& value, int options, std::string* json);

 private:
  JsonWriter(int options, std::string* json);

  bool BuildJsonString(const Value& value, int depth);
  // Writes |value| as the next member (after |key|) or element (|key| null) of a container
  // at |depth|; |empty| tracks whether the container has had one yet. A binary value is
  // skipped when omitted and fails the write otherwise.
  bool WriteMember(const std::string* key, const Value& value, int depth, bool* empty);
  void EndContainer(char close, int depth, bool empty);
  void AppendDouble(double value);
  void NewLineAndIndent(int depth);

  const bool omit_binary_values_;
  const bool pretty_print_;
  std::string* const json_;
};

}  // namespace base

#endif  // BASE_JSON_JSON_WRITER_H_
