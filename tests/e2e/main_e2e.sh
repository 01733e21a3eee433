#!/usr/bin/env bash
# A person uses the main window: logs in, sees the account, asks for a call-back from the dial
# pad, exports the call records, logs off and on again, and meets a stop by the service.
#   main_e2e.sh CLIENT_FOLDER DEVSERVICE_BINARY [SCREENSHOT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e_lib.sh"

APP_FOLDER=$1
SERVICE_BINARY=$2
SHOTS=${3:-}
E2E_DIR=$(mktemp -d /tmp/corvel-e2e-XXXXXX)
log="$E2E_DIR/devservice.log"

start_display
start_service "$SERVICE_BINARY"
make_home "$APP_FOLDER"
# Sounds go to files here, so the key tones can be heard afterwards.
sed -i "s|^audioDevice=.*|audioDevice=file:,$E2E_DIR/sounds|" "$CORVEL_HOME/CorvelConfig.ini"
start_client "$APP_FOLDER/corvel"

main=$(log_in demo demo123)
sleep 1
title=$(xdotool getwindowname "$main")
[[ "$title" == Corvel* ]] || fail "unexpected main window title '$title'"
[ -n "$SHOTS" ] && screenshot "$main" "$SHOTS/main-status.png"

# A stranger on another local port forges a service stop, then sends 3 s of junk: the window
# stays logged in, keep-alives go on, and the trace log notes the stranger in one line or two.
trace="$CORVEL_HOME/log/UdpNetwork.log"
client_port=$(sed -nE 's/.*m_SockRecv\.Open\(\) Port:([0-9]+) Success.*/\1/p' "$trace" | tail -n1)
[ -n "$client_port" ] || fail "no service port in the trace log"
keepalives=$(grep -c 'recv .* CMD_KEEPALIVE(1)' "$log" || true)
/usr/bin/python3 - "$client_port" <<'PY' || fail "the forged packets could not be sent"
import os, socket, struct, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0))
to = ("127.0.0.1", int(sys.argv[1]))
# NTF_SERVICE_STOP: marker and length, command 8008, seq, sender, receiver, status 0, trailer.
stop = b"\xff\xee" + struct.pack(">HIIIII", 36, 8008, 0, 0x1001, 0, 0) + bytes(12)
s.sendto(stop, to)
end = time.time() + 3
while time.time() < end:
    junk = os.urandom(1 + os.urandom(1)[0] * 4)
    s.sendto(b"\xff\xee" + junk if junk[0] & 1 else junk, to)
    time.sleep(0.002)
PY
sleep 1
[ "$(xdotool getwindowname "$main")" != 'Corvel[未登录]' ] || fail "a forged stop logged the client off"
! window_named "提示" 1 >/dev/null || fail "a forged stop showed a box"
wait_for 35 bash -c "[ \$(grep -c 'recv .* CMD_KEEPALIVE(1)' '$log') -gt $keepalives ]" ||
  fail "no keep-alive after the forged stop"
[ "$(xdotool getwindowname "$main")" != 'Corvel[未登录]' ] || fail "logged off after the forgery"
drops=$(grep -c '\[Drop\]From(127\.0\.0\.1:' "$trace" || true)
[ "$drops" -ge 1 ] && [ "$drops" -le 2 ] || fail "$drops drop lines in the trace log"
! grep -q 'Recv CmdID\[0x1f48\]' "$trace" || fail "the forged stop was read as the service's"

# The dial pad.
for digit in 1 3 9 1 2 3 4 5 6 7 8; do press_key "$main" "$digit"; done
click_control "$main" 117 326 165 352  # 回拨
wait_for 5 grep -qE 'recv .* CMD_CALLBACK\(6\) .* account="demo" number="13912345678" kind=1' "$log" ||
  fail "the call-back request did not reach the service"
wait_for 5 grep -qE 'send .* NTF_CALLBACK_ID\(8006\)' "$log" || fail "no call-back id"
sleep 1
[ -n "$SHOTS" ] && screenshot "$main" "$SHOTS/main-callback.png"

# The call records tab holds the call-back's row; export it through the list's menu.
export_records "$main" "$E2E_DIR/records.xls" "${SHOTS:+$SHOTS/main-records.png}"
/usr/bin/python3 - "$E2E_DIR/records.xls" <<'PY' || fail "the exported call records are not right"
import sys, xlrd
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
rows = [[str(v) for v in sheet.row_values(i)] for i in range(sheet.nrows)]
assert rows[0] == ["电话号码", "呼叫类型", "呼叫时间", "通话时长", "状态"], rows[0]
assert len(rows) == 2 and rows[1][0] == "13912345678" and rows[1][1] == "回拨呼出", rows
assert rows[1][4] == "回拨成功", rows[1]
PY

for tab in "78 119 140 145 address" "206 119 268 145 messages"; do
  set -- $tab
  click_control "$main" "$1" "$2" "$3" "$4"
  sleep 0.3
  [ -n "$SHOTS" ] && screenshot "$main" "$SHOTS/main-$5.png"
done
click_control "$main" 14 119 76 145

# Keep-alives every 30 seconds while logged in.
wait_for 40 bash -c "[ \$(grep -c 'recv .* CMD_KEEPALIVE(1)' '$log') -ge 2 ]" ||
  fail "fewer than two keep-alives in 40 s"
mapfile -t stamps < <(grep 'recv .* CMD_KEEPALIVE(1)' "$log" | awk '{print $1}')
gap=$(awk -v a="$(stamp_seconds "${stamps[0]}")" -v b="$(stamp_seconds "${stamps[1]}")" \
  'BEGIN { printf "%.3f", b - a }')
awk -v g="$gap" 'BEGIN { exit !(g >= 29.5 && g <= 31.0) }' || fail "keep-alive gap was $gap s"

# Log off, then the title says so.
click_control "$main" 14 326 62 352  # 注销
wait_for 5 grep -qE 'recv .* CMD_LOGOFF\(3\) .* account="demo"' "$log" || fail "no log-off"
wait_for 5 bash -c "[ \"\$(xdotool getwindowname $main)\" = 'Corvel[未登录]' ]" ||
  fail "title after log-off: $(xdotool getwindowname "$main")"

# Log in again from the main window, then the service stops the client.
click_control "$main" 14 326 62 352  # 登录
log_in demo demo123 >/dev/null
wait_for 5 bash -c "[ \$(grep -c 'send .* RSP_LOGIN(4002) .* status=0' '$log') -ge 2 ]" ||
  fail "the second login did not succeed"
control stop demo 0 >/dev/null || fail "the control channel refused the stop"
box=$(window_named "提示" 10) || fail "no box after the service stopped the client"
sleep 0.3
[ -n "$SHOTS" ] && screenshot "$box" "$SHOTS/service-stopped.png"
xdotool key Escape
wait_for 5 bash -c "[ \"\$(xdotool getwindowname $main)\" = 'Corvel[未登录]' ]" ||
  fail "the stop did not log the client off"

# Exit.
exit_by_command "$main"
wait_for 10 bash -c "! kill -0 $CLIENT_PID" || fail "the client did not end after exit"
[ -f "$CORVEL_HOME/AddressList.db" ] || fail "the address book was not saved at exit"

# The dial pad's key tones were played: the sound player's recording holds audible sound.
[ -f "$E2E_DIR/sounds/sound.wav" ] || fail "no key tone was played"
/usr/bin/python3 - "$E2E_DIR/sounds/sound.wav" <<'PY' || fail "the key tones are not in the recording"
import array, sys, wave
with wave.open(sys.argv[1]) as w:
    assert w.getframerate() == 8000 and w.getnchannels() == 1, w.getparams()
    samples = array.array("h", w.readframes(w.getnframes()))
loud = sum(1 for s in samples if abs(s) > 1000)
print(f"key tones: {len(samples) / 8000:.2f} s recorded, {loud / 8000:.2f} s audible")
sys.exit(0 if loud >= 800 else 1)
PY
echo "PASS: main window end to end"
