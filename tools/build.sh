#!/usr/bin/env bash
# Installs what the build needs (once), configures the build tree and builds everything.
# Usage: tools/build.sh [extra cmake --build arguments]
# Environment: BUILD_DIR (default: build), BUILD_TYPE (default: Release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

# The third-party prefix depends on the build options of the libraries (tools/deps.sh
# prints it last): the build tree follows it when it changes.
deps_prefix=$(bash "$root/tools/deps.sh" | tail -n 1)
[ -d "$deps_prefix/lib" ] || { echo "tools/deps.sh did not name a prefix" >&2; exit 1; }

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" -DTAVRO_DEPS_PREFIX="$deps_prefix" >/dev/null
elif ! grep -qxF "TAVRO_DEPS_PREFIX:PATH=$deps_prefix" "$build/CMakeCache.txt"; then
  cmake "$build" -DTAVRO_DEPS_PREFIX="$deps_prefix" >/dev/null
fi
# ccache can reuse objects built with precompiled headers only when told to. Its cache is
# kept to about three builds' worth: the machines that run the tests can be short of disk.
export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros}
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-2G}
cmake --build "$build" "$@"
