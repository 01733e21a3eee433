#!/bin/sh
# Renders corvel.svg to the PNG sizes the desktop installs. Run by hand after editing the SVG and
# keep the PNGs in the repository: the build never renders.
set -eu
cd "$(dirname "$0")"

# At 16 px the sound-wave arcs turn to mush, so that size shows the handset alone, centred and a
# little larger.
small_variant() {
  sed -e '/<!-- waves/,/<!-- \/waves -->/d' \
      -e 's|id="handset-place" transform="translate(118 138) rotate(45)"|id="handset-place" transform="translate(124 132) rotate(45) scale(1.1)"|' \
      corvel.svg
}

render() {  # render SVG SIZE PNG
  if command -v rsvg-convert >/dev/null 2>&1; then
    rsvg-convert -w "$2" -h "$2" -o "$3" "$1"
  elif command -v inkscape >/dev/null 2>&1; then
    inkscape "$1" -w "$2" -h "$2" -o "$3"
  elif command -v convert >/dev/null 2>&1; then
    # ImageMagick needs an SVG delegate; without one this step fails loudly.
    convert -background none -density 384 "$1" -resize "$2x$2" -strip "PNG32:$3"
  else
    echo "render.sh: need rsvg-convert (librsvg2-bin), inkscape or ImageMagick" >&2
    exit 1
  fi
}

tmp=$(mktemp --suffix=.svg)
trap 'rm -f "$tmp"' EXIT
small_variant >"$tmp"
if grep -q 'id="waves"' "$tmp" || ! grep -q 'scale(1.1)' "$tmp"; then
  echo "render.sh: corvel.svg no longer has the marks the 16 px variant relies on" >&2
  exit 1
fi

render "$tmp" 16 corvel-16.png
for size in 32 48 256; do
  render corvel.svg "$size" "corvel-$size.png"
done
