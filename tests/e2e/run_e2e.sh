#!/usr/bin/env bash
# The newcomer's run command: scripts/run.sh starts the whole local service on the shipped ports,
# a call to the echo number connects and brings the caller's voice back, and nothing of the
# service outlives the client, whether it exits, crashes or is stopped with Ctrl+C. The shipped
# ports are fixed, so this needs a private network namespace and is skipped without one.
#   run_e2e.sh BUILD_FOLDER WAV_MATCH_BINARY
set -euo pipefail
if [ -z "${CORVEL_E2E_NETNS:-}" ]; then
  unshare -n true 2>/dev/null || { echo "SKIP: no private network namespace can be made"; exit 0; }
  exec unshare -n env CORVEL_E2E_NETNS=1 bash -c 'ip link set lo up && exec bash "$0" "$@"' \
    "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$here/e2e_lib.sh"

BUILD=$(cd "$1" && pwd)
WAV_MATCH=$2
E2E_DIR=$(mktemp -d /tmp/corvel-run-e2e-XXXXXX)
for tool in kamailio sipp espeak-ng sox; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
start_display

speech speech "hello, is anybody there, I can hear my own voice coming back"
export CORVEL_HOME="$E2E_DIR/home"
mkdir -p "$CORVEL_HOME"
cp -r "$BUILD/corvel/Wave" "$CORVEL_HOME/"
# The shipped configuration, with the microphone played from a file and the speaker recorded.
sed -e "s|^audioDevice=.*|audioDevice=file:$E2E_DIR/speech.wav,$E2E_DIR/out|" \
  "$BUILD/corvel/CorvelConfig.ini" >"$CORVEL_HOME/CorvelConfig.ini"
export CORVEL_PANEL_LOG="$E2E_DIR/panel.log"

# Starts the run command as a terminal runs it: a session of its own, and the interrupt not
# ignored (a shell ignores it for what it starts in the background).
start_run() {
  rm -f "$BUILD/localservice/ports"
  CORVEL_BUILD_DIR="$BUILD" /usr/bin/python3 -c '
import os, signal, sys
signal.signal(signal.SIGINT, signal.SIG_DFL)
os.setsid()
os.execvp(sys.argv[1], sys.argv[1:])' bash "$repo/scripts/run.sh" >>"$E2E_DIR/run.log" 2>&1 &
  RUN_PID=$!
  e2e_pids+=("$RUN_PID")
  wait_for 60 test -s "$BUILD/localservice/ports" ||
    fail "run.sh started no local service: $(tail -5 "$E2E_DIR/run.log")"
  scratch=$(cat "$BUILD/localservice/scratch")
  main=$(log_in demo demo123) || fail "no main window"
  wait_for 20 title_is "$main" "Corvel[就绪]" ||
    fail "not registered: '$(xdotool getwindowname "$main")'"
}

# After the run command ended: no process of the service and no bound port is left.
nothing_left() {
  local what=$1
  wait_for 15 bash -c "! kill -0 $RUN_PID" || fail "run.sh did not end after $what"
  left() { pgrep -af "$scratch|$BUILD/localservice" || true; }
  wait_for 5 test -z "$(left)" || fail "after $what, still running: $(left)"
  [ ! -e "$scratch" ] || fail "after $what, $scratch is left"
  local bound
  bound=$(ss -Hlun)
  [ -z "$bound" ] || fail "after $what, ports are still bound: $bound"
}

# Exit through the window's exit command.
start_run
dial "$main" 0106000
wait_for 20 grep -qE '^0106000\|通话中\|00:00:0[3-9]$' "$CORVEL_PANEL_LOG" ||
  fail "the echo call did not connect: $(tail -3 "$CORVEL_PANEL_LOG")"
sleep 3
click_control "$main" 143 514 268 544  # 挂断
wait_for 10 grep -qE '^0106000\|通话结束\|$' "$CORVEL_PANEL_LOG" || fail "the call did not end"
"$WAV_MATCH" "$E2E_DIR/speech.wav" "$(ls -t "$E2E_DIR"/out/player-*.wav | head -n1)" ||
  fail "the echo number did not bring the voice back"

# A second client beside the first: its own folder, the first one's service, registered.
CORVEL_HOME="" CORVEL_AUDIO=null CORVEL_BUILD_DIR="$BUILD" bash "$repo/scripts/run.sh" --second \
  >"$E2E_DIR/second.log" 2>&1 &
second_run=$!
e2e_pids+=("$second_run")
xdotool windowmove "$main" 100 100
wait_for 30 pgrep -P "$second_run" -x corvel || fail "run.sh --second started no client"
second_pid=$(pgrep -P "$second_run" -x corvel)
log_in demo2 demo123 >/dev/null
wait_for 10 main_window_of "$second_pid" || fail "no main window for the second client"
second=$(main_window_of "$second_pid")
wait_for 20 title_is "$second" "Corvel[就绪]" ||
  fail "the second client did not register: '$(xdotool getwindowname "$second")'"
[ -f "$BUILD/corvel-second/log/SIPPhone.log" ] || fail "the second client has no folder of its own"
! grep -q 'local service started' "$E2E_DIR/second.log" || fail "the second client started a service"
kill "$second_pid"
wait_for 10 bash -c "! kill -0 $second_run" || fail "run.sh --second did not end"
[ -s "$BUILD/localservice/ports" ] || fail "the second client's end stopped the first one's service"

exit_by_command "$main"
nothing_left "the exit"

# The client crashes.
start_run
client=$(pgrep -P "$RUN_PID" -x corvel) || fail "no client under run.sh"
kill -9 "$client"
nothing_left "a crash of the client"

# Ctrl+C in the terminal: an interrupt for the whole foreground group.
start_run
kill -INT -- "-$RUN_PID"
nothing_left "Ctrl+C"
grep -q 'run: local service started' "$E2E_DIR/run.log" || fail "run.sh did not say what it started"
echo "PASS: the run command's local service"
