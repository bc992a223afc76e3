#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_INFO_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_INFO_H_

#include <stdio.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace crash_reporter {

// What a crash log says about the product and the crash besides the process state.
struct CrashLogInfo {
  std::string product_suffix;  // The product configuration's crash log suffix.
  std::string version;         // The product's full version.
  std::string build_number;    // Decimal.
  // Written in this order, one "key="value"" line each.
  std::vector<std::pair<std::string, std::string>> metadata;
};

// |text| with backslash, double quote, carriage return and line feed escaped as \\, \",
// \r and \n: crash key values come from the crashed process, and an unescaped quote or
// line break would let one value forge further metadata lines.
std::string EscapeMetadataText(std::string_view text);

// |text| with carriage return and line feed written as \r and \n: client text (a version,
// a module's name or version) that a log line holds as it is must not start a line of its
// own.
std::string EscapeLineBreaks(std::string_view text);

// Writes one escaped |key|="|value|" line per metadata pair, each ended by |line_end|.
// False at the first failed write.
bool WriteMetadataLines(FILE* file, const CrashLogInfo& info, const char* line_end);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOG_INFO_H_
