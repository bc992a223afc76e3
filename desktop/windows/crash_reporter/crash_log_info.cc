#include "desktop/windows/crash_reporter/crash_log_info.h"

namespace crash_reporter {

std::string EscapeMetadataText(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '"':
        escaped += "\\\"";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\n':
        escaped += "\\n";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string EscapeLineBreaks(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '\r')
      escaped += "\\r";
    else if (c == '\n')
      escaped += "\\n";
    else
      escaped += c;
  }
  return escaped;
}

bool WriteMetadataLines(FILE* file, const CrashLogInfo& info, const char* line_end) {
  for (const auto& [key, value] : info.metadata) {
    if (fprintf(file, "%s=\"%s\"%s", EscapeMetadataText(key).c_str(),
                EscapeMetadataText(value).c_str(), line_end) < 0) {
      return false;
    }
  }
  return true;
}

}  // namespace crash_reporter
