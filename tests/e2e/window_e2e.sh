#!/usr/bin/env bash
# A person handles the main window itself, with a tray host on the desktop and no window
# manager: logs in with an account whose name is too long for its line, reads the tooltips,
# drags the window about and docks it at the top, edits the address book after it scrolled
# sideways, hides the window and brings it back through the tray, and exits from the tray menu.
#   window_e2e.sh CLIENT_FOLDER DEVSERVICE_BINARY [SCREENSHOT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e_lib.sh"

APP_FOLDER=$1
SERVICE_BINARY=$2
SHOTS=${3:-}
E2E_DIR=$(mktemp -d /tmp/corvel-e2e-XXXXXX)
log="$E2E_DIR/devservice.log"
trace_file() { echo "$CORVEL_HOME/log/UdpNetwork.log"; }

# 25 Chinese characters: the 50 bytes the account field holds, far wider than its line.
LONG_NAME="欧阳长名字欧阳长名字欧阳长名字欧阳长名字欧阳长名字"
cat >"$E2E_DIR/accounts.txt" <<ACCOUNTS
$LONG_NAME demo123 100.00 13912345678 80001009 ok V9Q5rlFOCaTfHkNWZczj61S8ogXRnbJxUtPM43idvGKs7weyI0muBp2LqYEADh
ACCOUNTS

start_display
start_tray
start_service "$SERVICE_BINARY" --accounts "$E2E_DIR/accounts.txt"
make_home "$APP_FOLDER"
# The login window offers the last account of data.dat, so the long name needs no typing.
/usr/bin/python3 - "$CORVEL_HOME/data.dat" "$LONG_NAME" <<'PY'
import sys
block = lambda text: bytes(b ^ 0xFF for b in text.encode("gbk").ljust(64, b"\0"))
open(sys.argv[1], "wb").write(block("") + block(sys.argv[2]))
PY
start_client "$APP_FOLDER/corvel"

visible_named() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
main_visible() { xdotool search --onlyvisible --name '^Corvel' 2>/dev/null | grep -qx "$main"; }
client_alive() { kill -0 "$CLIENT_PID" 2>/dev/null; }

# Log in with Enter held down past the login: its repeats go on into the main window once the
# login window has closed, and the main window's number box would start a call on them.
login=$(window_named "欢迎使用Corvel" 15) || fail "the login window did not appear"
sleep 0.5
click_in "$login" 150 112
type_text demo123
xdotool keydown Return
main=$(window_named "Corvel.*" 10) || fail "the main window did not appear after logging in"
sleep 1.5
xdotool keyup Return
sleep 0.3
if visible_named "呼叫提示"; then fail "the Enter typed into the login window reached the main window"; fi
grep -qE "send .* RSP_LOGIN\(4002\) .* status=0" "$log" || fail "the long account did not log in"

# The main window blocks nothing: no modal state, not transient for anything.
props=$(xprop -id "$main" _NET_WM_STATE WM_TRANSIENT_FOR)
if grep -q "_NET_WM_STATE_MODAL" <<<"$props"; then fail "the main window is modal: $props"; fi
if grep -q "window id" <<<"$props"; then fail "the main window is transient: $props"; fi

# Tooltips over the three account lines (x from 112, tops 38, 55, 74), with the whole value.
eval "$(xdotool getwindowgeometry --shell "$main")"
hover_tip() {
  local y=$1 text=$2
  xdotool mousemove $((X + 150)) $((Y + y))
  sleep 0.1
  xdotool mousemove $((X + 152)) $((Y + y + 1))
  window_named "$text" 3 || fail "no tooltip '$text' over the account line at y $y"
}
tip=$(hover_tip 44 "$LONG_NAME")
tip_width=$(xdotool getwindowgeometry --shell "$tip" | sed -n 's/^WIDTH=//p')
[ "$tip_width" -gt 156 ] || fail "the account tooltip is $tip_width pixels wide: not the whole name"
[ -n "$SHOTS" ] && screenshot root "$SHOTS/window-tooltip.png"
hover_tip 61 80001009 >/dev/null
hover_tip 80 13912345678 >/dev/null
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 150)) $((Y + 250))
wait_for 3 bash -c "! xdotool search --onlyvisible --name '^13912345678\$'" ||
  fail "the tooltip stayed after the pointer left the lines"

# Dragging by any point of the surface: title, logo, the frame's side, the status panel, the
# strip under the link, and the link itself (a press that moves away opens no page).
geometry_of() {
  eval "$(xdotool getwindowgeometry --shell "$main")"
  echo "$X $Y"
}
drag_by() {
  local x=$1 y=$2 dx=$3 dy=$4 steps=5 before after
  before=$(geometry_of)
  read -r X Y <<<"$before"
  xdotool mousemove $((X + x)) $((Y + y)) sleep 0.1 mousedown 1
  for _ in $(seq $steps); do
    xdotool mousemove_relative -- "$dx" "$dy"
    sleep 0.05
  done
  xdotool mouseup 1
  sleep 0.3
  after=$(geometry_of)
  read -r ax ay <<<"$after"
  [ "$ax" -eq $((X + steps * dx)) ] && [ "$ay" -eq $((Y + steps * dy)) ] ||
    fail "dragging from ($x, $y) by $((steps * dx)),$((steps * dy)) moved the window from $before to $after"
}
drag_by 60 20 10 6       # title
drag_by 50 70 -10 -6     # logo
drag_by 276 230 8 4      # right side of the frame
drag_by 140 230 -8 -4    # status panel
drag_by 140 582 6 2      # under the link
drag_by 140 558 -6 -2    # the link
[ ! -s "$CORVEL_URL_LOG" ] || fail "dragging by the link opened $(cat "$CORVEL_URL_LOG")"

# Docking: dropped at the top edge it slides up once the pointer leaves, 5 pixels staying.
read -r X Y <<<"$(geometry_of)"
drag_by 60 20 0 $(((0 - Y) / 5))
read -r X Y <<<"$(geometry_of)"
[ "$Y" -le 10 ] || fail "the drag did not bring the window to the top edge (y $Y)"
xdotool mousemove 900 500
wait_for 3 bash -c "[ \"\$(xdotool getwindowgeometry --shell $main | grep '^Y=')\" = 'Y=-585' ]" ||
  fail "the window did not slide up at the top edge: $(geometry_of)"
xdotool mousemove $((X + 140)) 2
wait_for 3 bash -c "[ \"\$(xdotool getwindowgeometry --shell $main | grep '^Y=')\" = 'Y=0' ]" ||
  fail "the window did not come back when the pointer reached its edge: $(geometry_of)"
drag_by 60 20 0 20

# The address book. Its header is found on screen: background 209,209,255 with a divider of
# 192,192,192 at each column's right edge. Prints the header's top and bottom and the dividers'
# x, in window coordinates.
header() {
  local shot="$E2E_DIR/list.png"
  screenshot "$main" "$shot"
  /usr/bin/python3 - "$shot" <<'PY'
import re, subprocess, sys
text = subprocess.run(["convert", sys.argv[1], "-crop", "252x200+15+140", "txt:-"],
                      capture_output=True, text=True, check=True).stdout
pixels = {}
for line in text.splitlines():
    m = re.match(r"(\d+),(\d+): .*#([0-9A-Fa-f]{6})", line)
    if m:
        pixels[(int(m[1]) + 15, int(m[2]) + 140)] = m[3].upper()
rows = [y for y in range(140, 340) if pixels.get((20, y)) == "D1D1FF"]
if not rows:
    sys.exit("no list header on screen")
top = rows[0]
edges = [x for x in range(15, 267) if pixels.get((x, top + 1)) == "C0C0C0"]
print(top, rows[-1], *edges)
PY
}
# Double-clicks the middle of column $1 of the first row, as the header shows it now.
edit_cell() {
  local column=$1 h left
  read -r -a h <<<"$(header)"
  [ "${#h[@]}" -ge $((column + 3)) ] ||
    fail "column $column is not on screen (the list scrolled sideways?): ${h[*]}"
  left=$([ "$column" -eq 0 ] && echo 17 || echo $((h[column + 1] + 1)))
  read -r X Y <<<"$(geometry_of)"
  xdotool mousemove $((X + (left + h[column + 2]) / 2)) $((Y + h[1] + 10)) sleep 0.1 \
    click --repeat 2 --delay 80 1
  sleep 0.4
}
list_menu() {
  read -r X Y <<<"$(geometry_of)"
  xdotool mousemove $((X + 140)) $((Y + 280)) click 3
  sleep 0.5
  xdotool key $(printf 'Down %.0s' $(seq "$1")) Return
  sleep 0.5
}
click_control "$main" 78 119 140 145  # 通讯录
sleep 0.3
list_menu 4  # 新建
edit_cell 0
type_text 13612345678
xdotool key Return
edit_cell 3
type_text "$(printf 'abcdefghij%.0s' 1 2 3 4 5 6 7)"  # 70 letters, the editor keeps 50
xdotool key Return
edit_cell 2
type_text family
xdotool key Return
sleep 0.3
[ -n "$SHOTS" ] && screenshot "$main" "$SHOTS/window-address-edit.png"
before_name=$(header)
edit_cell 1
type_text ouyang
xdotool key Return
sleep 0.3
after_name=$(header)
# The name column grew; the columns left of it stay where they were, so the list did not move.
read -r -a b <<<"$before_name"
read -r -a a <<<"$after_name"
[ "${a[2]}" = "${b[2]}" ] || fail "the list moved sideways during the edit: '$before_name' -> '$after_name'"
list_menu 6  # 保存
wait_for 5 test -s "$CORVEL_HOME/AddressList.db" || fail "the address book was not saved"
/usr/bin/python3 - "$CORVEL_HOME/AddressList.db" <<'PY' || fail "the edits are not each in their own column"
import sqlite3, sys
rows = sqlite3.connect(sys.argv[1]).execute("select * from 通讯录").fetchall()
expected = [("13612345678", "ouyang", "family", "abcdefghij" * 5)]
print("address book:", rows)
sys.exit(0 if rows == expected else 1)
PY
click_control "$main" 14 119 76 145  # 状态

# A call-back number longer than the request's field is refused, not sent cut.
click_control "$main" 20 361 164 383
type_text 0211234567890123456789012
click_control "$main" 117 326 165 352  # 回拨
window_named "回拨提示" 5 >/dev/null || fail "no box for a 25-digit call-back number"
if grep -q 'CMD_CALLBACK' "$log"; then fail "the over-long call-back number was sent"; fi
xdotool key Escape
click_control "$main" 174 358 219 386  # 清空

# The about box from the title bar's menu, sized to its text.
read -r X Y <<<"$(geometry_of)"
xdotool mousemove $((X + 120)) $((Y + 20)) click 3
sleep 0.5
xdotool key Down Return
about=$(window_named "关于 Corvel" 5) || fail "no about box"
sleep 0.3
[ -n "$SHOTS" ] && screenshot "$about" "$SHOTS/about-box.png"
xdotool key Escape
wait_for 3 bash -c "! xdotool search --onlyvisible --name '^关于 Corvel\$'" || fail "the about box stayed"

# Log off, then log in again from the main window, Enter now sent to the login window as a
# synthetic event, as automation and password managers type it. xdotool makes it a real key
# press when the login window has the focus, and its release may then find that window gone,
# which leaves the key held down: none of it may reach the main window.
click_control "$main" 14 326 62 352  # 注销
wait_for 5 bash -c "[ \"\$(xdotool getwindowname $main)\" = 'Corvel[未登录]' ]" || fail "no log-off"
click_control "$main" 14 326 62 352  # 登录
login=$(window_named "欢迎使用Corvel" 10) || fail "no login window from the main window"
sleep 0.5
click_in "$login" 150 112
xdotool key ctrl+a BackSpace
type_text demo123
xdotool key --window "$login" Return || true
wait_for 5 bash -c "[ \$(grep -c 'send .* RSP_LOGIN(4002) .* status=0' '$log') -ge 2 ]" ||
  fail "the second login did not succeed"
sleep 1.5
if visible_named "呼叫提示"; then fail "the synthetic Enter reached the main window"; fi
xdotool keyup Return || true

# Hide with the title bar's button: the client stays logged in and keeps the account alive.
hidden_at=$(wc -l <"$log")
click_control "$main" 235 13 250 28
wait_for 3 bash -c "! xdotool search --onlyvisible --name '^Corvel' | grep -qx $main" ||
  fail "the hide button did not hide the window"
sleep 1
client_alive || fail "hiding the window ended the client"
if grep -q "Delete UDP Thread" "$(trace_file)"; then fail "hiding the window shut the link down"; fi
wait_for 40 bash -c "tail -n +$((hidden_at + 1)) '$log' | grep -q 'recv .* CMD_KEEPALIVE(1)'" ||
  fail "no keep-alive reached the service while the window was hidden"
if tail -n +$((hidden_at + 1)) "$log" | grep -q 'CMD_LOGOFF'; then fail "hiding logged off"; fi

# A left click on the tray icon shows the window again, centred on the screen.
tray_click() {
  xdotool mousemove 12 788 sleep 0.2 click "$1"
  sleep 0.6
}
tray_click 1
wait_for 3 main_visible || fail "a click on the tray icon did not show the window"
read -r X Y <<<"$(geometry_of)"
[ $((X - (1280 - 283) / 2)) -le 1 ] && [ $((X - (1280 - 283) / 2)) -ge -1 ] &&
  [ $((Y - (800 - 590) / 2)) -le 1 ] && [ $((Y - (800 - 590) / 2)) -ge -1 ] ||
  fail "the tray click showed the window at ($X, $Y), not centred"

# The tray icon's tooltip.
xdotool mousemove 300 300
sleep 0.3
before=$(xdotool search --onlyvisible --name '' | sort)
xdotool mousemove 10 786 sleep 0.2 mousemove 12 788
wait_for 3 bash -c "comm -13 <(echo '$before') <(xdotool search --onlyvisible --name '' | sort) |
  grep -q ." || fail "no tooltip over the tray icon"
tip=$(comm -13 <(echo "$before") <(xdotool search --onlyvisible --name '' | sort) | head -n1)
[ "$(xdotool getwindowname "$tip")" = Corvel ] || fail "the tray tooltip is not 'Corvel'"

# The tray menu (right click): 退出, 隐藏, 注销, 会议, separator, 充值, 话单.
tray_menu() {
  tray_click 3
  xdotool key $(printf 'Down %.0s' $(seq "$1")) Return
  sleep 0.6
}
tray_menu 5  # 充值
tray_menu 6  # 话单
wait_for 3 grep -q 'item=bill' "$CORVEL_URL_LOG" || fail "the tray's 话单 opened no page"
grep -q '/recharge.do' "$CORVEL_URL_LOG" || fail "the tray's 充值 opened no page"
tray_menu 2  # 隐藏
wait_for 3 bash -c "! xdotool search --onlyvisible --name '^Corvel' | grep -qx $main" ||
  fail "the tray's 隐藏 did not hide the window"
client_alive || fail "the tray's 隐藏 ended the client"
[ -n "$SHOTS" ] && { tray_click 3; screenshot root "$SHOTS/window-tray-menu.png"; xdotool key Escape; }
tray_menu 2  # 显示
wait_for 3 main_visible || fail "the tray's 显示 did not show the window"
tray_menu 2  # 隐藏 again: the exit below starts from the tray with the window hidden

# Exit from the tray menu while hidden: one log-off, then the shutdown lines.
logoffs=$(grep -c 'recv .* CMD_LOGOFF' "$log" || true)
tray_menu 1  # 退出
confirm=$(window_named "确认" 10) || fail "no exit confirmation"
eval "$(xdotool getwindowgeometry --shell "$confirm")"
click_in "$confirm" $((WIDTH - 131 + 28)) $((HEIGHT - 35 + 10))
wait_for 10 bash -c "! kill -0 $CLIENT_PID" || fail "the client did not end after exit"
wait "$CLIENT_PID" || fail "the client ended with a failure status"
sleep 0.5
[ $(($(grep -c 'recv .* CMD_LOGOFF' "$log" || true) - logoffs)) -eq 1 ] ||
  fail "the exit sent $(($(grep -c 'recv .* CMD_LOGOFF' "$log") - logoffs)) log-off requests"
trace=$(trace_file)
last=0
for line in "Mail Dialog Exit" "Send Log Off Packet" "Delete UDP Thread" "Delete UDP Service"; do
  at=$(grep -n "$line" "$trace" | tail -n1 | cut -d: -f1)
  [ -n "$at" ] || fail "shutdown line '$line' missing"
  [ "$at" -gt "$last" ] || fail "shutdown line '$line' out of order"
  last=$at
done
echo "PASS: main window handling end to end"
