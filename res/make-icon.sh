#!/bin/sh
# Regenerates Kestrane.ico from the SVG drawings (Debian: librsvg2-bin, icoutils).
# The 16 px image has its own pixel-aligned drawing so that it stays sharp.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

render() { # size source
    if command -v rsvg-convert >/dev/null 2>&1; then
        rsvg-convert -w "$1" -h "$1" "$2" -o "$tmp/$1.png"
    else
        convert -background none "$2" -resize "$1x$1" "PNG32:$tmp/$1.png"
    fi
}

for size in 256 128 96 64 48 32 24; do
    render "$size" "$here/Kestrane.svg"
done
render 16 "$here/Kestrane-16.svg"

# Windows expects the 256 px image as PNG, the smaller ones as 32-bit bitmaps.
icotool -c -b 32 -r "$tmp/256.png" \
    "$tmp/128.png" "$tmp/96.png" "$tmp/64.png" "$tmp/48.png" \
    "$tmp/32.png" "$tmp/24.png" "$tmp/16.png" \
    -o "$here/Kestrane.ico"
