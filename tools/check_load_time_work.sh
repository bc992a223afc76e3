#!/usr/bin/env bash
# Fails when code of the installer library runs at load time: a static constructor, or a
# destructor registered at load to run at unload, shows as a .ctors section of an object.
# The entry (installer_main) alone has load-time initialisers: the processor check and the
# switch help hints. Destructors run at unload while other threads may still use what they
# destroy, so process-wide objects are constant or left to the end of the process.
# Usage: check_load_time_work.sh <list of the library's own objects and static libraries>
set -euo pipefail
allowed='^installer_main\.cc\.obj$'
status=0
count=0
while IFS= read -r input; do
  [ -n "$input" ] || continue
  [ -f "$input" ] || { echo "Missing input of the library: $input"; exit 1; }
  count=$((count + 1))
  while read -r object; do
    if ! grep -qE "$allowed" <<<"$object"; then
      echo "$(basename "$input"): $object runs code at load time"
      status=1
    fi
  done < <(x86_64-w64-mingw32-objdump -h "$input" |
             awk '/file format/ { object = $1; sub(/:$/, "", object); sub(/.*\//, "", object) }
                  $2 ~ /^\.(ctors|CRT\$XC)/ && $3 != "00000000" { print object }' | sort -u)
done <"$1"
if [ "$count" = 0 ]; then
  echo "No objects listed in $1"
  exit 1
fi
exit $status
