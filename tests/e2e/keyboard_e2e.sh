#!/usr/bin/env bash
# A person types the password with the soft keyboard: the real client against the development
# service under a private X display, the pointer moved and clicked like a person's (xdotool
# without --window). The account is typed on the keyboard; the password "Key!Demo9" only with
# clicks on the soft keyboard, whose rotated keys are found through the layout the client logs
# (CORVEL_KEYBOARD_LOG). Checks on the way: the keyboard's place below the login window and that
# it follows a drag, the soft Caps Lock switching the X server's Caps Lock on and off, the
# physical Caps Lock changing the labels, and a soft Shift let go of when the keyboard hides.
#   keyboard_e2e.sh CLIENT_FOLDER DEVSERVICE_BINARY [SCREENSHOT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e_lib.sh"

APP_FOLDER=$1
SERVICE_BINARY=$2
SHOTS=${3:-}
E2E_DIR=$(mktemp -d /tmp/corvel-e2e-XXXXXX)
command -v xset >/dev/null || { echo "SKIP: xset (x11-xserver-utils) is not installed"; exit 0; }

start_display
start_service "$SERVICE_BINARY"
make_home "$APP_FOLDER"
export CORVEL_KEYBOARD_LOG="$E2E_DIR/keyboard.log"
start_client "$APP_FOLDER/corvel"

# The keyboard log: a line "show|state|hide shift=S caps=C" for every showing, change of Shift
# or Caps Lock and hiding, then (not for a hiding) "id x y label" per key.
headers() {
  [ -f "$CORVEL_KEYBOARD_LOG" ] || { echo 0; return; }
  grep -cE '^(show|state|hide) ' "$CORVEL_KEYBOARD_LOG" || true
}
last_header() { grep -E '^(show|state|hide) ' "$CORVEL_KEYBOARD_LOG" | tail -n1; }
seen_blocks=0
# Waits for the next block of the log, whose first line must be exactly $1.
next_block() {
  local want=$1 deadline=$((SECONDS + 5))
  while [ $SECONDS -lt $deadline ]; do
    if [ "$(headers)" -gt "$seen_blocks" ]; then
      seen_blocks=$(headers)
      [ "$(last_header)" = "$want" ] && return 0
      fail "the keyboard logged '$(last_header)', expected '$want'"
    fi
    sleep 0.1
  done
  fail "the keyboard did not log '$want'"
}
# The keys of the last logged layout, "id x y label" each.
layout() {
  awk '/^(show|state|hide) / { block = "" } { block = block $0 "\n" } END { printf "%s", block }' \
    "$CORVEL_KEYBOARD_LOG" | tail -n +2
}
# "x y" of the key labelled exactly $1 (label read from the environment: awk -v would eat '\').
place_of_label() {
  layout | want=$1 awk '{ label = $0; sub(/^[0-9]+ [0-9]+ [0-9]+ /, "", label) }
                        label == ENVIRON["want"] { print $2, $3; found = 1 } END { exit !found }'
}
place_of_id() { layout | awk -v id="$1" '$1 == id { print $2, $3; found = 1 } END { exit !found }'; }
click_label() {
  local place
  place=$(place_of_label "$1") || fail "no key labelled '$1' in: $(layout | cut -d' ' -f4 | tr '\n' ' ')"
  read -r x y <<<"$place"
  click_in "$keyboard" "$x" "$y"
}
click_id() {
  local place
  place=$(place_of_id "$1") || fail "no key $1 in the layout"
  read -r x y <<<"$place"
  click_in "$keyboard" "$x" "$y"
}
caps_lock_is() { xset q | grep -qE "Caps Lock: +$1"; }
geometry() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y $WIDTH $HEIGHT"
}
# The keyboard is 450 x 150, centred on the login window, its top 10 pixels above the login
# window's bottom edge.
check_place() {
  local lx ly lw lh kx ky kw kh
  read -r lx ly lw lh <<<"$(geometry "$login")"
  read -r kx ky kw kh <<<"$(geometry "$keyboard")"
  [ "$kw $kh" = "450 150" ] || fail "the keyboard measures ${kw}x$kh"
  [ "$kx" -eq $((lx + (lw - 450) / 2)) ] && [ "$ky" -eq $((ly + lh - 10)) ] ||
    fail "$1: keyboard at $kx,$ky for a login window at $lx,$ly ${lw}x$lh"
}
keyboard_button() { click_in "$login" 251 111; }  # (240,100)-(262,122)

caps_lock_is off || fail "the X server starts with Caps Lock on"
login=$(window_named "欢迎使用Corvel" 15) || fail "the login window did not appear"
sleep 0.5

# Account box at (75,70)-(260,92). The last letter comes after the soft Shift test below.
click_in "$login" 150 81
type_text "key"

keyboard_button
next_block "show shift=0 caps=0"
keyboard=$(window_named "软键盘" 5) || fail "the soft keyboard did not appear"
sleep 0.3
check_place "shown"
first_layout=$(layout)

# The physical Caps Lock: the X server's state, which the labels follow.
xdotool key Caps_Lock
next_block "state shift=0 caps=1"
place_of_label Q >/dev/null || fail "Caps Lock on, but no key shows Q"
! place_of_label q >/dev/null || fail "Caps Lock on, but a key still shows q"
caps_lock_is on || fail "xset does not see the physical Caps Lock"
xdotool key Caps_Lock
next_block "state shift=0 caps=0"
place_of_label q >/dev/null || fail "Caps Lock off again, but no key shows q"

# The soft Shift, then the keyboard hidden: Shift must not stay down for the physical keyboard.
click_id 1027
next_block "state shift=1 caps=0"
place_of_label '!' >/dev/null || fail "Shift down, but no key shows !"
keyboard_button
next_block "hide shift=0 caps=0"
wait_for 5 no_window_named "软键盘" || fail "the keyboard button did not hide the keyboard"
click_in "$login" 150 81
xdotool key End
type_text "s"  # an "S" here would make the account unknown to the service

# Shown again: rotated afresh, at its place, and following the login window when it is dragged.
keyboard_button
next_block "show shift=0 caps=0"
keyboard=$(window_named "软键盘" 5) || fail "the soft keyboard did not come back"
sleep 0.3
check_place "shown again"
[ "$(layout | awk '$1 >= 1224 && $1 < 1324')" = "$(awk '$1 >= 1224 && $1 < 1324' <<<"$first_layout")" ] ||
  fail "the symbol row moved between two showings"
read -r lx ly _ _ <<<"$(geometry "$login")"
xdotool mousemove $((lx + 170)) $((ly + 55)) sleep 0.1 mousedown 1  # bare surface of the window
for _ in 1 2 3 4 5; do
  xdotool mousemove_relative -- 8 -6
  sleep 0.05
done
xdotool mouseup 1
sleep 0.3
read -r nx ny _ _ <<<"$(geometry "$login")"
[ "$nx $ny" = "$((lx + 40)) $((ly - 30))" ] || fail "the login window was not dragged ($lx,$ly to $nx,$ny)"
check_place "after the drag"

# The password with clicks only: K with the soft Caps Lock, ! and D with the soft Shift.
click_in "$login" 150 112  # the password box (75,103)-(233,122)
click_id 1028
next_block "state shift=0 caps=1"
wait_for 5 caps_lock_is on || fail "the soft Caps Lock did not turn the X server's Caps Lock on"
click_label K
click_id 1028
next_block "state shift=0 caps=0"
wait_for 5 caps_lock_is off || fail "the soft Caps Lock did not turn the X server's Caps Lock off"
click_label e
click_label y
click_id 1027
next_block "state shift=1 caps=0"
click_label '!'
click_label D
click_id 1027
next_block "state shift=0 caps=0"
for key in e m o 9; do click_label "$key"; done

if [ -n "$SHOTS" ]; then
  read -r lx ly lw lh <<<"$(geometry "$login")"
  mkdir -p "$SHOTS"
  import -window root "$E2E_DIR/screen.png"
  convert "$E2E_DIR/screen.png" \
    -crop "$((450 + 20))x$((lh + 150 - 10 + 20))+$((lx - 55 - 10))+$((ly - 10))" +repage \
    "$SHOTS/soft-keyboard.png"
fi

click_in "$login" 294 151  # 登录 (263,140)-(326,162)
next_block "hide shift=0 caps=0"
main=$(window_named "Corvel" 10) || fail "the main window did not appear after logging in"
grep -qE 'recv .* CMD_LOGIN\(2\) .* account="keys" password=\*\*\*' "$E2E_DIR/devservice.log" ||
  fail "no login request for the account keys"
grep -qE 'send .* RSP_LOGIN\(4002\) .* status=0 balance="100.00"' "$E2E_DIR/devservice.log" ||
  fail "the service did not accept the password typed on the soft keyboard"
if grep -q "Key!Demo9" "$CORVEL_HOME/log/UdpNetwork.log"; then fail "the password reached the trace log"; fi
caps_lock_is off || fail "Caps Lock was left on"

exit_by_command "$main"
wait_for 10 bash -c "! kill -0 $CLIENT_PID" || fail "the client did not end after exit"
wait "$CLIENT_PID" || fail "the client ended with a failure status"
echo "PASS: soft keyboard end to end"
