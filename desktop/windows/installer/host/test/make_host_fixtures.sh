#!/usr/bin/env bash
# make_host_fixtures.sh HOST_EXE MARKER_DLL SIGN_SCRIPT OUT_DIR
#
# The signed files of the host's tests, each signed by SIGN_SCRIPT (tools/sign_test_exe.sh)
# with a self-made certificate. OUT_DIR receives:
#   installer.exe          HOST_EXE, signed with certificate A ("Tavro Host Test")
#   signed_same.dll        MARKER_DLL, signed with certificate A
#   signed_same_name.dll   MARKER_DLL, signed with certificate B: another certificate of the
#                          same name
#   signed_other.dll       MARKER_DLL, signed with certificate C ("Someone Else")
#   stamp                  written last
set -euo pipefail

[ $# -eq 4 ] || { echo "usage: $0 HOST_EXE MARKER_DLL SIGN_SCRIPT OUT_DIR" >&2; exit 2; }
host=$1 marker=$2 sign=$3 out=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/a" "$work/b" "$work/out"
bash "$sign" "$host" "$work/out/installer.exe" "Tavro Host Test" "$work/a"
bash "$sign" "$marker" "$work/out/signed_same.dll" "Tavro Host Test" "$work/a"
bash "$sign" "$marker" "$work/out/signed_same_name.dll" "Tavro Host Test" "$work/b"
bash "$sign" "$marker" "$work/out/signed_other.dll" "Someone Else" "$work/a"
date -u +%FT%TZ >"$work/out/stamp"

rm -rf "$out"
mkdir -p "$(dirname "$out")"
mv "$work/out" "$out"
