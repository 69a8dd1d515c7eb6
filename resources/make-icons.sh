#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Regenerates the bitmaps of icon group "AAA" (icons/) and AAA.ico, which
# holds all eight, from AAA.svg. The results are committed so that a build
# never needs these tools; run this after editing the SVG and commit what it
# writes.
#
# Needs the Debian packages librsvg2-bin (rsvg-convert), imagemagick
# (convert) and icoutils (icotool).
set -euo pipefail
cd "$(dirname "$0")"

sizes=(16 24 32 48)

for tool in rsvg-convert convert icotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "make-icons.sh: $tool is missing" >&2
        exit 1
    fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

mkdir -p icons
for size in "${sizes[@]}"; do
    rsvg-convert --width "$size" --height "$size" AAA.svg --output "$scratch/$size.png"
    # 32 bits: the renderer's RGBA output as it is, with anti-aliased alpha.
    cp "$scratch/$size.png" "icons/AAA-$size-32bit.png"
    # 8 bits: a palette whose one transparent entry acts as the 1-bit mask.
    # A pixel at least half covered becomes opaque; rsvg writes straight
    # (not premultiplied) colour, so edge pixels keep their full blue.
    # -strip and the excluded chunks keep dates out, so that a rerun on an
    # unchanged SVG leaves the committed files byte for byte the same.
    convert "$scratch/$size.png" -strip -channel A -threshold 50% +channel \
        -define png:bit-depth=8 -define png:exclude-chunks=date,time \
        "PNG8:icons/AAA-$size-8bit.png"
done

# icotool would store a palette this small at 4 bits per pixel; --bit-depth
# applies to the files after it and pins each half of the group.
palette_images=() alpha_images=()
for size in "${sizes[@]}"; do
    palette_images+=("icons/AAA-$size-8bit.png")
    alpha_images+=("icons/AAA-$size-32bit.png")
done
icotool --create --output=AAA.ico \
    --bit-depth=8 "${palette_images[@]}" --bit-depth=32 "${alpha_images[@]}"

# Refuse to leave a group behind that lacks an image or a depth.
expected=""
for depth in 8 32; do
    for size in "${sizes[@]}"; do
        palette=0
        [[ $depth == 8 ]] && palette=256
        expected+="--width=$size --height=$size --bit-depth=$depth --palette-size=$palette"$'\n'
    done
done
actual=$(icotool --list AAA.ico | sed 's/^--icon --index=[0-9]* //')
if [[ "$actual"$'\n' != "$expected" ]]; then
    printf 'make-icons.sh: AAA.ico does not hold the expected images:\n%s\n' "$actual" >&2
    exit 1
fi
