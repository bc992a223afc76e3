# Writes the source that defines installer::kBuildDate (desktop/windows/installer/service/
# build_date.h). Run by the build whenever an input of the library changed, not at configure
# time (cmake/installer_build_date.cmake):
#   cmake -DOUTPUT=<file> [-DFIXED_DATE=YYYYMMDD_HHMMSS] [-DLIBRARIES=<prefix>] -P write_build_date.cmake
# LIBRARIES only names the third-party prefix on the command line, so that the build runs
# this again when the prefix changes.
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
