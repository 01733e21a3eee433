#!/usr/bin/env bash
# The logged-in client under attack at its SIP port: valid-but-odd and invalid SIP messages
# (tests/e2e/sip_robustness.py), first while idle, then during a call to the echo number, each
# treated as it deserves; afterwards the client still answers, the window still takes clicks,
# and the call's voice still comes back. Runs in a private network namespace where one can be made.
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
speech first "one two three four five six seven eight nine ten, the caller keeps on speaking \
while strangers knock at every door of the telephone, eleven twelve thirteen fourteen"

pid=$(start_phone first "$E2E_DIR/first.wav")
log_in demo demo123 >/dev/null
wait_for 10 main_window_of "$pid" || fail "no main window"
main=$(main_window_of "$pid")
wait_for 15 title_is "$main" "Corvel[就绪]" || fail "not registered: '$(xdotool getwindowname "$main")'"
sip_port=$(sed -n 's/^sipPort=//p' "$E2E_DIR/first/CorvelConfig.ini")

# The window answers a click: the exit button's confirmation appears, and 取消 takes it away.
window_answers() {
  local started=$EPOCHREALTIME confirm
  click_control "$main" 253 13 268 28
  confirm=$(window_named "确认" 5) || fail "the window did not answer a click ($1)"
  echo "click answered in $(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%d", (b - a) * 1000 }') ms ($1)"
  xdotool key Escape
  wait_for 5 no_window_named "确认" || fail "the confirmation did not close ($1)"
}

echo "--- idle"
python3 "$here/sip_robustness.py" 127.0.0.1 "$sip_port" 80001001 ||
  fail "the idle client did not treat every message as it should"
title_is "$main" "Corvel[就绪]" || fail "the messages changed the client's state: $(xdotool getwindowname "$main")"
window_answers idle

echo "--- in a call"
dial "$main" 0106000
wait_panel first '0106000\|通话中\|.*' 20
python3 "$here/sip_robustness.py" 127.0.0.1 "$sip_port" 80001001 --in-call ||
  fail "the client in a call did not treat every message as it should"
panel_shows first '0106000\|通话结束\|' && fail "the messages ended the call"
title_is "$main" "Corvel[通话中]" || fail "not in the call any more: $(xdotool getwindowname "$main")"
window_answers "in a call"
sleep 3
hang_up "$main"
wait_panel first '0106000\|通话结束\|'
"$WAV_MATCH" "$E2E_DIR/first.wav" "$(newest_recording first)" ||
  fail "the call's voice did not come back while it was under attack"
[ "$(du -sk "$E2E_DIR/first/log" | cut -f1)" -lt 2048 ] ||
  fail "the logs grew to $(du -sh "$E2E_DIR/first/log")"
echo "PASS: hostile network end to end"
