#include "desktop/windows/installer/ui/install_progress.h"

#include <algorithm>

namespace installer {

namespace {

// Downloading dominates the time of a run, unpacking comes second.
constexpr int32_t kPhaseWeights[PHASE_COUNT] = {1, 1000, 200, 1, 1, 100};

}  // namespace

int32_t GetPhaseWeight(int32_t phase) {
  return phase >= 0 && phase < PHASE_COUNT ? kPhaseWeights[phase] : 0;
}

int32_t GetTotalProgressWeight() {
  int32_t total = 0;
  for (int32_t weight : kPhaseWeights)
    total += weight;
  return total < 1 ? 1 : total;
}

int32_t GetProgressPosition(int32_t phase, int32_t current, int32_t total) {
  int32_t position = 0;
  for (int32_t before = 0; before < phase && before < PHASE_COUNT; ++before)
    position += kPhaseWeights[before];
  float done = 0.0f;
  if (total != 0)
    done = static_cast<float>(GetPhaseWeight(phase)) * static_cast<float>(current) /
           static_cast<float>(total);
  // A phase never counts for more than its share: the backend reports one step more than
  // it announced (the count starts at 1), and a bar past its end starts over.
  return position + std::clamp(static_cast<int32_t>(done), 0, GetPhaseWeight(phase));
}

}  // namespace installer
