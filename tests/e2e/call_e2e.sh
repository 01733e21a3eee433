#!/usr/bin/env bash
# A person makes calls through the whole local service (tools/localservice): the echo number,
# the busy number, the number that only rings, the announcement, and a second client on the same
# machine. Runs in a private network namespace where one can be made.
#   call_e2e.sh CLIENT_FOLDER DEVSERVICE_BINARY WAV_MATCH_BINARY [SCREENSHOT_FOLDER]
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
SHOTS=${4:-}
E2E_DIR=$(mktemp -d /tmp/corvel-call-e2e-XXXXXX)
log="$E2E_DIR/devservice.log"
for tool in kamailio sipp espeak-ng sox; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done

start_display
start_tray
start_local_service "$repo" "$SERVICE_BINARY"

speech first "one two three four five six seven eight nine ten, this is the first caller speaking"
speech second "the second telephone answers, speaking about rivers, mountains and the sea"

# --- One client: the demo numbers -------------------------------------------------------------
first_pid=$(start_phone first "$E2E_DIR/first.wav")
log_in demo demo123 >/dev/null
wait_for 10 main_window_of "$first_pid" || fail "no main window for the first client"
first=$(main_window_of "$first_pid")
wait_for 15 title_is "$first" "Corvel[就绪]" ||
  fail "not registered: title '$(xdotool getwindowname "$first")'"

# The echo number: calling, then connected with a running duration; what is said comes back.
dial "$first" 0106000
wait_panel first '0106000\|呼叫中\|'
wait_panel first '0106000\|通话中\|00:00:0[3-9]' 20
sleep 4
[ -n "$SHOTS" ] && screenshot "$first" "$SHOTS/call-connected.png"
wait_for 10 grep -qE 'recv .* CMD_CALL_START\([0-9]+\) .* account="demo" number="0106000"' "$log" ||
  fail "the echo call's start did not reach the account server"
# The keep-alive sent right after a report tells the service whether a call is on.
keepalive_after() {
  awk -v report="$1" '$0 ~ report { seen = 1; next }
    seen && /recv .* CMD_KEEPALIVE\(1\)/ { print; exit }' "$log" | grep -q "status=$2"
}
wait_for 5 keepalive_after 'CMD_CALL_START\\(' 1 || fail "no in-call keep-alive after the call start"
hang_up "$first"
wait_panel first '0106000\|通话结束\|'
wait_for 10 grep -qE 'recv .* CMD_CALL_END\(.*account="demo"' "$log" ||
  fail "the echo call's end did not reach the account server"
wait_for 5 keepalive_after 'CMD_CALL_END\\(' 0 || fail "no idle keep-alive after the call end"
echo_recording=$(newest_recording first)
[ -n "$echo_recording" ] || fail "nothing was played back during the echo call"
"$WAV_MATCH" "$E2E_DIR/first.wav" "$echo_recording" ||
  fail "the echo did not bring the caller's speech back"

# The busy number: the panel's failure text.
dial "$first" 0106486
wait_panel first '0106486\|对方忙\|'

# The number that only rings: ringing, until the caller cancels.
dial "$first" 0106180
wait_panel first '0106180\|振铃中\|'
sleep 1
hang_up "$first"
wait_for 10 grep -q 'CANCEL 0106180' "$E2E_DIR/kamailio.log" || fail "the ringing call was not cancelled"
stopped_ringing() { ! tail -n1 "$E2E_DIR/first-panel.log" | grep -q '|振铃中|'; }
wait_for 10 stopped_ringing || fail "the panel kept ringing after the cancel"

# The announcement: the prompt plays and the line hangs up by itself.
dial "$first" 0106001
wait_panel first '0106001\|通话中\|.*'
wait_panel first '0106001\|通话结束\|' 30
prompt_recording=$(newest_recording first)
[ "$prompt_recording" != "$echo_recording" ] || fail "nothing was heard of the announcement"
/usr/bin/python3 - "$prompt_recording" <<'PY' || fail "the announcement was not heard"
import array, sys, wave
with wave.open(sys.argv[1]) as w:
    samples = array.array("h", w.readframes(w.getnframes()))
loud = sum(1 for s in samples if abs(s) > 1000)
print(f"announcement: {loud / 8000:.2f} s audible")
sys.exit(0 if loud >= 4000 else 1)
PY

# The call records hold a row for each call, with its number, duration and outcome.
export_records "$first" "$E2E_DIR/records.xls"
/usr/bin/python3 - "$E2E_DIR/records.xls" <<'PY' || fail "the call records are not right"
import sys, xlrd
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
rows = {sheet.cell_value(i, 0): [str(v) for v in sheet.row_values(i)] for i in range(1, sheet.nrows)}
print(rows)
assert set(rows) == {"0106000", "0106486", "0106180", "0106001"}, rows
echo = rows["0106000"]
assert echo[1] == "SIP呼出" and echo[4] == "通话结束" and echo[3] >= "00:00:05", echo
assert rows["0106486"][4] == "对方忙", rows["0106486"]
assert rows["0106001"][4] == "通话结束" and rows["0106001"][3] >= "00:00:02", rows["0106001"]
PY
click_control "$first" 14 119 76 145  # 状态

# --- Two clients: one calls the other --------------------------------------------------------
second_pid=$(start_phone second "$E2E_DIR/second.wav")
log_in demo2 demo123 >/dev/null
wait_for 10 main_window_of "$second_pid" || fail "no main window for the second client"
second=$(main_window_of "$second_pid")
wait_for 15 title_is "$second" "Corvel[就绪]" || fail "the second client did not register"
# Both windows open in the middle of the screen: side by side, each click lands where it is meant.
xdotool windowmove "$first" 200 100
xdotool windowmove "$second" 760 100
sleep 0.5

calls_reported=$(grep -c 'CMD_CALL_START' "$log" || true)
# The callee's window is hidden in the tray: the call comes as the incoming-call box.
click_control "$second" 235 13 250 28  # hide
wait_for 5 bash -c "! xdotool search --onlyvisible --name '^Corvel' | grep -qx $second" ||
  fail "the second client's window did not hide"
dial "$first" 80001002
box=$(window_named "来电" 15) || fail "no incoming-call box at the second client"
sleep 0.5
[ -n "$SHOTS" ] && screenshot "$box" "$SHOTS/call-incoming.png"
eval "$(xdotool getwindowgeometry --shell "$box")"
click_in "$box" $((WIDTH - 131 + 28)) $((HEIGHT - 35 + 10))  # 接听
# Answered from the box, the call runs with the window still in the tray.
wait_for 20 title_is "$second" "Corvel[通话中]" || fail "the answer did not connect the callee"
wait_panel first '80001002\|通话中\|00:00:0[2-9]' 20
sleep 4
# A click on its tray icon brings the callee's window back, with the call.
icon=$(windows_of "$second_pid" tray) || fail "the second client has no tray icon"
click_in "$icon" 8 8
wait_for 5 main_window_of "$second_pid" || fail "a tray click did not show the callee's window"
second=$(main_window_of "$second_pid")
xdotool windowmove "$second" 760 100
wait_panel second '80001001\|通话中\|00:00:0[2-9]' 5
sleep 0.5
[ -n "$SHOTS" ] && import -window root -crop 862x610+190+90 +repage "$SHOTS/call-two-clients.png"
hang_up "$second"
wait_panel second '80001001\|通话结束\|'
wait_panel first '80001002\|通话结束\|'
wait_for 5 title_is "$first" "Corvel[就绪]" || fail "the caller did not return to idle"
wait_for 5 title_is "$second" "Corvel[就绪]" || fail "the callee did not return to idle"
[ "$(grep -c 'CMD_CALL_START' "$log" || true)" -eq "$calls_reported" ] ||
  fail "a call inside the service was reported to the account server"
"$WAV_MATCH" "$E2E_DIR/first.wav" "$(newest_recording second)" ||
  fail "the callee did not hear the caller"
"$WAV_MATCH" "$E2E_DIR/second.wav" "$(newest_recording first)" ||
  fail "the caller did not hear the callee"

# The other way round, answered in the open window with its 接听 button; the caller hangs up.
dial "$second" 80001001
wait_panel first '80001002\|呼叫中\|' 15
sleep 0.5
click_control "$first" 14 514 139 544  # 接听
wait_panel first '80001002\|通话中\|.*' 20
wait_panel second '80001001\|通话中\|.*' 5
sleep 1
hang_up "$second"
wait_panel first '80001002\|通话结束\|'
wait_panel second '80001001\|通话结束\|'
wait_for 5 title_is "$first" "Corvel[就绪]" || fail "the callee did not return to idle"

# Stopping the local service leaves nothing behind: no process of it and no bound port.
scratch=$(cat "$E2E_DIR/scratch")
kill "$service_pid"
wait_for 10 bash -c "! kill -0 $service_pid" || fail "the local service did not stop"
service_gone() { ! pgrep -f "$E2E_DIR|$scratch"; }
wait_for 5 service_gone ||
  fail "a part of the local service kept running: $(pgrep -af "$E2E_DIR|$scratch")"
[ ! -e "$scratch" ] || fail "the local service left $scratch"
[ -n "${CORVEL_E2E_NETNS:-}" ] && for port in "$ACCOUNT_PORT" "$NAT_PORT" "$SIP_PORT"; do
  ! ss -Hlun "sport = :$port" | grep -q . || fail "port $port is still bound"
done
echo "PASS: calls end to end"
