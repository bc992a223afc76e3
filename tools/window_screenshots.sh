#!/usr/bin/env bash
# Takes a PNG screenshot of every page of the installer window, in English and German, at
# 96 and 144 DPI, under a private Xvfb (import -window root, ImageMagick), cropped to the
# window: <output>/<page>-<language>-<dpi>.png. Builds first when needed. Wine draws the
# window frames itself there (no window manager runs), with its own caption buttons.
# Usage: tools/window_screenshots.sh [OUTPUT_FOLDER] (default: docs/window)
# Environment: BUILD_DIR (default: build), PAGES, LANGUAGES, DPIS (space-separated subsets).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=${1:-$root/docs/window}
pages=${PAGES:-welcome options tos progress error uninstall uninstall-error}
languages=${LANGUAGES:-en-US de}
dpis=${DPIS:-96 144}

gallery=$build/bin/installer_window_gallery.exe
[ -f "$gallery" ] || BUILD_DIR=$build "$root/tools/build.sh" installer_window_gallery

# A prefix of its own: the screen resolution is a setting of the whole prefix.
export WINEPREFIX=$build/screenshot-wineprefix
. "$root/tools/wine_env.sh"
ensure_wine_prefix
# Wine draws the caption buttons with the Marlett font (package fonts-wine, which
# tools/deps.sh installs); without it they show "0 1 r". Debian's Wine 8 does not find the
# fonts of its data folder, but reads every font in the prefix's own Fonts folder.
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] || { echo "$marlett is missing: run tools/deps.sh (fonts-wine)" >&2; exit 1; }
cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
# Without a window manager Wine is to draw the frames itself, as the system would.
if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  wineserver -w
fi

work=$(mktemp -d)
xvfb=
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

display=:$((200 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
wineserver -p </dev/null >/dev/null 2>&1 || true
mkdir -p "$out"

ready=$work/ready
ready_windows=$(wine winepath -w "$ready" 2>/dev/null | tr -d '\r')

for dpi in $dpis; do
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  for language in $languages; do
    for page in $pages; do
      rm -f "$ready"
      # No install folder: the options page shows the default one, as a real run does.
      wine "$gallery" --page="$page" --language="$language" --ready="$ready_windows" \
        </dev/null >/dev/null 2>&1 &
      pid=$!
      for _ in $(seq 300); do [ -f "$ready" ] && break; sleep 0.1; done
      if [ ! -f "$ready" ]; then
        echo "no window for $page ($language, $dpi DPI)" >&2
        kill "$pid" 2>/dev/null || true
        exit 1
      fi
      sleep 0.5
      # The top-level window of the installer: its frame and client area.
      geometry=$(xwininfo -root -tree | awk '/"Tavro/ && / [0-9]+x[0-9]+\+/ {
        for (i = 1; i <= NF; ++i) if ($i ~ /^[0-9]+x[0-9]+\+[0-9]+\+[0-9]+$/) { print $i; exit } }')
      import -window root "$work/screen.png"
      shot=$out/$page-$language-$dpi.png
      # A palette of 64 colours keeps the files small and the text sharp.
      convert "$work/screen.png" -crop "${geometry%%+*}+${geometry#*+}" +repage -strip \
        -dither None -colors 64 -define png:exclude-chunks=date,time "$shot"
      echo "$shot ($geometry)"
      rm -f "$ready"
      wait "$pid" || true
    done
  done
done
