#include "desktop/windows/crash_reporter/crash_reporter_flags.h"

#include <memory>

#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/json/json_file_reader.h"
#include "base/values.h"
#include "desktop/windows/installer/service/browser_features.h"
#include "desktop/windows/installer/service/installer_features.h"

namespace crash_reporter {

namespace {

struct Flag {
  const char* feature_name;     // Null: no browser feature.
  const char* preference_path;  // Null: no preference of its own.
  bool value;
  bool overridable;
};

constexpr Flag kInitialReportingEnabled = {nullptr, "user_experience_metrics.reporting_enabled",
                                           true, true};
constexpr Flag kInitialAlternativeCrashLogging = {installer::kAlternativeCrashLoggingFeature,
                                                  nullptr, false, true};

// Written by Read before the reporter serves, read-only afterwards.
Flag g_reporting_enabled = kInitialReportingEnabled;
Flag g_alternative_crash_logging = kInitialAlternativeCrashLogging;

Flag* const kFlags[] = {&g_reporting_enabled, &g_alternative_crash_logging};

}  // namespace

// static
void CrashReporterFlags::Read(const base::FilePath& preferences_path) {
  base::CommandLine::InitForCurrentProcess();
  Read(preferences_path, *base::CommandLine::ForCurrentProcess());
}

// static
void CrashReporterFlags::Read(const base::FilePath& preferences_path,
                              const base::CommandLine& command_line) {
  g_reporting_enabled = kInitialReportingEnabled;
  g_alternative_crash_logging = kInitialAlternativeCrashLogging;
  for (Flag* flag : kFlags) {
    if (!flag->feature_name)
      continue;
    if (const installer::FeatureRow* row = installer::FindBrowserFeature(flag->feature_name)) {
      flag->value = installer::IsFeatureEnabledByDefault(*row);
      flag->overridable = installer::IsFeatureOverridable(*row);
    }
    if (!flag->overridable)
      continue;
    const std::wstring state =
        command_line.GetSwitchValueNative(base::MakeFeatureSwitchName(flag->feature_name));
    if (state == L"off")
      flag->value = false;
    else if (state == L"on")
      flag->value = true;
  }

  if (preferences_path.empty())
    return;
  std::unique_ptr<base::DictionaryValue> preferences = base::DictionaryValue::From(
      base::JsonFileReader(preferences_path).Deserialize(nullptr, nullptr));
  if (!preferences)
    return;
  for (Flag* flag : kFlags) {
    if (!flag->overridable)
      continue;
    if (!flag->feature_name) {
      preferences->GetBoolean(flag->preference_path, &flag->value);
      continue;
    }
    int state = 0;
    if (preferences->GetInteger(std::string("browser.flags.") + flag->feature_name, &state)) {
      if (state == 1)
        flag->value = true;
      else if (state == 2)
        flag->value = false;
    }
  }
}

bool IsReportingEnabled() {
  return g_reporting_enabled.value;
}

bool IsAlternativeCrashLoggingEnabled() {
  return g_alternative_crash_logging.value;
}

}  // namespace crash_reporter
