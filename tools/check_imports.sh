#!/usr/bin/env bash
# Fails when a Windows binary imports a DLL that is not part of the system.
# With --eager-only LIST (DLL base names separated by spaces or ';'), also fails when a
# binary imports at load time any DLL outside LIST: the others must be delay-loaded.
# Usage: check_imports.sh [--eager-only LIST] BINARY...
set -euo pipefail
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|uxtheme|msimg32|gdiplus|wininet|winhttp|crypt32|wintrust|userenv|secur32|psapi|winmm|version|ws2_32|rpcrt4|bcrypt|dbghelp|msvcrt|ntdll|taskschd|iphlpapi|msftedit|api-ms-win-[a-z0-9-]+)\.dll$'
eager=
if [ "${1:-}" = --eager-only ]; then
  eager="^($(tr ' ;' '||' <<<"$2"))\.dll$"
  shift 2
fi
status=0
for binary in "$@"; do
  while read -r dll; do
    if ! grep -qiE "$system_dlls" <<<"$dll"; then
      echo "$(basename "$binary") imports a non-system DLL: $dll"
      status=1
    elif [ -n "$eager" ] && ! grep -qiE "$eager" <<<"$dll"; then
      echo "$(basename "$binary") loads $dll at start: not every process needs it; link it" \
           "through tavro_link_system_libraries (cmake/delay_load.cmake) to load it on first use"
      status=1
    fi
  done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p')
done
exit $status
