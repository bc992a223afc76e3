# Writes the source that defines installer::kBuildDate (desktop/windows/installer/service/
# build_date.h). Run by the build, not at configure time:
#   cmake -DOUTPUT=<file> [-DFIXED_DATE=YYYYMMDD_HHMMSS] -P write_build_date.cmake
# The file is rewritten only when its text changes, so that an unchanged date compiles nothing.
if(FIXED_DATE)
  set(date "${FIXED_DATE}")
else()
  string(TIMESTAMP date "%Y%m%d_%H%M%S" UTC)
endif()
if(NOT date MATCHES "^[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]_[0-9][0-9][0-9][0-9][0-9][0-9]$")
  message(FATAL_ERROR "Build date \"${date}\" is not YYYYMMDD_HHMMSS")
endif()
set(text "// Written by cmake/write_build_date.cmake at each build of the installer library.
#include \"desktop/windows/installer/service/build_date.h\"

namespace installer {

const char kBuildDate[] = \"${date}\";

}  // namespace installer
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old_text)
  if(old_text STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
