#!/bin/sh
# Repaints the skin PNGs with tools/gen-skin. Run by hand after changing the generator or
# src/ui/main_window_layout.h and keep the PNGs in the repository: the build never paints them,
# and gen_skin_tests fails while they differ from what the generator makes (beyond a level or two
# at a few pixels, the rounding that differs between processors).
#   resources/skin/render.sh              builds corvel-gen-skin in build-art/ and repaints
#   resources/skin/render.sh GENERATOR    repaints with an already built corvel-gen-skin
#   resources/skin/render.sh --preview DIR  writes mock-ups of the windows into DIR instead
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

build_generator() {
  build="${CORVEL_ART_BUILD:-$root/build-art}"
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCORVEL_BUILD_UI=ON -DCORVEL_BUILD_BENCHMARKS=OFF >&2
  fi
  cmake --build "$build" --target corvel-gen-skin >&2
  echo "$build/tools/gen-skin/corvel-gen-skin"
}

if [ "${1:-}" = "--preview" ]; then
  out="${2:?--preview needs a folder}"
  generator=$(build_generator)
  QT_QPA_PLATFORM=offscreen "$generator" --preview "$out"
  exit 0
fi

generator="${1:-}"
[ -n "$generator" ] || generator=$(build_generator)
QT_QPA_PLATFORM=offscreen "$generator" "$here"
