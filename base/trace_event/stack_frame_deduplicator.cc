#include "base/trace_event/stack_frame_deduplicator.h"

#include "base/strings/stringprintf.h"
#include "base/trace_event/trace_event_memory_overhead.h"
#include "base/trace_event/traced_value.h"

namespace base {
namespace trace_event {

namespace {

// A map node: the key, the value and three links and a colour.
constexpr uint64_t kMapNodeBytes = sizeof(StackFrame) + sizeof(int) + 4 * sizeof(void*);

}  // namespace

StackFrameDeduplicator::StackFrameDeduplicator() = default;

StackFrameDeduplicator::~StackFrameDeduplicator() = default;

int StackFrameDeduplicator::Insert(const StackFrame* begin, const StackFrame* end) {
  int index = -1;
  for (const StackFrame* frame = begin; frame != end; ++frame) {
    std::map<StackFrame, int>& nodes = index < 0 ? roots_ : frames_[index].children;
    const auto found = nodes.find(*frame);
    if (found != nodes.end()) {
      index = found->second;
      continue;
    }
    const int new_index = static_cast<int>(frames_.size());
    // Into the parent's map before the vector grows and moves the parent.
    nodes.emplace(*frame, new_index);
    frames_.emplace_back(*frame, index);
    index = new_index;
  }
  return index;
}

void StackFrameDeduplicator::AppendAsTraceFormat(std::string* out) const {
  *out += "{";
  for (size_t i = 0; i < frames_.size(); ++i) {
    const FrameNode& node = frames_[i];
    if (i > 0)
      *out += ",";
    StringAppendF(out, "\"%d\":", static_cast<int>(i));

    TracedValue frame_value;
    switch (node.frame.type) {
      case StackFrame::Type::kTraceEventName:
        frame_value.SetString("name", static_cast<const char*>(node.frame.value));
        break;
      case StackFrame::Type::kThreadName:
        frame_value.SetString("name", StringPrintf("[Thread: %s]",
                                                   static_cast<const char*>(node.frame.value)));
        break;
      case StackFrame::Type::kProgramCounter:
        frame_value.SetString(
            "name", StringPrintf("pc:%llx", static_cast<unsigned long long>(
                                                reinterpret_cast<uintptr_t>(node.frame.value))));
        break;
    }
    if (node.parent >= 0)
      frame_value.SetString("parent", StringPrintf("%d", node.parent));
    frame_value.AppendAsTraceFormat(out);
  }
  *out += "}";
}

void StackFrameDeduplicator::EstimateTraceMemoryOverhead(TraceEventMemoryOverhead* overhead) {
  uint64_t map_nodes = roots_.size();
  for (const FrameNode& node : frames_)
    map_nodes += node.children.size();
  const uint64_t resident = sizeof(*this) + frames_.size() * sizeof(FrameNode) +
                            map_nodes * kMapNodeBytes;
  const uint64_t allocated = sizeof(*this) + frames_.capacity() * sizeof(FrameNode) +
                             map_nodes * kMapNodeBytes;
  overhead->Add("StackFrameDeduplicator", 1, allocated, resident);
}

}  // namespace trace_event
}  // namespace base
