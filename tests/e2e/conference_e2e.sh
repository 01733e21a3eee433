#!/usr/bin/env bash
# A person holds a conference: opens the conference window from the main window, calls two
# members in by typing their numbers, sees both listed with the ids the service gave them,
# loses one when the service reports that member gone, and ends the conference for the other.
#   conference_e2e.sh CLIENT_FOLDER DEVSERVICE_BINARY [SCREENSHOT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/e2e_lib.sh"

APP_FOLDER=$1
SERVICE_BINARY=$2
SHOTS=${3:-}
E2E_DIR=$(mktemp -d /tmp/corvel-e2e-XXXXXX)
log="$E2E_DIR/devservice.log"

# The client's visible window that is exactly $2 pixels wide (the main window 283, the
# conference window 383): its id, now (window_of_width_now) or within 10 s.
window_of_width_now() {
  local id
  for id in $(xdotool search --all --onlyvisible --pid "$1" --name "" 2>/dev/null || true); do
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
    [ "$WIDTH" -eq "$2" ] && { echo "$id"; return 0; }
  done
  return 1
}
window_of_width() {
  wait_for 10 window_of_width_now "$1" "$2" && window_of_width_now "$1" "$2"
}
no_window_of_width() { ! window_of_width_now "$1" "$2" >/dev/null; }
# The main window and the conference window glued to it, in one picture.
both_windows() {
  mkdir -p "$(dirname "$1")"
  import -window root -crop "$((283 + 383 - 2))x590+${main_x}+${main_y}" +repage "$1"
}
# Lines of the service's log that match $1.
count() { grep -cE "$1" "$log" || true; }

start_display
start_service "$SERVICE_BINARY"
make_home "$APP_FOLDER"
start_client "$APP_FOLDER/corvel"

main=$(log_in demo demo123)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$main")"
main_x=$X main_y=$Y

click_control "$main" 168 326 217 352  # 会议
conference=$(window_of_width "$CLIENT_PID" 383) || fail "the conference window did not open"
eval "$(xdotool getwindowgeometry --shell "$conference")"
[ "$X" -eq $((main_x + 283 - 2)) ] && [ "$Y" -eq "$main_y" ] ||
  fail "the conference window is at $X,$Y, not glued to the main window at $main_x,$main_y"

# Dragging the main window by its title takes the glued conference window along; a double-click
# on the conference window fixes it in place, a second frees it with a gap of 2 pixels.
position() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$X $Y"
}
drag_main_by() {
  local dx=$1 dy=$2
  read -r X Y <<<"$(position "$main")"
  xdotool mousemove $((X + 60)) $((Y + 20)) sleep 0.1 mousedown 1
  for _ in 1 2 3 4 5; do
    xdotool mousemove_relative -- "$dx" "$dy"
    sleep 0.05
  done
  xdotool mouseup 1
  sleep 0.3
}
drag_main_by -10 8
read -r main_x main_y <<<"$(position "$main")"
[ "$(position "$conference")" = "$((main_x + 283 - 2)) $main_y" ] ||
  fail "the conference window did not follow the main window: $(position "$conference")"
eval "$(xdotool getwindowgeometry --shell "$conference")"
xdotool mousemove $((X + 300)) $((Y + 20)) sleep 0.1 click --repeat 2 --delay 80 1
sleep 0.3
[ "$(position "$conference")" = "$((main_x + 283 - 2)) $main_y" ] ||
  fail "the first double-click moved the conference window off the main window's side"
eval "$(xdotool getwindowgeometry --shell "$conference")"
xdotool mousemove $((X + 300)) $((Y + 20)) sleep 0.1 click --repeat 2 --delay 80 1
sleep 0.3
[ "$(position "$conference")" = "$((main_x + 283 + 2)) $main_y" ] ||
  fail "the second double-click did not free the window 2 pixels off: $(position "$conference")"
drag_main_by 4 4
read -r main_x main_y <<<"$(position "$main")"
[ "$(position "$conference")" = "$((main_x + 283 - 2)) $main_y" ] ||
  fail "the freed conference window did not follow the main window: $(position "$conference")"

# Two members, typed into the number box (15,40)-(165,60) and called with 呼叫 (175,40)-(235,60).
add_member() {
  local number=$1 joined=$2
  click_in "$conference" 90 50
  type_text "$number"
  click_in "$conference" 205 50
  wait_for 5 grep -qE "recv .* CMD_CALLBACK\(6\) .* number=\"$number\" kind=2 conferenceId=\"CONF[0-9A-F]{16}\"" "$log" ||
    fail "no conference call-back for $number reached the service"
  # The status panel shows the call-back until the service's answer; then the next may go.
  wait_for 5 bash -c "[ \$(grep -cE 'send .* RSP_CALLBACK\(4006\)' '$log') -ge $joined ]" ||
    fail "the service did not answer the call-back for $number"
  sleep 0.5
}
add_member 13912345678 1
add_member 02166667777 2
code=$(grep -oE 'conferenceId="CONF[0-9A-F]{16}"' "$log" | sort -u | sed -E 's/.*"(.*)"/\1/')
[ "$(wc -l <<<"$code")" -eq 1 ] || fail "the two members were called into different conferences: $code"
title_is "$conference" "$code" || fail "the conference window's title is not the code $code"
listed=$(control conference demo)
[[ "$listed" == "ok $code: 13912345678/0x2001 02166667777/0x2002" ]] ||
  fail "the service has not joined both members: $listed"
[ -n "$SHOTS" ] && both_windows "$SHOTS/conference-two-members.png"

# The rows carry the ids the service gave: 禁止发言 from the list's menu names the member and its
# id in its packet. The first row lies under the list's header, which starts at y 65; the
# service's notice that the first member left brings the second one up into its place.
mute_first_row() {
  click_in "$conference" 60 97
  xdotool click 3
  sleep 0.5
  xdotool key Down Down Return  # 退出会议, (separator), 禁止发言
  sleep 0.5
}
mute_first_row
wait_for 5 grep -qE 'recv .* CMD_CONF_MEMBER\(10\) .* form=short op=2 phone="13912345678" memberId="8193"' "$log" ||
  fail "the first row did not mute member 13912345678 with id 8193"
[ "$(control conference demo)" = "ok $code: 13912345678/0x2001/muted 02166667777/0x2002" ] ||
  fail "the service did not mute the first member"

control member-left demo 13912345678 8193 >/dev/null || fail "the member-left notice could not be pushed"
sleep 1
mute_first_row
wait_for 5 grep -qE 'recv .* CMD_CONF_MEMBER\(10\) .* form=short op=2 phone="02166667777" memberId="8194"' "$log" ||
  fail "after the first member left, the first row is not member 02166667777 with id 8194"
[ -n "$SHOTS" ] && both_windows "$SHOTS/conference-one-left.png"

# Ending the conference drops only the member still listed.
before=$(count 'recv .* CMD_CONF_MEMBER\(10\) .* op=1 ')
click_in "$conference" 275 50  # 结束会议 (245,40)-(305,60)
wait_for 5 grep -qE 'recv .* CMD_CONF_MEMBER\(10\) .* form=short op=1 phone="02166667777" memberId="8194"' "$log" ||
  fail "结束会议 did not drop member 02166667777"
sleep 1
ends=$(count 'recv .* CMD_CONF_MEMBER\(10\) .* op=1 ')
[ $((ends - before)) -eq 1 ] || fail "结束会议 sent $((ends - before)) end packets, not one"
grep -qE 'recv .* CMD_CONF_MEMBER\(10\) .*receiver=0x2002 .* op=1 ' "$log" ||
  fail "the end packet does not carry the member id as its receiver"
[ "$(control conference demo)" = "ok $code:" ] || fail "members are left in the conference"
# The list is empty: a second 结束会议 sends nothing.
click_in "$conference" 275 50
sleep 1
[ "$(count 'recv .* CMD_CONF_MEMBER\(10\) .* op=1 ')" -eq "$ends" ] || fail "an emptied list still sent"

# The main window's 会议 command hides the conference window, and shows it again.
click_control "$main" 168 326 217 352
wait_for 5 no_window_of_width "$CLIENT_PID" 383 || fail "会议 did not hide the conference window"
click_control "$main" 168 326 217 352
window_of_width "$CLIENT_PID" 383 >/dev/null || fail "会议 did not show the conference window again"

exit_by_command "$main"
wait_for 10 bash -c "! kill -0 $CLIENT_PID" || fail "the client did not end after exit"
wait "$CLIENT_PID" || fail "the client ended with a failure status"
echo "PASS: conference end to end"
