#!/usr/bin/env bash
# Builds the Debian packages from this tree in build-package/: corvel (the client) and
# corvel-devservice (the development service). Install them with
#   sudo apt install ./build-package/corvel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-package -G Ninja -DCORVEL_BUILD_TESTS=OFF -DCORVEL_BUILD_BENCHMARKS=OFF \
  >/dev/null
cmake --build build-package -j "$(nproc)"
(cd build-package && cpack -G DEB >/dev/null)
ls -1 build-package/*.deb
