# Sourced by the scripts that run the installer against the local autoupdate server
# (build/bin/autoupdate_server.exe, see desktop/windows/installer/test/). Expects WINEPREFIX
# and a running Wine session.

autoupdate_server_pid=
autoupdate_server_folder=

# start_autoupdate_server BIN FOLDER PACKAGE [more switches of the server]: serves the package
# installer PACKAGE on 127.0.0.1 until stop_autoupdate_server. FOLDER (made afresh) receives
# "port", "stats.json" (the statistics reports received, one JSON object a line),
# "server.log", and "installer.exe": a copy of the build's installer whose product
# configuration names this server.
start_autoupdate_server() {
  local bin=$1 folder=$2 package=$3
  shift 3
  rm -rf "$folder" && mkdir -p "$folder"
  autoupdate_server_folder=$folder
  wine "$bin/autoupdate_server.exe" --package="$(winepath -w "$package")" \
    --port-file="$(winepath -w "$folder/port")" --stop-file="$(winepath -w "$folder/stop")" \
    --stats-file="$(winepath -w "$folder/stats.json")" \
    --host-copy="$(winepath -w "$folder/installer.exe")" "$@" >"$folder/server.log" 2>&1 &
  autoupdate_server_pid=$!
  for _ in $(seq 300); do [ -s "$folder/port" ] && return 0; sleep 0.1; done
  echo "the autoupdate server did not start:" >&2
  cat "$folder/server.log" >&2
  return 1
}

stop_autoupdate_server() {
  [ -n "$autoupdate_server_pid" ] || return 0
  touch "$autoupdate_server_folder/stop"
  wait "$autoupdate_server_pid" 2>/dev/null || true
  autoupdate_server_pid=
}
