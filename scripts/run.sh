#!/usr/bin/env bash
# Builds Corvel and starts it from its portable application folder (build/corvel/).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target corvel corvel_sounds
exec build/corvel/corvel "$@"
