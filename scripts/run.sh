#!/usr/bin/env bash
# Builds Corvel and starts it from its portable application folder (build/corvel/). When the
# configured account server is the local development service and nothing listens there yet,
# the development service is started for the session (demo account: demo / demo123).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target corvel corvel_sounds corvel-devservice

service_pid=""
stop_service() { [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true; }
trap stop_service EXIT

if ! ss -Hlun 'sport = :3905' 2>/dev/null | grep -q .; then
  build/tools/devservice/corvel-devservice --quiet >/dev/null 2>build/devservice.log &
  service_pid=$!
  echo "run: development service started (log: build/devservice.log); log in as demo / demo123"
fi
build/corvel/corvel "$@"
