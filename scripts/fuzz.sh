#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS each (60 by default), then merges the inputs that reach
# new code into the committed corpora, and prints one line per target: executions, coverage,
# corpus size, findings (crashes, leaks, time-outs, memory exhaustion) and slow inputs (one run
# over 10 s, which on a busy machine need not be a fault: run them again alone). Both are kept in
# build/fuzz-runs/TARGET/artifacts/. Needs clang with libFuzzer (scripts/setup.sh installs it).
# The .xls target's findings lie in FreeXL, which the client only runs in a helper process of
# its own (fuzz/store/freexl-findings/).
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target corvel_libfuzzer_targets sip_receive_libfuzzer

# name, binary, committed corpus
targets=(
  "rtp_packet build/fuzz/libfuzzer/rtp_packet_fuzz fuzz/corpus/rtp_packet"
  "g729_decode build/fuzz/libfuzzer/g729_decode_fuzz fuzz/corpus/g729_decode"
  "amr_decode build/fuzz/libfuzzer/amr_decode_fuzz fuzz/corpus/amr_decode"
  "service_stream build/fuzz/libfuzzer/service_stream_fuzz fuzz/corpus/service_stream"
  "sip_receive build/fuzz/sip/libfuzzer/sip_receive_fuzzer fuzz/sip/corpus"
  "sdp_answer build/fuzz/libfuzzer/sdp_answer_fuzz fuzz/corpus/sdp_answer"
  "profile_read build/fuzz/libfuzzer/profile_read_fuzz fuzz/corpus/profile_read"
  "account_file build/fuzz/libfuzzer/account_file_fuzz fuzz/corpus/account_file"
  "csv_read build/fuzz/libfuzzer/csv_read_fuzz fuzz/corpus/csv_read"
  "xlsx_read build/fuzz/libfuzzer/xlsx_read_fuzz fuzz/corpus/xlsx_read"
  "xls_read build/fuzz/libfuzzer/xls_read_fuzz fuzz/store/corpus"
)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
printf '%-14s %10s %12s %8s %8s %9s %5s\n' target seconds executions coverage corpus findings slow
status=0
for entry in "${targets[@]}"; do
  read -r name binary corpus <<<"$entry"
  [ -x "$binary" ] || { echo "fuzz: $binary was not built (no libFuzzer here?)" >&2; exit 1; }
  run="build/fuzz-runs/$name"
  mkdir -p "$run/new" "$run/artifacts"
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$run/artifacts/" "$run/new" "$corpus" >"$run/fuzz.log" 2>&1 || true
  "$binary" -merge=1 "$corpus" "$run/new" >"$run/merge.log" 2>&1 || true
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/fuzz.log" | tail -n1)
  coverage=$(grep -oE 'cov: [0-9]+' "$run/fuzz.log" | tail -n1 | cut -d' ' -f2)
  findings=$(find "$run/artifacts" -type f ! -name 'slow-unit-*' | wc -l)
  slow=$(find "$run/artifacts" -type f -name 'slow-unit-*' | wc -l)
  [ "$findings" -eq 0 ] || status=1
  printf '%-14s %10s %12s %8s %8s %9s %5s\n' "$name" "$seconds" "${executions:-?}" "${coverage:-?}" \
    "$(find "$corpus" -type f | wc -l)" "$findings" "$slow"
done
exit $status
