#ifndef BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_
#define BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/features/feature_registry.h"

namespace base {

class CommandLine;

// The prefix of a feature switch: "with-feature:" followed by the feature name.
extern const char kFeatureSwitchPrefix[];

// "with-feature:" followed by |name|.
std::string MakeFeatureSwitchName(std::string_view name);

// Reads overrides from the "with-feature:<name>" switches of a command line: the value "on"
// enables the feature, "off" disables it, and a switch without a value enables it (naming a
// feature on the command line is asking for it). Any other value, or a switch without a
// feature name, is skipped.
class CommandLineFeatureReader : public FeatureReader {
 public:
  // |command_line| must outlive the reader.
  explicit CommandLineFeatureReader(const CommandLine& command_line);
  ~CommandLineFeatureReader() override;

  void ReadOverrides(std::vector<FeatureOverride>* overrides) const override;

 private:
  const CommandLine& command_line_;
};

// Appends one "with-feature:" switch per override of |registry| ("on" or "off"), so that
// a child process reading its command line ends with the same overrides.
void AppendFeatureSwitches(const FeatureRegistry& registry, CommandLine* command_line);
// The same for the process-wide registry.
void AppendFeatureSwitches(CommandLine* command_line);

}  // namespace base

#endif  // BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_
