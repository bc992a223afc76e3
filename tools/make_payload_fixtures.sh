#!/usr/bin/env bash
# make_payload_fixtures.sh INSTALLER_EXE OUT_DIR EXPECTED_SIGNER
#
# Builds the signed installers that the payload reader's tests classify. A payload trailer is
# "QVZ", the payload bytes and their length as a little-endian 32-bit number; it sits at the
# end of the file or right before the Authenticode certificate table.
#
# OUT_DIR receives:
#   package.7z                  a small real 7z archive (the full-package payload)
#   tracking.txt                a tracking-data payload (Base64 of a JSON object)
#   signed.exe                  the installer, signed, no payload
#   signed_full_appended.exe    signed, then the package trailer appended after the table
#   signed_full_covered.exe     package trailer appended, then signed (covered by the signature)
#   signed_tracking_covered.exe tracking trailer appended, then signed
#   signed_tracking_appended.exe signed, then the tracking trailer appended
#   expected_full_covered.exe   package trailer appended, then signed by EXPECTED_SIGNER (the
#                               shape of a published package installer)
#   stamp                       written last
# Needs 7zz, and openssl and osslsigncode for sign_test_exe.sh.
set -euo pipefail

[ $# -eq 3 ] || { echo "usage: $0 INSTALLER_EXE OUT_DIR EXPECTED_SIGNER" >&2; exit 2; }
exe=$1
out=$2
expected_signer=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

append_trailer() {
  bash "$(dirname "$0")/append_payload.sh" "$@"
}

# sign IN OUT [COMMON_NAME]: every fixture but the expected signer's carries the same
# certificate.
sign() {
  bash "$(dirname "$0")/sign_test_exe.sh" "$1" "$2" "${3:-Payload Test}" "$work"
}

mkdir -p "$work/content"
printf 'browser files\n' >"$work/content/files_list"
(cd "$work/content" && 7zz a -bd -bso0 -bsp0 "$work/package.7z" files_list)

printf '%s' '{"utm":{"defbr":"true","fsce":"false"}}' | base64 -w0 >"$work/tracking.txt"

sign "$exe" "$work/signed.exe"

cp "$work/signed.exe" "$work/signed_full_appended.exe"
append_trailer "$work/signed_full_appended.exe" "$work/package.7z"

cp "$work/signed.exe" "$work/signed_tracking_appended.exe"
append_trailer "$work/signed_tracking_appended.exe" "$work/tracking.txt"

cp "$exe" "$work/full.exe"
append_trailer "$work/full.exe" "$work/package.7z" align
sign "$work/full.exe" "$work/signed_full_covered.exe"
sign "$work/full.exe" "$work/expected_full_covered.exe" "$expected_signer"

cp "$exe" "$work/tracking.exe"
append_trailer "$work/tracking.exe" "$work/tracking.txt" align
sign "$work/tracking.exe" "$work/signed_tracking_covered.exe"

mkdir -p "$out"
for f in package.7z tracking.txt signed.exe signed_full_appended.exe signed_full_covered.exe \
         signed_tracking_covered.exe signed_tracking_appended.exe expected_full_covered.exe; do
  cp "$work/$f" "$out/$f"
done
date -u +%FT%TZ >"$out/stamp"
