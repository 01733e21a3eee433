#!/usr/bin/env bash
# Builds the client and the development service, logs in under a private X display like a
# person would, makes calls through the local service, and leaves screenshots of the windows in
# build/screenshots/ (the README's pictures of calls also in docs/).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target corvel corvel_sounds corvel-devservice corvel_wav_match
bash tests/e2e/login_e2e.sh build/corvel build/tools/devservice/corvel-devservice build/screenshots
bash tests/e2e/main_e2e.sh build/corvel build/tools/devservice/corvel-devservice build/screenshots
bash tests/e2e/window_e2e.sh build/corvel build/tools/devservice/corvel-devservice build/screenshots
bash tests/e2e/conference_e2e.sh build/corvel build/tools/devservice/corvel-devservice \
  build/screenshots
bash tests/e2e/call_e2e.sh build/corvel build/tools/devservice/corvel-devservice \
  build/tests/corvel_wav_match build/screenshots
# The README's pictures of calls.
mkdir -p docs
cp build/screenshots/call-connected.png build/screenshots/call-incoming.png \
  build/screenshots/call-two-clients.png build/screenshots/conference-two-members.png docs/
ls -1 build/screenshots
