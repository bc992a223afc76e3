#!/usr/bin/env bash
# The installer's main job on the built-in example: builds everything (installing what the
# build needs first), starts a local autoupdate server that serves the example package,
# installs the browser silently from it, shows what the installation left (folders, the
# uninstall entry, the status file, the log's key lines, the statistics the server received),
# then uninstalls it silently and shows that it is gone. Everything runs under Wine, in a
# prefix of its own (build/example_wineprefix) so that the tests' prefix stays as they left it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build

# The build's own output (compiler lines, dependency set-up) goes to a log of its own, so
# that what follows is the example itself.
mkdir -p "$build"
printf '%s\n%s\n' 'Building the installer, its tests and the example package (a first run also installs' \
  "what the build needs, which takes several minutes; output: ${build#"$root"/}/build.log) ..."
if ! "$root/tools/build.sh" >"$build/build.log" 2>&1; then
  tail -n 40 "$build/build.log"
  printf '\nThe build failed; the whole output is in %s\n' "$build/build.log" >&2
  exit 1
fi

export WINEPREFIX=$build/example_wineprefix
. "$root/tools/wine_env.sh"
. "$root/tools/autoupdate_server.sh"
ensure_wine_prefix

bin=$build/bin
example=$build/example
trap 'stop_autoupdate_server; wineserver -k 2>/dev/null || true' EXIT
start_wine_session

section() { printf '\n=== %s\n' "$*"; }
# $1 as a shell word: quoted when the shell would split or expand it.
quote() {
  if [[ $1 =~ ^[A-Za-z0-9_./:=,+-]+$ ]]; then
    printf '%s' "$1"
  else
    printf "'%s'" "${1//\'/\'\\\'\'}"
  fi
}
# Runs wine with the arguments after printing the command in a form that can be copied and
# run again from the checkout's folder (see the note printed first).
run() {
  local shown='$ wine' argument
  for argument in "${1#"$root"/}" "${@:2}"; do shown+=" $(quote "$argument")"; done
  printf '\n%s\n' "$shown"
  set +e
  wine "$@"
  local status=$?
  set -e
  printf '\n(exit code %d)\n' "$status"
  return "$status"
}
win() { winepath -w "$1" 2>/dev/null; }
# Lines of at most 110 characters, broken at spaces; the rest of a line goes on indented.
wrap() {
  awk -v width=110 '{
    line = $0; indent = ""
    while (length(indent line) > width) {
      room = width - length(indent); cut = room + 1
      while (cut > 1 && substr(line, cut, 1) != " ") cut--
      if (cut == 1) {  # one word longer than the line: break after it
        cut = index(substr(line, room + 1), " ")
        if (cut == 0) break
        cut += room
      }
      print indent substr(line, 1, cut - 1)
      line = substr(line, cut + 1); indent = "    "
    }
    print indent line
  }'
}

install_folder='C:\Tavro Example'
install_unix=$(winepath -u "$install_folder" 2>/dev/null)
temp=$(winepath -u 'C:\users\'"$(whoami)"'\Temp' 2>/dev/null)
version=$(wine "$bin/installer.exe" --version)

# A previous run that did not get to its end left its installation: remove it.
if [ -d "$install_unix" ]; then
  wine "$install_unix/$version/installer.exe" --uninstall --silent --enable-installer-stats=0 >/dev/null 2>&1 || true
  rm -rf "$install_unix"
fi
rm -rf "$example" "$temp/Tavro Installer"
mkdir -p "$example"
# The example's stand-in programs (browser, launcher, component) record their runs here.
export TAVRO_STUB_LOG_DIR
TAVRO_STUB_LOG_DIR=$(win "$example")

printf '\nEach command below runs again from the checkout'"'"'s folder (the local server only while this\n'
printf 'script runs) after:\n  export WINEPREFIX="$PWD/%s" WINEDEBUG=-all\n' "${WINEPREFIX#"$root"/}"

section "The installer's identity"
run "$bin/installer.exe" --version
run "$bin/installer.exe" --stream

section "A local autoupdate server with the example package"
# Besides the package it writes the installer to run: a copy that knows this server.
package=example_package/current/package_installer.exe
start_autoupdate_server "$bin" "$example/server" "$bin/$package" \
  --welcome-url=https://www.tavro.example/welcome/example
echo "Serving http://127.0.0.1:$(tr -d '\r\n' <"$example/server/port")/ (package: $package)"

logs() { ls "$temp/Tavro Installer/"tavro_installer_*.log 2>/dev/null || true; }

section "A silent installation from the server"
if ! run "$example/server/installer.exe" --silent "--installfolder=$install_folder"; then
  section "The installation failed; the installer's logs"
  logs | while read -r log; do printf -- '--- %s\n' "$log"; cat "$log"; done
  exit 1
fi

section "What was installed: $install_folder"
(cd "$install_unix" && find . -mindepth 1 | sort | sed 's|^\./|  |')
uninstall_key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavro $version"
section "The uninstall entry"
wine reg query "$uninstall_key" /reg:32 2>/dev/null | tr -d '\r' | grep -v '^$' || true
section "The installation status file, its head"
status_file="$install_unix/installation_status.xml"
# sed, not head: it reads to the end, so tr never writes into a closed pipe (pipefail).
tr -d '\r' <"$status_file" | sed -n '1,24p'
echo "  ... ($(wc -l <"$status_file") lines in all: the registry keys and values it wrote)"
section "The installer's logs, key lines"
key_lines='installer starting|Command line:|package fetcher|download URL|fetch the installer'
key_lines+='|Unpacking|Package ready|prefs overrides|launching installer backend|Package is ready'
key_lines+='|Running installer from the package|Beginning installation|Installation subfolder|Finalizing successful installation'
key_lines+='|Installation succeeded|Sending stats|Stats sent|Controller exiting'
key_lines+='|completion port failed|Cannot list the scheduled tasks'
echo "(One log per process: the front end, the backend it started, and the package's own installer"
echo " that the backend handed the installation to. The WARNING lines shown are Wine's gaps, where"
echo " the installer goes on another way: the front end reads the backend's reports on a thread of"
echo " its own, and the older Task Scheduler interface lists the tasks.)"
logs | while read -r log; do
  printf -- '--- %s\n' "$(win "$log")"
  grep -E "$key_lines" "$log" | wrap || true
done
section "The statistics the server received"
for _ in $(seq 50); do [ -s "$example/server/stats.json" ] && break; sleep 0.1; done
# Two levels unfolded (the report, each fetch); what lies deeper stays on one line.
python3 -c 'import json, sys
def show(value, depth, pad):
    if depth >= 3 or not isinstance(value, (dict, list)) or not value:
        return json.dumps(value, sort_keys=True)
    inner = pad + "  "
    if isinstance(value, dict):
        items = [inner + json.dumps(k) + ": " + show(value[k], depth + 1, inner) for k in sorted(value)]
        return "{\n" + ",\n".join(items) + "\n" + pad + "}"
    items = [inner + show(item, depth + 1, inner) for item in value]
    return "[\n" + ",\n".join(items) + "\n" + pad + "]"
for line in sys.stdin:
    print(show(json.loads(line), 0, ""))' <"$example/server/stats.json"

section "A silent uninstallation"
# The installed installer.exe is the package's own: its statistics would go to the real
# autoupdate server, so they are turned off here.
run "$install_folder\\$version\\installer.exe" --uninstall --silent --enable-installer-stats=0 || true
echo "(The uninstaller cannot delete the installer.exe and tavro_installer.dll it runs from: the"
echo " clean-up batch k.bat removes them once it has ended.)"
# The uninstallation's clean-up batch removes the rest once the uninstaller has ended; the
# installer's preferences stay.
for _ in $(seq 100); do
  [ -e "$install_unix" ] && [ "$(ls -A "$install_unix")" != installer_prefs.json ] || break
  sleep 0.1
done
section "What is left"
if [ -e "$install_unix" ]; then
  (cd "$install_unix" && find . -mindepth 1 | sort | sed 's|^\./|  |')
  if [ "$(ls -A "$install_unix")" = installer_prefs.json ]; then
    echo "(installer_prefs.json stays by design: a later installation into $install_folder"
    echo " takes up the choices it holds.)"
  fi
else
  echo "$install_folder is gone"
fi
if wine reg query "$uninstall_key" /reg:32 >/dev/null 2>&1; then
  echo "The uninstall entry is still there"
else
  echo "The uninstall entry is gone"
fi
