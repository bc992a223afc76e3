#!/usr/bin/env bash
# append_payload.sh FILE PAYLOAD [align]
#
# Appends a payload trailer to FILE: "QVZ", the payload bytes and their length as a
# little-endian 32-bit number. With "align", zero bytes go before the magic so that the
# trailer ends on an 8-byte boundary: the signing tool pads the file to 8 bytes before the
# certificate table, and padding after the trailer would hide it from a reader that looks
# right before the table. Align when the file is signed afterwards.
set -euo pipefail

[ $# -ge 2 ] && [ $# -le 3 ] || { echo "usage: $0 FILE PAYLOAD [align]" >&2; exit 2; }
file=$1 payload=$2 align=${3:-}

n=$(stat -c %s "$payload")
if [ "$align" = align ]; then
  pad=$(( (8 - ($(stat -c %s "$file") + 7 + n) % 8) % 8 ))
  head -c "$pad" /dev/zero >>"$file"
elif [ -n "$align" ]; then
  echo "$0: the third argument can only be \"align\"" >&2; exit 2
fi
printf 'QVZ' >>"$file"
cat "$payload" >>"$file"
printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $((n & 255)) $((n >> 8 & 255)) \
         $((n >> 16 & 255)) $((n >> 24 & 255)))" >>"$file"
