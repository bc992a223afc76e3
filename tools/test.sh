#!/usr/bin/env bash
# Builds everything and runs every test under Wine: one wineserver for the whole run, Xvfb
# only when a test needs a display. Extra arguments go to ctest (e.g. -R base_unittests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build

"$root/tools/build.sh"

# A run needs about 2 GB besides the build: a full disk shows as odd failures of Wine.
free_kb=$(df -Pk "$build" | awk 'NR == 2 { print $4 }')
if [ "${free_kb:-0}" -lt 2000000 ]; then
  echo "warning: only $((free_kb / 1024)) MB free for $build; the tests need about 2 GB" >&2
fi

export WINEPREFIX=$build/wineprefix
. "$root/tools/wine_env.sh"
ensure_wine_prefix
# The tests compare the prefix's registry and folders before and after their runs, and each
# end-to-end shard starts from a copy of it: an installation made there by hand would show
# up in all of them as something left behind.
left=$(prefix_installations "$WINEPREFIX")
if [ -n "$left" ]; then
  {
    echo "tools/test.sh: the tests' Wine prefix $WINEPREFIX holds an installation:"
    sed 's/^/  /' <<<"$left"
    echo "Run the installer by hand in a prefix of your own (see \"Running the installer by hand\""
    echo "in README.md). To start the tests from a clean prefix, delete this one (it is made"
    echo "again on the next run): rm -rf '$WINEPREFIX'"
  } >&2
  exit 1
fi
# No window manager runs on Xvfb: Wine is to draw the window frames itself rather than wait
# two seconds for a window manager each time a window goes. Set once, before the session.
if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  wineserver -w
fi

# The shards of a sharded test program (see tavro_add_test) each run in a fresh copy of this
# prefix, made now that it is quiet; only the shards this run selects get one.
selected=$(ctest --test-dir "$build" -N "$@" | sed -n 's/^ *Test *#[0-9]*: //p')
shard_prefixes=()
while IFS= read -r prefix; do
  name=${prefix##*/wineprefix_}
  if [ -n "$prefix" ] && grep -qxF "$name" <<<"$selected"; then shard_prefixes+=("$prefix"); fi
done < <(cat "$build/shard_wineprefixes" 2>/dev/null)
for prefix in "${shard_prefixes[@]}"; do
  (rm -rf "$prefix" && copy_wine_prefix "$WINEPREFIX" "$prefix") &
done
wait

started_xvfb=
cleanup() {
  wineserver -k 2>/dev/null || true
  for prefix in "${shard_prefixes[@]}"; do WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; done
  [ -z "$started_xvfb" ] || kill "$started_xvfb" 2>/dev/null || true
}
trap cleanup EXIT

# The display comes first: the session's desktop process, started next, serves every window
# of the run from the display it found.
if [ "$(ctest --test-dir "$build" -N -L gui "$@" | sed -n 's/^Total Tests: //p')" != 0 ]; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  started_xvfb=$!
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
fi

# A persistent wineserver: every Wine process start of the run reuses it. The system
# processes of the prefix start here, detached from the output that ctest captures (a Wine
# service holding a test's output pipe would keep ctest waiting).
start_wine_session
pids=()
for prefix in "${shard_prefixes[@]}"; do (WINEPREFIX=$prefix start_wine_session) & pids+=($!); done
[ ${#pids[@]} = 0 ] || wait "${pids[@]}"

ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
