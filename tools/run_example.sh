#!/usr/bin/env bash
# The installer's main job on the built-in example: builds everything (installing what the
# build needs first) and runs build/bin/installer.exe under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build

"$root/tools/build.sh"

export WINEPREFIX=$build/wineprefix
. "$root/tools/wine_env.sh"
ensure_wine_prefix
trap 'wineserver -k 2>/dev/null || true' EXIT
start_wine_session

installer=$build/bin/installer.exe
run() {
  printf '\n$ wine installer.exe %s\n' "$*"
  set +e
  wine "$installer" "$@"
  local status=$?
  set -e
  printf '\n(exit code %d)\n' "$status"
}

run --version
run --internal-version
run --stream
