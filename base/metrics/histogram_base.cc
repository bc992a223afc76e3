#include "base/metrics/histogram_base.h"

#include "base/metrics/statistics_recorder.h"
#include "base/strings/stringprintf.h"

namespace base {

namespace {

constexpr int kBarWidth = 72;

}  // namespace

const char* HistogramTypeToString(uint32_t type) {
  switch (type) {
    case HISTOGRAM:
      return "HISTOGRAM";
    case LINEAR_HISTOGRAM:
      return "LINEAR_HISTOGRAM";
    case BOOLEAN_HISTOGRAM:
      return "BOOLEAN_HISTOGRAM";
    case CUSTOM_HISTOGRAM:
      return "CUSTOM_HISTOGRAM";
    case SPARSE_HISTOGRAM:
      return "SPARSE_HISTOGRAM";
  }
  return "UNKNOWN";
}

HistogramBase::HistogramBase(const std::string& name) : name_(name) {}

HistogramBase::~HistogramBase() = default;

uint32_t HistogramBase::FindCorruption(const HistogramSamples& samples) const {
  return NO_INCONSISTENCIES;
}

void HistogramBase::WriteHtmlGraph(std::string* output) const {
  output->append("<PRE>");
  WriteAsciiImpl("<br>", output);
  output->append("</PRE>");
}

void HistogramBase::WriteText(std::string* output) const {
  WriteAsciiImpl("\n", output);
}

void HistogramBase::FindAndRunCallback(Sample sample) const {
  if (!(flags() & kCallbackExists))
    return;
  // The copy holds its own reference for the call.
  const StatisticsRecorder::OnSampleCallback callback = StatisticsRecorder::FindCallback(name_);
  if (callback)
    callback.Run(sample);
}

// static
void HistogramBase::WriteAsciiBucketGraph(double current, double max, std::string* output) {
  // Nothing is drawn against an empty peak (or a NaN). Counts read from a damaged segment
  // may be negative or above the peak: the bar stays within its width.
  double x_count = max > 0 ? current / max * kBarWidth + 0.5 : 0.0;
  if (!(x_count > 0))
    x_count = 0;
  if (x_count > kBarWidth)
    x_count = kBarWidth;
  const int dashes = static_cast<int>(x_count);
  output->append(static_cast<size_t>(dashes), '-');
  output->append("O");
  output->append(static_cast<size_t>(kBarWidth - dashes), ' ');
}

// static
std::string HistogramBase::GetPercentageText(Count count, Count total) {
  return StringPrintf("%3.1f%%", count / (total / 100.0));
}

}  // namespace base
