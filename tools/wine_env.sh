# Sourced by the tools: the environment every Wine process of this project runs in.
# Expects WINEPREFIX to be set by the caller.
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko prompts; and no menu builder, which Wine starts when a program saves a
# shortcut and which can outlive the program holding its output (a test's, which CTest then
# waits for without end).
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
export WINEARCH=win64

# ensure_wine_prefix: create the prefix once (wineboot, then report Windows 10); concurrent
# callers wait for the first one.
ensure_wine_prefix() {
  [ -f "$WINEPREFIX/.tavro-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 8
    if [ ! -f "$WINEPREFIX/.tavro-ready" ]; then
      echo "[wine] creating prefix $WINEPREFIX" >&2
      rm -rf "$WINEPREFIX"
      wine wineboot -i >/dev/null 2>&1
      wine winecfg -v win10 >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.tavro-ready"
    fi
  ) 8>"$WINEPREFIX.lock"
}

# start_wine_session: a persistent wineserver and the prefix's system processes, with their
# standard streams detached from the caller's.
start_wine_session() {
  wineserver -p </dev/null >/dev/null 2>&1 || true  # fails when one already runs
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

# copy_wine_prefix SRC DEST: a prefix of its own for a test run. Wine's own program files
# under drive_c/windows (about 650 MB) are shared with SRC as hard links: Wine only ever reads
# them. Every other file (the registry, settings, what tests leave behind) is a real copy, so
# that nothing written in one prefix shows in another.
copy_wine_prefix() {
  local src=$1 dest=$2 file
  if ! cp -al "$src" "$dest" 2>/dev/null; then
    # A file system without hard links: a full copy.
    rm -rf "$dest"
    cp -a "$src" "$dest"
    return
  fi
  while IFS= read -r -d '' file; do
    cp -p --remove-destination "$src/$file" "$dest/$file" || return
  done < <(cd "$src" && find . -type f ! \( -path './drive_c/windows/*' \
             -regex '.*\.\(dll\|exe\|nls\|sys\|drv\|ocx\|cpl\|acm\|tlb\|ax\|ds\)' \) -print0)
}

# prefix_installations PREFIX: prints the registry keys of PREFIX that an installation of the
# product leaves (its uninstall entry, the company's key with the last install folder), one
# a line; nothing for a prefix that never held one.
prefix_installations() {
  local reg
  for reg in "$1/system.reg" "$1/user.reg"; do
    [ -f "$reg" ] || continue
    awk '/^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key); next }
         key ~ /CurrentVersion\\\\Uninstall\\\\/ && /^"DisplayName"="Tavro / { print key }
         key ~ /^\[Software\\\\Tavro Software[\\\]]/ && !seen[key]++ { print key }' "$reg"
  done
}
