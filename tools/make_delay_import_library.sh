#!/usr/bin/env bash
# Makes the delay-load import library of a system DLL from the toolchain's import library:
# a program linked with it loads the DLL when it first calls one of its functions, through
# the helper __delayLoadHelper2 and the program's notification hook.
#
# The toolchain's delay-load stub (the "tail merge" every function's first call goes through)
# keeps the integer argument registers across the helper but not xmm0-xmm3, so a function
# whose first call passes a floating-point argument would get whatever the helper left
# there. The stub is replaced by our own (delay_load_tail_merge.S), which keeps both and
# describes its frame for unwinding.
#
# Usage: make_delay_import_library.sh SYSTEM_IMPORT_LIBRARY OUTPUT TAIL_MERGE_SOURCE
set -euo pipefail
[ $# = 3 ] || { echo "usage: $0 SYSTEM_IMPORT_LIBRARY OUTPUT TAIL_MERGE_SOURCE" >&2; exit 2; }
import_library=$1 output=$2 tail_merge_source=$3
tool=x86_64-w64-mingw32

work=$(mktemp -d "${output}.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The DLL's exported functions: every name that has a callable stub in the import library
# (data exports have none and cannot be delay-loaded).
dll=$("$tool-dlltool" --identify "$import_library")
{
  echo "LIBRARY $dll"
  echo "EXPORTS"
  "$tool-nm" "$import_library" | sed -n 's/^[0-9a-f]* T \([A-Za-z_][A-Za-z0-9_@?$]*\)$/\1/p' |
    sort -u
} >"$work/exports.def"
# Made inside the work folder: dlltool names its symbols after the path it is given.
name=$(basename "$output")
(cd "$work" && "$tool-dlltool" --input-def exports.def --output-delaylib "$name")
library=$work/$name

# The stub is defined in the library's head member, beside the DLL's descriptor: it is
# renamed there and ours takes its name.
head=$("$tool-ar" t "$library" | grep '_h\.o$')
(cd "$work" && "$tool-ar" x "$library" "$head")
tail_merge=$("$tool-nm" "$work/$head" | sed -n 's/^[0-9a-f]* T __tailMerge_//p')
[ -n "$tail_merge" ] || { echo "$0: no delay-load stub in $library" >&2; exit 1; }
"$tool-objcopy" --redefine-sym "__tailMerge_$tail_merge=__tailMerge_${tail_merge}_replaced" \
  "$work/$head"
"$tool-gcc" -c -x assembler-with-cpp "-DIMPORT_NAME=$tail_merge" "$tail_merge_source" \
  -o "$work/tail_merge.o"
(cd "$work" && "$tool-ar" r "$library" "$head" tail_merge.o && "$tool-ranlib" "$library")
mv "$library" "$output"
