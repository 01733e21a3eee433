#!/usr/bin/env bash
# A person logs in: the real client against the development service, typing into the login
# window. A wrong password first, then the right one; then the client is closed.
#   login_e2e.sh CLIENT_FOLDER DEVSERVICE_BINARY [SCREENSHOT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e_lib.sh"

APP_FOLDER=$1
SERVICE_BINARY=$2
SHOTS=${3:-}
E2E_DIR=$(mktemp -d /tmp/corvel-e2e-XXXXXX)

start_display
start_service "$SERVICE_BINARY"
make_home "$APP_FOLDER"
start_client "$APP_FOLDER/corvel"

login=$(window_named "欢迎使用Corvel" 15) || fail "the login window did not appear"
sleep 0.5
[ -n "$SHOTS" ] && screenshot "$login" "$SHOTS/login-window.png"

# Account box at (75,70)-(260,92), password box at (75,103)-(233,122).
click_in "$login" 150 81
type_text "demo"
click_in "$login" 150 112
type_text "wrong"
xdotool key Return

box=$(window_named "登录提示" 10) || fail "no answer box after a wrong password"
sleep 0.3
[ -n "$SHOTS" ] && screenshot "$box" "$SHOTS/prompt-box.png"
grep -qE 'send .* RSP_LOGIN\(4002\) .* status=2$' "$E2E_DIR/devservice.log" ||
  fail "the service did not answer status 2"
xdotool key Escape
wait_for 5 no_window_named "登录提示" ||
  fail "the answer box did not close"

click_in "$login" 150 112
xdotool key ctrl+a BackSpace
type_text "demo123"
xdotool key Return

main=$(window_named "Corvel" 10) || fail "the main window did not appear after logging in"
wait_for 5 no_window_named "欢迎使用Corvel" ||
  fail "the login window stayed open"
sleep 0.5
[ -n "$SHOTS" ] && screenshot "$main" "$SHOTS/main-window.png"

logins=$(grep -cE 'recv .* CMD_LOGIN\(2\) .* account="demo" password=\*\*\*' \
  "$E2E_DIR/devservice.log" || true)
[ "$logins" -eq 2 ] || fail "expected two CMD_LOGIN requests for demo, saw $logins"
grep -qE 'send .* RSP_LOGIN\(4002\) .* status=0 balance="100.00"' "$E2E_DIR/devservice.log" ||
  fail "the service did not accept the second login"

trace="$CORVEL_HOME/log/UdpNetwork.log"
grep -q "CmdID=2 SeqID=0 Sender\[0\] Receive\[0\] Status\[0\] Data:Send Login Packet" "$trace" ||
  fail "no login line in the trace log"
grep -q "data=Response Login Packet" "$trace" || fail "no login answer in the trace log"
if grep -q "demo123" "$trace"; then fail "the password reached the trace log"; fi

# Exit: the title-bar exit button (253,13)-(268,28), then 确定 in the confirmation box.
click_in "$main" 260 20
confirm=$(window_named "确认" 10) || fail "no exit confirmation"
eval "$(xdotool getwindowgeometry --shell "$confirm")"
click_in "$confirm" $((WIDTH - 131 + 28)) $((HEIGHT - 35 + 10))
wait_for 10 bash -c "! kill -0 $CLIENT_PID" || fail "the client did not end after exit"
wait "$CLIENT_PID" || fail "the client ended with a failure status"

for line in "Mail Dialog Exit" "Send Log Off Packet" "Delete UDP Thread" "Delete UDP Service"; do
  grep -q "$line" "$trace" || fail "shutdown line '$line' missing"
done
wait_for 5 grep -q 'CMD_LOGOFF' "$E2E_DIR/devservice.log" || fail "no log-off reached the service"
[ -f "$CORVEL_HOME/data.dat" ] || fail "data.dat was not written"
echo "PASS: login end to end"
