#!/usr/bin/env bash
# The installer's main job on the built-in example: builds everything (installing what the
# build needs first), starts a local autoupdate server that serves the example package,
# installs the browser silently from it, shows what the installation left (folders, the
# uninstall entry, the status file, the log's key lines, the statistics the server received),
# then uninstalls it silently and shows that it is gone. Everything runs under Wine in the
# build tree's own prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build

"$root/tools/build.sh"

export WINEPREFIX=$build/wineprefix
. "$root/tools/wine_env.sh"
ensure_wine_prefix

bin=$build/bin
example=$build/example
server_pid=
cleanup() {
  [ -z "$server_pid" ] || { touch "$example/stop"; wait "$server_pid" 2>/dev/null || true; }
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
start_wine_session

section() { printf '\n=== %s\n' "$*"; }
run() {
  printf '\n$ wine %s %s\n' "${1#"$build"/}" "${*:2}"
  set +e
  wine "$@"
  local status=$?
  set -e
  printf '\n(exit code %d)\n' "$status"
  return "$status"
}
win() { winepath -w "$1" 2>/dev/null; }

install_folder='C:\Tavro Example'
install_unix=$(winepath -u "$install_folder" 2>/dev/null)
temp=$(winepath -u 'C:\users\'"$(whoami)"'\Temp' 2>/dev/null)
version=$(wine "$bin/installer.exe" --version)

# A previous run that did not get to its end left its installation: remove it.
if [ -d "$install_unix" ]; then
  wine "$install_unix/$version/installer.exe" --uninstall --silent >/dev/null 2>&1 || true
  rm -rf "$install_unix"
fi
rm -rf "$example" "$temp/Tavro Installer"
mkdir -p "$example"
# The example's stand-in programs (browser, launcher, component) record their runs here.
export TAVRO_STUB_LOG_DIR
TAVRO_STUB_LOG_DIR=$(win "$example")

section "The installer's identity"
run "$bin/installer.exe" --version
run "$bin/installer.exe" --stream

section "A local autoupdate server with the example package"
# It writes its port, the statistics it receives and, as the installer to run, a copy of
# installer.exe whose product configuration names this server.
wine "$bin/autoupdate_server.exe" \
  --package="$(win "$bin/example_package/current/package_installer.exe")" \
  --welcome-url=https://www.tavro.example/welcome/example \
  --port-file="$(win "$example/port")" --stats-file="$(win "$example/stats.json")" \
  --stop-file="$(win "$example/stop")" --host-copy="$(win "$example/installer.exe")" \
  >"$example/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 300); do [ -s "$example/port" ] && break; sleep 0.1; done
[ -s "$example/port" ] || { echo "the autoupdate server did not start" >&2; cat "$example/server.log" >&2; exit 1; }
echo "Serving http://127.0.0.1:$(tr -d '\r\n' <"$example/port")/ (package: example_package/current/package_installer.exe)"

section "A silent installation from the server"
run "$example/installer.exe" --silent "--installfolder=$install_folder"

section "What was installed: $install_folder"
(cd "$install_unix" && find . -mindepth 1 | sort | sed 's|^\./|  |')
section "The uninstall entry"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 2>/dev/null |
  tr -d '\r' | grep -v '^$' || true
section "The installation status file"
tr -d '\r' <"$install_unix/installation_status.xml"
printf '\n'
section "The installer's log, key lines"
for log in "$temp/Tavro Installer/"tavro_installer_*.log; do
  printf -- '--- %s\n' "${log#"$WINEPREFIX"/}"
  grep -E 'installer starting|Command line:|package fetcher|download URL|Preparing to fetch the installer|Unpacking|Package ready|prefs overrides|launching installer backend|Installation|installation|Sending stats|Stats sent|Controller exiting' \
    "$log" | cut -c1-200 || true
done
section "The statistics the server received"
for _ in $(seq 50); do [ -s "$example/stats.json" ] && break; sleep 0.1; done
python3 -m json.tool <"$example/stats.json" 2>/dev/null || cat "$example/stats.json"

section "A silent uninstallation"
run "$install_unix/$version/installer.exe" --uninstall --silent || true
# The uninstallation's clean-up batch removes the rest once the uninstaller has ended.
for _ in $(seq 100); do [ -e "$install_unix" ] || break; sleep 0.1; done
section "What is left"
if [ -e "$install_unix" ]; then
  (cd "$install_unix" && find . -mindepth 1 | sort | sed 's|^\./|  |')
else
  echo "$install_folder is gone"
fi
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 2>/dev/null |
  tr -d '\r' | grep -i -A3 tavro || echo "No uninstall entry of Tavro is left"
