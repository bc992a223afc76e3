#ifndef BASE_TRACE_EVENT_STACK_FRAME_DEDUPLICATOR_H_
#define BASE_TRACE_EVENT_STACK_FRAME_DEDUPLICATOR_H_

#include <stdint.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "base/trace_event/convertable_to_trace_format.h"

namespace base {
namespace trace_event {

// One frame of a heap-profiler backtrace: a trace event name, a thread name (both static
// texts, told apart by address) or a program counter.
struct StackFrame {
  enum class Type : uint32_t { kTraceEventName = 0, kThreadName = 1, kProgramCounter = 2 };

  static StackFrame FromTraceEventName(const char* name) {
    return {Type::kTraceEventName, name};
  }
  static StackFrame FromThreadName(const char* name) { return {Type::kThreadName, name}; }
  static StackFrame FromProgramCounter(const void* pc) { return {Type::kProgramCounter, pc}; }

  bool operator<(const StackFrame& other) const {
    return std::tie(type, value) < std::tie(other.type, other.value);
  }

  Type type;
  const void* value;
};

// Stores backtraces as a tree of frames, each distinct path once, so that heap dumps refer
// to a backtrace by the number of its last node; written as the "stackFrames" metadata of
// a memory-tracing recording. Used on one thread.
class StackFrameDeduplicator : public ConvertableToTraceFormat {
 public:
  StackFrameDeduplicator();
  ~StackFrameDeduplicator() override;

  // Adds the backtrace [begin, end), outermost frame first; returns the index of its last
  // node, or -1 for an empty backtrace.
  int Insert(const StackFrame* begin, const StackFrame* end);

  size_t size() const { return frames_.size(); }

  // {"<index>":{"name":"...","parent":"<index>"},...}; roots have no "parent".
  void AppendAsTraceFormat(std::string* out) const override;
  void EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) override;

 private:
  struct FrameNode {
    FrameNode(StackFrame node_frame, int node_parent) : frame(node_frame), parent(node_parent) {}

    StackFrame frame;
    int parent;  // -1 for a root.
    std::map<StackFrame, int> children;
  };

  std::vector<FrameNode> frames_;
  std::map<StackFrame, int> roots_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_STACK_FRAME_DEDUPLICATOR_H_
