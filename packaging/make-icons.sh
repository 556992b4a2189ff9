#!/usr/bin/env bash
# Renders the hand-drawn application icon (icons/korvani.svg) to the PNG sizes the
# package installs (icons/korvani-<size>.png). Run after changing the drawing and commit
# the PNG files: a build needs no renderer. Needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/icons"
for size in 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --format png --output "korvani-$size.png" korvani.svg
done
