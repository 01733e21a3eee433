#!/usr/bin/env bash
# Builds Corvel and runs its test suites.
#   scripts/test.sh                      everything, in build/
#   scripts/test.sh --sanitize address   the non-UI suites under ASan+UBSan, in build-asan/
#   scripts/test.sh --sanitize thread    the non-UI suites under TSan, in build-tsan/
# Further arguments go to ctest (for example -R Config or -L unit).
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=""
if [ "${1:-}" = "--sanitize" ]; then
  sanitize="${2:?--sanitize needs address or thread}"
  shift 2
fi

bash scripts/setup.sh >/dev/null

jobs=$(nproc)
if [ -z "$sanitize" ]; then
  dir=build
  cmake -S . -B "$dir" -G Ninja >/dev/null
  ctest_filter=()
else
  dir="build-${sanitize/address/asan}"
  dir="${dir/thread/tsan}"
  cmake -S . -B "$dir" -G Ninja -DCORVEL_SANITIZE="$sanitize" -DCORVEL_BUILD_UI=OFF \
    -DCORVEL_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
  ctest_filter=(-LE ui)
fi
cmake --build "$dir" -j "$jobs"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${ctest_filter[@]}" "$@"
