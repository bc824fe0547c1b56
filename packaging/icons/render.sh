#!/bin/sh
# Renders the icon's PNGs at the hicolor sizes from tolvane.svg (needs rsvg-convert, from
# Debian's librsvg2-bin). The PNGs are committed, so the build needs no renderer.
set -eu
cd "$(dirname "$0")"
for s in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$s" -h "$s" tolvane.svg -o "tolvane-$s.png"
done
