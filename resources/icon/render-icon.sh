#!/usr/bin/env bash
# Renders launcher.svg into launcher.ico (next to this script).
#
# The .ico holds 16, 32, 48, 64 and 128 px images as 32-bit BMP entries and
# the 256 px image as an embedded PNG. The resulting launcher.ico is kept in
# the repository, so the regular build does not need these tools; run this
# script again only after changing the artwork.
#
# Needs: rsvg-convert (librsvg2-bin), icotool (icoutils).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
svg="$here/launcher.svg"
ico="$here/launcher.ico"

for tool in rsvg-convert icotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "render-icon.sh: '$tool' not found (install librsvg2-bin and icoutils)" >&2
        exit 1
    fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

bmp_args=()
for size in 16 32 48 64 128; do
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "$work/$size.png" "$svg"
    bmp_args+=("$work/$size.png")
done
rsvg-convert --width 256 --height 256 --format png \
    --output "$work/256.png" "$svg"

# --bit-depth 32 keeps the alpha channel in the BMP entries; --raw stores the
# 256 px image as PNG, which is how large icon images are normally stored.
icotool --create --bit-depth 32 --output "$work/launcher.ico" \
    "${bmp_args[@]}" --raw "$work/256.png"

mv "$work/launcher.ico" "$ico"
icotool --list "$ico"
