#!/usr/bin/env bash
# Fails when the build date inside the installer library is older than any input of the
# library (its objects, .def file and the static libraries it links, listed one per line in
# INPUTS), i.e. when it was not taken at the build that made the library; or later than the
# library itself.
# Usage: check_build_date.sh <dll> <inputs list> [fixed date]
set -euo pipefail
dll=$1
inputs=$2
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

newest_time=0
newest=
count=0
while IFS= read -r input; do
  [ -n "$input" ] || continue
  time=$(stat -c %Y "$input") || { echo "Missing input of the library: $input"; exit 1; }
  count=$((count + 1))
  if [ "$time" -gt "$newest_time" ]; then
    newest_time=$time
    newest=$input
  fi
done <"$inputs"
if [ "$count" -lt 2 ]; then
  echo "The input list $inputs names $count file(s): expected the library's objects and libraries"
  exit 1
fi

# Whole seconds on both sides: one second of slack.
if [ "$built" -lt $((newest_time - 1)) ]; then
  echo "Build date $dates predates $newest ($(date -u -d @"$newest_time" +%Y%m%d_%H%M%S))"
  exit 1
fi
dll_time=$(stat -c %Y "$dll")
if [ "$built" -gt $((dll_time + 1)) ]; then
  echo "Build date $dates is later than the library itself ($(date -u -d @"$dll_time" +%Y%m%d_%H%M%S))"
  exit 1
fi
echo "Build date $dates, not older than any of $count inputs (newest: $newest)"
