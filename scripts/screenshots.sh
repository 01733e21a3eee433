#!/usr/bin/env bash
# Builds the client and the development service, logs in under a private X display like a
# person would, and leaves screenshots of the windows in build/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target corvel corvel_sounds corvel-devservice
bash tests/e2e/login_e2e.sh build/corvel build/tools/devservice/corvel-devservice build/screenshots
bash tests/e2e/main_e2e.sh build/corvel build/tools/devservice/corvel-devservice build/screenshots
bash tests/e2e/window_e2e.sh build/corvel build/tools/devservice/corvel-devservice build/screenshots
ls -1 build/screenshots
