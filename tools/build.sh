#!/usr/bin/env bash
# Installs what the build needs (once), configures the build tree and builds everything.
# Usage: tools/build.sh [extra cmake --build arguments]
# Environment: BUILD_DIR (default: build), BUILD_TYPE (default: Release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

bash "$root/tools/deps.sh"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" >/dev/null
fi
cmake --build "$build" "$@"
