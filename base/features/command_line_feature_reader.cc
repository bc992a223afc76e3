#include "base/features/command_line_feature_reader.h"

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/string_util.h"

namespace base {

namespace {

constexpr char kOn[] = "on";
constexpr char kOff[] = "off";

}  // namespace

const char kFeatureSwitchPrefix[] = "with-feature:";

std::string MakeFeatureSwitchName(std::string_view name) {
  return kFeatureSwitchPrefix + std::string(name);
}

CommandLineFeatureReader::CommandLineFeatureReader(const CommandLine& command_line)
    : command_line_(command_line) {}

CommandLineFeatureReader::~CommandLineFeatureReader() = default;

void CommandLineFeatureReader::ReadOverrides(std::vector<FeatureOverride>* overrides) const {
  const std::string_view prefix(kFeatureSwitchPrefix);
  for (const auto& [name, value] : command_line_.GetSwitches()) {
    if (!StartsWith(name, prefix, CompareCase::SENSITIVE))
      continue;
    const std::string_view feature = std::string_view(name).substr(prefix.size());
    if (feature.empty()) {
      LOG(WARNING) << "Feature switch without a feature name";
      continue;
    }
    bool enabled;
    if (value.empty() || value == L"on") {
      enabled = true;
    } else if (value == L"off") {
      enabled = false;
    } else {
      LOG(WARNING) << "Ignoring feature switch " << name << " with the value " << value;
      continue;
    }
    overrides->push_back(FeatureOverride{std::string(feature), enabled});
  }
}

void AppendFeatureSwitches(const FeatureRegistry& registry, CommandLine* command_line) {
  for (const FeatureOverride& entry : registry.GetOverrides())
    command_line->AppendSwitchASCII(MakeFeatureSwitchName(entry.name),
                                    entry.enabled ? kOn : kOff);
}

void AppendFeatureSwitches(CommandLine* command_line) {
  AppendFeatureSwitches(FeatureRegistry::GetInstance(), command_line);
}

}  // namespace base
