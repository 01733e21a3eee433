# Helpers for the end-to-end checks: a private X display, the development service, a scratch
# application folder, and the client driven with xdotool like a person. Every process started
# here is stopped by cleanup.
set -euo pipefail
# xdotool matches Chinese window titles only under a UTF-8 locale.
export LC_ALL=C.UTF-8

# An xdotool call can hang (a window that goes away under it, a server that resets): none may
# hold a check up for long.
xdotool() {
  timeout 10 xdotool "$@"  # timeout runs the program, not this function
}
export -f xdotool

e2e_pids=()
e2e_cleanup() {
  for pid in "${e2e_pids[@]:-}"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  sleep 0.2
  for pid in "${e2e_pids[@]:-}"; do
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
  done
  [ -n "${E2E_DIR:-}" ] && [ -z "${E2E_KEEP:-}" ] && rm -rf "$E2E_DIR"
  return 0
}
trap e2e_cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  [ -f "${E2E_DIR:-/nonexistent}/devservice.log" ] && tail -20 "$E2E_DIR/devservice.log" >&2
  exit 1
}

# Waits until the command succeeds, at most $1 seconds.
wait_for() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.2
  done
}

free_udp_port() {
  python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Xvfb picks the display number itself (-displayfd): two checks started at once must never
# share a display, or one check's typing lands in the other's windows.
start_display() {
  command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 0; }
  local number_file="$E2E_DIR/display"
  # -noreset: the server would otherwise reset whenever its last client leaves.
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
  e2e_pids+=($!)
  wait_for 10 test -s "$number_file" || fail "no X display could be started"
  export DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
  wait_for 10 xdpyinfo || fail "the X display $DISPLAY does not answer"
}

# A tray host at the bottom left of the screen; its first icon sits near (12, 788).
start_tray() {
  command -v trayer >/dev/null || { echo "SKIP: trayer is not installed"; exit 0; }
  trayer --edge bottom --align left --widthtype pixel --width 120 --heighttype pixel \
    --height 24 >/dev/null 2>&1 &
  e2e_pids+=($!)
  wait_for 10 xdotool search --onlyvisible --name '^panel$' || fail "the tray host did not start"
}

# Starts the development service on free ports; sets ACCOUNT_PORT, NAT_PORT, CONTROL_PORT.
# Further arguments go to the service (--accounts FILE).
start_service() {
  local binary=$1
  shift
  "$binary" --account-port 0 --nat-port 0 --control-port 0 --callback-id-delay-ms 100 \
    --ports-file "$E2E_DIR/ports" "$@" >/dev/null 2>"$E2E_DIR/devservice.log" &
  e2e_pids+=($!)
  wait_for 10 test -s "$E2E_DIR/ports" || fail "development service did not start"
  local line
  line=$(cat "$E2E_DIR/ports")
  ACCOUNT_PORT=$(sed -E 's/.*account=[0-9.]+:([0-9]+).*/\1/' <<<"$line")
  NAT_PORT=$(sed -E 's/.*nat=[0-9.]+:([0-9]+).*/\1/' <<<"$line")
  CONTROL_PORT=$(sed -E 's/.*control=[0-9.]+:([0-9]+).*/\1/' <<<"$line")
}

# A scratch application folder with the client's sounds and a configuration for the service.
make_home() {
  local app_folder=$1
  export CORVEL_HOME="$E2E_DIR/home"
  mkdir -p "$CORVEL_HOME"
  cp -r "$app_folder/Wave" "$CORVEL_HOME/"
  cat >"$CORVEL_HOME/CorvelConfig.ini" <<INI
[UDP]
Local=127.0.0.1,$(free_udp_port)
Remote=127.0.0.1,$ACCOUNT_PORT
[RTP]
natSvrHost=127.0.0.1
natSvrPort=$NAT_PORT
rtpPort=$(free_udp_port)
[WAVE]
audioDevice=null
[SIP]
sipRegTime=0
INI
  export CORVEL_URL_LOG="$E2E_DIR/urls.log"
}

start_client() {
  local binary=$1
  "$binary" >"$E2E_DIR/client.log" 2>&1 &
  CLIENT_PID=$!
  e2e_pids+=("$CLIENT_PID")
}

# The ids of the visible windows whose title matches all of $1 (an extended regular expression).
# The title is read as window managers show it (_NET_WM_NAME): xdotool's --name matches the legacy
# WM_NAME, which Qt writes in the locale's charset, so in a C locale the Chinese titles are lost.
windows_named() {
  local title=$1 id
  for id in $(xdotool search --onlyvisible --name '' 2>/dev/null || true); do
    [[ "$(xdotool getwindowname "$id" 2>/dev/null)" =~ ^${title}$ ]] && echo "$id"
  done
  return 0
}

no_window_named() {
  [ -z "$(windows_named "$1")" ]
}

# The id of the visible window whose title is exactly $1, waiting up to $2 seconds.
window_named() {
  local title=$1 limit=${2:-10}
  local deadline=$((SECONDS + limit)) id
  while [ $SECONDS -lt $deadline ]; do
    id=$(windows_named "$title" | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# The windows of the client with this pid (Qt names the process in _NET_WM_PID): its main window,
# and its tray icon, a small window inside the tray host.
windows_of() {
  local id
  for id in $(xdotool search --all --onlyvisible --pid "$1" --name "" 2>/dev/null || true); do
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
    if [ "$2" = main ] && [ "$WIDTH" -ge 200 ]; then echo "$id"; return 0; fi
    if [ "$2" = tray ] && [ "$WIDTH" -lt 64 ]; then echo "$id"; return 0; fi
  done
  return 1
}
main_window_of() { windows_of "$1" main; }

# Clicks at (x, y) inside window $1, as a person would.
click_in() {
  local window=$1 x=$2 y=$3
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + x)) $((Y + y)) sleep 0.1 click 1
  sleep 0.2
}

type_text() {
  xdotool type --delay 40 "$1"
  sleep 0.2
}

screenshot() {
  local window=$1 file=$2
  mkdir -p "$(dirname "$file")"
  import -window "$window" "$file"
}

control() {
  "$SERVICE_BINARY" control "127.0.0.1:$CONTROL_PORT" "$@"
}

# Logs in through the login window with account $1 and password $2; prints the main window's id.
log_in() {
  local login
  login=$(window_named "欢迎使用Corvel" 15) || fail "the login window did not appear"
  sleep 0.5
  click_in "$login" 150 81
  xdotool key ctrl+a BackSpace
  type_text "$1"
  click_in "$login" 150 112
  xdotool key ctrl+a BackSpace
  type_text "$2"
  xdotool key Return
  window_named "Corvel.*" 10 || fail "the main window did not appear after logging in"
}

# Clicks the main window's control at its place in the layout (left, top, right, bottom).
click_control() {
  local window=$1 left=$2 top=$3 right=$4 bottom=$5
  click_in "$window" $(((left + right) / 2)) $(((top + bottom) / 2))
}

# The window's title is exactly $2.
title_is() { [ "$(xdotool getwindowname "$1" 2>/dev/null)" = "$2" ]; }

# Clicks key $2 of the dial pad of main window $1 (keys from the layout: columns 14-96, 100-182,
# 186-268; rows from 392, 30 apart).
press_key() {
  local window=$1 key=$2 column row
  case $key in
    '*') column=0 row=3 ;; 0) column=1 row=3 ;; '#') column=2 row=3 ;;
    *) column=$(((key - 1) % 3)) row=$(((key - 1) / 3)) ;;
  esac
  local left=$((14 + column * 86)) top=$((392 + row * 30))
  click_control "$window" "$left" "$top" $((left + 82)) $((top + 26))
}

# The hang-up button of main window $1 (挂断 / 取消 / 拒绝).
hang_up() { click_control "$1" 143 514 268 544; }

# Types number $2 on the dial pad of main window $1 and clicks 呼叫.
dial() {
  local window=$1 number=$2 i
  for ((i = 0; i < ${#number}; i++)); do press_key "$window" "${number:i:1}"; done
  click_control "$window" 14 514 139 544  # 呼叫
}

# The exit command of main window $1: the title bar's exit button, then 确定 in the confirmation.
exit_by_command() {
  click_control "$1" 253 13 268 28
  local confirm
  confirm=$(window_named "确认" 10) || fail "no exit confirmation"
  eval "$(xdotool getwindowgeometry --shell "$confirm")"
  click_in "$confirm" $((WIDTH - 131 + 28)) $((HEIGHT - 35 + 10))
}

# Spoken text $2 as $E2E_DIR/$1.wav, 8 kHz mono, for a microphone played from a file.
speech() {
  espeak-ng -w "$E2E_DIR/$1-spoken.wav" "$2"
  sox "$E2E_DIR/$1-spoken.wav" -r 8000 -c 1 -b 16 -e signed-integer "$E2E_DIR/$1.wav"
}

# Exports the call records of main window $1 to file $2 through the list's menu, as a person
# would; a screenshot of the records tab goes to $3 when given.
export_records() {
  local window=$1 file=$2 shot=${3:-}
  click_control "$window" 142 119 204 145  # 记录
  sleep 0.5
  [ -n "$shot" ] && screenshot "$window" "$shot"
  click_in "$window" 100 185
  xdotool click 3
  sleep 0.5
  xdotool key Up Return
  window_named "导出" 10 >/dev/null || fail "no export dialog"
  sleep 0.5
  type_text "$file"
  xdotool key Return
  wait_for 10 test -s "$file" || fail "the call records were not exported"
}

# Seconds since midnight of a devservice log stamp "hh:mm:ss.mmm".
stamp_seconds() {
  awk -F'[:.]' '{ printf "%.3f\n", $1 * 3600 + $2 * 60 + $3 + $4 / 1000 }' <<<"$1"
}

# The whole local service (tools/localservice under repository $1, with the development service
# binary $2) on free ports; sets service_pid, ports, ACCOUNT_PORT, NAT_PORT and SIP_PORT.
start_local_service() {
  local repo=$1 binary=$2
  "$repo/tools/localservice/local-service" --devservice "$binary" --dir "$E2E_DIR" \
    --account-port 0 --nat-port 0 --control-port 0 --sip-port 0 2>"$E2E_DIR/local-service.log" &
  service_pid=$!
  e2e_pids+=("$service_pid")
  wait_for 30 test -s "$E2E_DIR/ports" ||
    fail "the local service did not start: $(cat "$E2E_DIR/local-service.log")"
  ports=$(cat "$E2E_DIR/ports")
  ACCOUNT_PORT=$(port_of account)
  NAT_PORT=$(port_of nat)
  SIP_PORT=$(port_of sip)
}
# The port named $1 in the local service's ports line.
port_of() { sed -E "s/.*$1=[0-9.]+:([0-9]+).*/\\1/" <<<"$ports"; }

# A client with its own application folder, microphone file and recordings; prints its pid.
start_phone() {
  local name=$1 microphone=$2 home="$E2E_DIR/$1"
  mkdir -p "$home/out"
  cp -r "$APP_FOLDER/Wave" "$home/"
  cat >"$home/CorvelConfig.ini" <<INI
[UDP]
Local=127.0.0.1,$(free_udp_port)
Remote=127.0.0.1,$ACCOUNT_PORT
[RTP]
rtpPort=$(($(free_udp_port) & ~1))
natSvrHost=127.0.0.1
natSvrPort=$NAT_PORT
[WAVE]
audioDevice=file:$microphone,$home/out
; every frame is sent: the pauses between words stay in the recording, where they are compared
silenceValue=0
[SIP]
sipPort=$(free_udp_port)
sipSvrHost=127.0.0.1
sipSvrPort=$SIP_PORT
sipRegTime=40
INI
  CORVEL_HOME="$home" CORVEL_PANEL_LOG="$E2E_DIR/$name-panel.log" \
    CORVEL_URL_LOG="$E2E_DIR/urls.log" "$APP_FOLDER/corvel" >"$E2E_DIR/$name.log" 2>&1 &
  e2e_pids+=($!)
  echo $!
}

# The panel has painted this "number|state|elapsed" line (an extended regular expression).
panel_shows() { grep -qE "^$2\$" "$E2E_DIR/$1-panel.log" 2>/dev/null; }
wait_panel() {
  local phone=$1 line=$2 limit=${3:-15}
  wait_for "$limit" panel_shows "$phone" "$line" ||
    fail "$phone's panel never showed '$line'; it showed: $(tail -5 "$E2E_DIR/$phone-panel.log")"
}

newest_recording() { ls -t "$E2E_DIR/$1"/out/player-*.wav 2>/dev/null | head -n1; }
