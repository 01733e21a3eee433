#!/usr/bin/env bash
# The logged-in client under attack at its SIP port: valid-but-odd and invalid SIP messages
# (tests/e2e/sip_robustness.py), first while idle, then during a call to the echo number, each
# treated as it deserves; then, still in the call, 10 s floods at each of its ports
# (tests/e2e/flood.py). Throughout, the window answers clicks, memory and logs stay bounded, and
# the call's voice keeps coming back. Runs in a private network namespace where one can be made.
#   hostile_e2e.sh CLIENT_FOLDER DEVSERVICE_BINARY WAV_MATCH_BINARY
set -euo pipefail
if [ -z "${CORVEL_E2E_NETNS:-}" ] && unshare -n true 2>/dev/null; then
  exec unshare -n env CORVEL_E2E_NETNS=1 bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$here/e2e_lib.sh"

APP_FOLDER=$1
SERVICE_BINARY=$2
WAV_MATCH=$3
E2E_DIR=$(mktemp -d /tmp/corvel-hostile-e2e-XXXXXX)
for tool in kamailio sipp espeak-ng sox; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done

start_display
start_tray
start_local_service "$repo" "$SERVICE_BINARY"
speech once "one two three four five six seven eight nine ten, the caller keeps on speaking \
while strangers knock at every door of the telephone, eleven twelve thirteen fourteen"
# The caller speaks for the whole call, attacks included.
sox $(for _ in $(seq 14); do echo "$E2E_DIR/once.wav"; done) "$E2E_DIR/first.wav"

pid=$(start_phone first "$E2E_DIR/first.wav")
log_in demo demo123 >/dev/null
wait_for 10 main_window_of "$pid" || fail "no main window"
main=$(main_window_of "$pid")
wait_for 15 title_is "$main" "Corvel[就绪]" || fail "not registered: '$(xdotool getwindowname "$main")'"
sip_port=$(sed -n 's/^sipPort=//p' "$E2E_DIR/first/CorvelConfig.ini")

# The window answers a click on its exit button with the confirmation box, within $2 ms; Escape
# takes the box away. Prints the time.
window_answers() {
  local what=$1 limit=$2 started ms
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove $((X + 260)) $((Y + 20))
  sleep 0.3
  started=$EPOCHREALTIME
  xdotool click 1
  until xdotool search --onlyvisible --name '^确认$' >/dev/null 2>&1; do
    ms=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%d", (b - a) * 1000 }')
    [ "$ms" -lt 5000 ] || fail "the window did not answer a click ($what)"
  done
  ms=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%d", (b - a) * 1000 }')
  echo "click answered in $ms ms ($what)"
  CLICK_MS=$ms
  [ "$ms" -le "$limit" ] || fail "a click took $ms ms to be answered ($what), more than $limit"
  xdotool key Escape
  wait_for 5 no_window_named "确认" || fail "the confirmation did not close ($what)"
}
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"; }
config_value() { sed -n "s/^$1=//p" "$E2E_DIR/first/CorvelConfig.ini" | head -n1; }

echo "--- idle"
python3 "$here/sip_robustness.py" 127.0.0.1 "$sip_port" 80001001 ||
  fail "the idle client did not treat every message as it should"
title_is "$main" "Corvel[就绪]" || fail "the messages changed the client's state: $(xdotool getwindowname "$main")"
window_answers idle 1000
# A click during a flood is answered within 200 ms, or, on a machine where even an idle click
# takes longer, within twice the idle time.
limit=$((2 * CLICK_MS > 200 ? 2 * CLICK_MS : 200))

echo "--- in a call"
dial "$main" 0106000
wait_panel first '0106000\|通话中\|.*' 20
connected=$EPOCHREALTIME
python3 "$here/sip_robustness.py" 127.0.0.1 "$sip_port" 80001001 --in-call ||
  fail "the client in a call did not treat every message as it should"
panel_shows first '0106000\|通话结束\|' && fail "the messages ended the call"
title_is "$main" "Corvel[通话中]" || fail "not in the call any more: $(xdotool getwindowname "$main")"
window_answers "in a call" 1000

# Floods, one port at a time, while the call goes on; the window is clicked during each.
service_port=$(config_value Local | cut -d, -f2)
rtp_port=$(config_value rtpPort)
rss_before=$(rss_kb)
for target in "service $service_port" "sip $sip_port" "rtp $rtp_port" "rtcp $((rtp_port + 1))"; do
  read -r kind port <<<"$target"
  python3 "$here/flood.py" "$kind" 127.0.0.1 "$port" 10 &
  flood=$!
  e2e_pids+=("$flood")
  sleep 4
  window_answers "$kind flood" "$limit"
  wait "$flood" || fail "the $kind flood did not run"
  title_is "$main" "Corvel[通话中]" || fail "the $kind flood ended the call: $(xdotool getwindowname "$main")"
done
floods_over=$EPOCHREALTIME
rss_after=$(rss_kb)
echo "memory: $((rss_before / 1024)) MB before the floods, $((rss_after / 1024)) MB after"
[ $((rss_after - rss_before)) -lt 20480 ] || fail "the floods grew the client by $(((rss_after - rss_before) / 1024)) MB"
grep -q 'Corvel\[未登录\]' <<<"$(xdotool getwindowname "$main")" && fail "a flood logged the client off"
no_window_named "提示" || fail "a flood brought up a box"
sleep 10
hang_up "$main"
wait_panel first '0106000\|通话结束\|'
recording=$(newest_recording first)
players=$(ls "$E2E_DIR/first/out"/player-*.wav | wc -l)
[ "$players" -eq 1 ] || fail "$players sources were heard in the call: strangers' packets were played"
# The voice came back all through the call, attacks included: ten seconds at a time, as over a
# whole call the small shifts of re-buffering add up beyond what one match follows.
length=$(soxi -D "$recording" | cut -d. -f1)
for ((at = 0; at + 10 <= length; at += 10)); do
  sox "$E2E_DIR/first.wav" "$E2E_DIR/source-$at.wav" trim "$at" 10
  sox "$recording" "$E2E_DIR/heard-$at.wav" trim "$at" 10
  echo -n "at ${at} s: "
  "$WAV_MATCH" "$E2E_DIR/source-$at.wav" "$E2E_DIR/heard-$at.wav" ||
    fail "the call's voice did not come back from ${at} s on, under attack"
done
# And after the floods: the rest of the source against the rest of the recording.
after=$(awk -v a="$connected" -v b="$floods_over" 'BEGIN { printf "%.1f", b - a + 1 }')
sox "$E2E_DIR/first.wav" "$E2E_DIR/source-after.wav" trim "$after" 8
sox "$recording" "$E2E_DIR/heard-after.wav" trim "$after"
"$WAV_MATCH" "$E2E_DIR/source-after.wav" "$E2E_DIR/heard-after.wav" ||
  fail "the call's voice did not come back after the floods"
[ "$(du -sk "$E2E_DIR/first/log" | cut -f1)" -lt 2048 ] ||
  fail "the logs grew to $(du -sh "$E2E_DIR/first/log")"
echo "PASS: hostile network end to end"
