#!/usr/bin/env bash
# Rasterises every SVG next to this script into <skin folder>/Image at the
# toolkit's five scales: x.png (100 %), x@125.png ... x@200.png. An SVG's
# width and height are its size at 96 DPI.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <skin folder>" >&2
  exit 2
fi
ART="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
OUT="$1/Image"
if ! command -v rsvg-convert >/dev/null 2>&1; then
  echo "render.sh: rsvg-convert not found (Debian package librsvg2-bin; scripts/bootstrap.sh installs it)" >&2
  exit 1
fi
[ -d "$1" ] || { echo "render.sh: $1: no such skin folder" >&2; exit 1; }
mkdir -p "$OUT"

shopt -s nullglob
sources=("$ART"/*.svg)
if [ ${#sources[@]} -eq 0 ]; then
  echo "render.sh: no SVG sources in $ART" >&2
  exit 1
fi

# The root element's width or height attribute, which must be a whole
# number of pixels so every scale has one exact size.
root_size() {
  local svg=$1 attr=$2 tag value
  tag=$(tr '\n\r\t' '   ' < "$svg" | grep -o '<svg[^>]*>' | head -n 1 || true)
  value=$(printf '%s' "$tag" | grep -oE "[[:space:]]$attr=\"[^\"]*\"" | head -n 1 | sed -E 's/.*="([^"]*)"/\1/; s/px$//' || true)
  if ! [[ "$value" =~ ^[0-9]+$ ]] || [ "$value" -eq 0 ]; then
    echo "render.sh: $svg: the <svg> element needs a whole-pixel $attr (found \"$value\")" >&2
    return 1
  fi
  echo "$value"
}

for svg in "${sources[@]}"; do
  name=$(basename "$svg" .svg)
  w=$(root_size "$svg" width)
  h=$(root_size "$svg" height)
  for scale in 100 125 150 175 200; do
    suffix=""
    [ "$scale" = 100 ] || suffix="@$scale"
    # Rounded half up, as the toolkit rounds its scaled sizes.
    sw=$(( (w * scale + 50) / 100 ))
    sh=$(( (h * scale + 50) / 100 ))
    rsvg-convert --width "$sw" --height "$sh" --format png --output "$OUT/$name$suffix.png" "$svg"
  done
done
echo "render.sh: ${#sources[@]} images at 5 scales into $OUT"
