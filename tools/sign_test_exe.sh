#!/usr/bin/env bash
# sign_test_exe.sh IN OUT COMMON_NAME WORKDIR
#
# Authenticode-signs IN into OUT (osslsigncode) with a self-made certificate (openssl) whose
# subject is "CN=COMMON_NAME". The key and certificate are made once per common name and
# kept in WORKDIR, so that every file signed in one WORKDIR under one name carries the same
# certificate; the caller owns WORKDIR and removes it.
set -euo pipefail

[ $# -eq 4 ] || { echo "usage: $0 IN OUT COMMON_NAME WORKDIR" >&2; exit 2; }
in=$1 out=$2 cn=$3 work=$4

certs="$work/cert-$(printf '%s' "$cn" | sha256sum | cut -c1-16)"
if [ ! -f "$certs/cert.pem" ]; then
  mkdir -p "$certs"
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$cn" \
    -keyout "$certs/key.pem" -out "$certs/cert.pem.tmp" 2>"$certs/openssl.log" ||
    { cat "$certs/openssl.log" >&2; exit 1; }
  mv "$certs/cert.pem.tmp" "$certs/cert.pem"
fi

osslsigncode sign -certs "$certs/cert.pem" -key "$certs/key.pem" -n "Tavro installer test" \
  -in "$in" -out "$out" >"$certs/osslsigncode.log" 2>&1 ||
  { cat "$certs/osslsigncode.log" >&2; exit 1; }
