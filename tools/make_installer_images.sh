#!/usr/bin/env bash
# Draws the installer window's images and the host's icon with ImageMagick:
#   logo.png         the product mark (a red rounded square with a white "T."), 72x72
#   error_badge.png  the badge drawn over the logo on the error page, 28x28
#   background.jpg   the window's background, stretched over the client area
#   installer.ico    the product mark at 16, 24, 32, 48 and 256 pixels
# Shapes are drawn four times larger and scaled down, for smooth edges. The outputs carry no
# time stamps, so a second run writes the same bytes.
# Usage: tools/make_installer_images.sh OUTPUT_FOLDER (the committed copies live in
# desktop/windows/installer/host/).
set -euo pipefail
out=${1:?output folder}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

red='#FF1B2C'
dark_red='#D4101F'
png_options=(-depth 8 -strip -define png:exclude-chunks=date,time)

# The mark at 288x288 (four times 72): the square, the bar and stem of the "T", its dot.
convert -size 288x288 xc:none \
  \( -size 288x288 gradient:"$red"-"$dark_red" \) \
  \( -size 288x288 xc:none -fill white -draw "roundrectangle 12,12 275,275 64,64" \) \
  -compose over -delete 0 -alpha off -compose copy_opacity -composite \
  -fill white \
  -draw "polygon 72,80 216,80 216,118 162,118 162,216 124,216 124,118 72,118" \
  -draw "circle 198,198 198,216" \
  "$work/mark.png"

convert "$work/mark.png" -filter Lanczos -resize 72x72 "${png_options[@]}" "$out/logo.png"

# The badge: a white ring around a dark red disc with a white "!".
convert -size 112x112 xc:none \
  -fill white -draw "circle 56,56 56,2" \
  -fill '#B00E1B' -draw "circle 56,56 56,10" \
  -fill white -draw "roundrectangle 49,26 63,68 6,6" \
  -draw "circle 56,84 56,92" \
  -filter Lanczos -resize 28x28 "${png_options[@]}" "$out/error_badge.png"

# The background: white, a thin red line along the top, a light footer behind the buttons
# (from 5/6 of the height down, where the button row starts).
convert -size 660x480 xc:white \
  -fill "$red" -draw "rectangle 0,0 659,2" \
  -fill '#F3F4F6' -draw "rectangle 0,400 659,479" \
  -fill '#E2E4E8' -draw "rectangle 0,400 659,400" \
  -strip -quality 92 -sampling-factor 4:4:4 "$out/background.jpg"

for size in 16 24 32 48 256; do
  convert "$work/mark.png" -filter Lanczos -resize ${size}x${size} "${png_options[@]}" \
    "$work/icon_$size.png"
done
convert "$work"/icon_16.png "$work"/icon_24.png "$work"/icon_32.png "$work"/icon_48.png \
  "$work"/icon_256.png "$out/installer.ico"
