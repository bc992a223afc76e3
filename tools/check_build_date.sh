#!/usr/bin/env bash
# Fails when the build date inside the installer library is older than the library's code,
# i.e. when it was not taken at the build that made the library.
# Usage: check_build_date.sh <dll> <core static library> [fixed date]
set -euo pipefail
dll=$1
core=$2
fixed=${3:-}
if [ -n "$fixed" ] || [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  echo "The build date is fixed: nothing to check"
  exit 125
fi
# The date is the one string of the form YYYYMMDD_HHMMSS in the library.
dates=$(strings -a "$dll" | grep -xE '[0-9]{8}_[0-9]{6}' | sort -u || true)
if [ -z "$dates" ] || [ "$(wc -l <<<"$dates")" != 1 ]; then
  echo "Expected one build date in $dll, found: ${dates:-none}"
  exit 1
fi
built=$(date -u -d "${dates:0:8} ${dates:9:2}:${dates:11:2}:${dates:13:2}" +%s)
core_time=$(stat -c %Y "$core")
dll_time=$(stat -c %Y "$dll")
# Whole seconds on both sides: one second of slack.
if [ "$built" -lt $((core_time - 1)) ]; then
  echo "Build date $dates predates the library's code ($(date -u -d @"$core_time" +%Y%m%d_%H%M%S))"
  exit 1
fi
if [ "$built" -gt $((dll_time + 1)) ]; then
  echo "Build date $dates is later than the library itself ($(date -u -d @"$dll_time" +%Y%m%d_%H%M%S))"
  exit 1
fi
echo "Build date $dates"
