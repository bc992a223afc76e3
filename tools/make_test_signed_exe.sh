#!/usr/bin/env bash
# Makes the Authenticode test files of installer_unittests from an unsigned executable,
# each signed with a self-made certificate (sign_test_exe.sh):
#   signed_by_expected.exe  common name = "expected_signer" of the product configuration
#   signed_by_other.exe     common name = another name
#   tampered.exe            signed_by_expected.exe with one byte of its code changed
# Usage: make_test_signed_exe.sh UNSIGNED_EXE OUTPUT_DIR PRODUCT_CONFIG_JSON
set -euo pipefail
in=$1 out=$2 config=$3

signer=$(sed -n 's/^[[:space:]]*"expected_signer"[[:space:]]*:[[:space:]]*"\([^"]*\)".*/\1/p' "$config")
[ -n "$signer" ] || { echo "no \"expected_signer\" in $config" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sign="$(dirname "$0")/sign_test_exe.sh"
bash "$sign" "$in" "$work/signed_by_expected.exe" "$signer" "$work"
bash "$sign" "$in" "$work/signed_by_other.exe" "Not The Expected Signer" "$work"

# Flip every bit of a byte in the middle of the unsigned image: inside the signed content.
cp "$work/signed_by_expected.exe" "$work/tampered.exe"
offset=$(( $(stat -c %s "$in") / 2 ))
byte=$(od -An -tu1 -j "$offset" -N1 "$work/tampered.exe" | tr -d ' ')
printf "\\$(printf '%03o' $(( byte ^ 255 )))" |
  dd of="$work/tampered.exe" bs=1 seek="$offset" conv=notrunc status=none

mkdir -p "$out"
mv "$work/signed_by_expected.exe" "$work/signed_by_other.exe" "$work/tampered.exe" "$out/"
