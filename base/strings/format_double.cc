#include "base/strings/format_double.h"

#include <stdio.h>
#include <stdlib.h>

#include <cmath>

namespace base {

size_t FormatDoubleShortest(char (&buffer)[kFormatDoubleBufferSize], double value) {
  int length = 0;
  if (!std::isfinite(value)) {
    length = snprintf(buffer, kFormatDoubleBufferSize, "%s",
                      std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf"));
    return static_cast<size_t>(length);
  }
  // 17 significant digits always identify a double; fewer usually do.
  for (int precision = 1; precision <= 17; ++precision) {
    length = snprintf(buffer, kFormatDoubleBufferSize, "%.*g", precision, value);
    if (strtod(buffer, nullptr) == value)
      break;
  }
  return static_cast<size_t>(length);
}

}  // namespace base
