#!/usr/bin/env bash
# Renders the program's pictures from their SVG sources: the tool-bar icons (24 x 24), the
# application icon in the sizes a desktop asks for, the splash and about pictures, and the wait
# animation (an animated GIF of twelve frames). The results are committed beside their sources;
# run this after changing a source. Needs rsvg-convert (librsvg2-bin) and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"

# ImageMagick 7 calls itself magick; version 6 convert.
im=$(command -v magick || command -v convert-im6.q16 || command -v convert)

for svg in toolbar/*.svg; do
  rsvg-convert -w 24 -h 24 "$svg" -o "${svg%.svg}.png"
done

mkdir -p app
rsvg-convert -w 256 -h 256 norik.svg -o app/norik.png
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "icons/hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" norik.svg -o "icons/hicolor/${size}x${size}/apps/norik.png"
done

mkdir -p about
rsvg-convert splash/splash.svg -o splash/splash.png
rsvg-convert about.svg -o about/about.png

# The wait animation: twelve dots on a ring, one bright head running clockwise with a fading
# tail. Each frame is drawn whole on the dialog's grey, which then becomes the transparent
# colour, and is disposed to the background before the next, so the ring shows on any background.
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
matte='#efefef'
for k in $(seq 0 11); do
  {
    echo '<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">'
    awk -v k="$k" 'BEGIN {
      pi = atan2(0, -1)
      for (i = 0; i < 12; i++) {
        age = (k - i + 12) % 12
        opacity = 1 - age / 9; if (opacity < 0.18) opacity = 0.18
        radius = (age == 0) ? 4.4 : 3.6
        x = 24 + 17 * sin(i * pi / 6); y = 24 - 17 * cos(i * pi / 6)
        printf "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.1f\" fill=\"#2f6fbf\" fill-opacity=\"%.2f\"/>\n", x, y, radius, opacity
      }
    }'
    echo '</svg>'
  } > "$frames/frame$(printf %02d "$k").svg"
  rsvg-convert -b "$matte" "$frames/frame$(printf %02d "$k").svg" -o "$frames/frame$(printf %02d "$k").png"
done
mkdir -p wait
"$im" -delay 8 -dispose Background -loop 0 "$frames"/frame*.png -transparent "$matte" wait/wait.gif
