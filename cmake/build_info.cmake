# The build's version identity, in one place. Each value can be overridden on the
# cmake command line (-DTAVRO_VERSION_MAJOR=... and so on).
set(TAVRO_VERSION_MAJOR 7 CACHE STRING "Version: major")
set(TAVRO_VERSION_MINOR 4 CACHE STRING "Version: minor")
set(TAVRO_VERSION_BUILD 3105 CACHE STRING "Version: build")
set(TAVRO_VERSION_PATCH 12 CACHE STRING "Version: patch")
set(TAVRO_INTERNAL_VERSION_MAJOR 92 CACHE STRING "Internal version: first number")
set(TAVRO_INTERNAL_VERSION_MINOR 3 CACHE STRING "Internal version: second number")
# Stream ids: 1 nightly, 2 developer, 3 next, 4 stable.
set(TAVRO_STREAM_NAME "Stable" CACHE STRING "Release stream name")
set(TAVRO_STREAM_ID 4 CACHE STRING "Release stream id")
set(TAVRO_BUILD_NUMBER 3105 CACHE STRING "Build number")
set(TAVRO_BUILD_ID_NUMBER 48213 CACHE STRING "Build id number")
# The build date (YYYYMMDD_HHMMSS, UTC) is taken whenever the installer library is built
# (cmake/write_build_date.cmake, honouring SOURCE_DATE_EPOCH), unless a fixed one is given.
set(TAVRO_FIXED_BUILD_DATE "" CACHE STRING "Fixed build date (YYYYMMDD_HHMMSS); empty: the build time")
