#!/usr/bin/env bash
# Builds Corvel and starts it from its portable application folder (build/corvel/). Where the
# configured servers are on this host and nothing answers on their ports, the local service
# (tools/localservice: account server, NAT helper, Kamailio and the demo numbers) runs for the
# session and stops with the client, also on Ctrl+C or a crash.
#   scripts/run.sh            the client (demo account: demo / demo123)
#   scripts/run.sh --second   a second client with its own folder, build/corvel-second/ (demo2)
# CORVEL_HOME, when set, names the application folder instead.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CORVEL_BUILD_DIR:-build}
second=""
if [ "${1:-}" = "--second" ]; then
  second=-second
  shift
fi
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target corvel corvel_sounds corvel-devservice

# The second client's folder: the same sounds, the configuration with ports of its own.
if [ -n "$second" ] && [ -z "${CORVEL_HOME:-}" ]; then
  home="$build/corvel-second"
  mkdir -p "$home"
  cp -r "$build/corvel/Wave" "$home/"
  [ -f "$home/CorvelConfig.ini" ] ||
    sed -e 's/^Local=127\.0\.0\.1,6000/Local=127.0.0.1,6010/' -e 's/^rtpPort=20000/rtpPort=20100/' \
      -e 's/^sipPort=5062/sipPort=5072/' "$build/corvel/CorvelConfig.ini" >"$home/CorvelConfig.ini"
  CORVEL_HOME=$(cd "$home" && pwd)
  export CORVEL_HOME
fi
config="${CORVEL_HOME:-$build/corvel}/CorvelConfig.ini"

# The servers the client will use: host and port of the account server, the SIP registrar and
# the NAT helper (the client's defaults where the file is silent).
read -r account_host account_port sip_host sip_port nat_host nat_port < <(
  python3 - "$config" <<'PY'
import configparser, sys
ini = configparser.ConfigParser(strict=False, interpolation=None, inline_comment_prefixes=(";",))
try:
    ini.read(sys.argv[1], encoding="latin-1")
except configparser.Error:
    pass
def get(section, key, default):
    try:
        return ini.get(section, key).strip() or default
    except (configparser.Error, KeyError):
        return default
remote = [part.strip() for part in get("UDP", "Remote", "").split(",")]
print(remote[0] or "127.0.0.1", remote[1] if len(remote) > 1 and remote[1] else "3905",
      get("SIP", "sipSvrHost", "127.0.0.1"), get("SIP", "sipSvrPort", "5060"),
      get("RTP", "natSvrHost", "127.0.0.1"), get("RTP", "natSvrPort", "10000"))
PY
)
free_here() { [ "$1" = 127.0.0.1 ] && ! ss -Hlun "sport = :$2" | grep -q .; }

parts=()
free_here "$account_host" "$account_port" && [ "$nat_host" = 127.0.0.1 ] ||
  parts+=(--no-account)
free_here "$sip_host" "$sip_port" || parts+=(--no-sip)

service_pid=""
stop_service() {
  [ -n "$service_pid" ] || return 0
  kill "$service_pid" 2>/dev/null || true
  wait "$service_pid" 2>/dev/null || true
}
trap stop_service EXIT

if [ ${#parts[@]} -lt 2 ]; then
  dir="$build/localservice$second"
  control_port=3906
  ss -Hlun "sport = :$control_port" | grep -q . && control_port=0
  # A session of its own: Ctrl+C in the terminal reaches the client, and this script then stops
  # the service in order, rather than every part at once.
  setsid tools/localservice/local-service --devservice "$build/tools/devservice/corvel-devservice" \
    --dir "$dir" --account-port "$account_port" --nat-port "$nat_port" \
    --control-port "$control_port" --sip-port "$sip_port" "${parts[@]}" &
  service_pid=$!
  until [ -s "$dir/ports" ]; do
    kill -0 "$service_pid" 2>/dev/null || { echo "run: the local service did not start" >&2; exit 1; }
    sleep 0.2
  done
  echo "run: local service started (logs in $dir/)"
  echo "run: log in as demo / demo123 (scripts/run.sh --second: demo2); numbers to try:"
  echo "run:   0106000 echo, 0106001 announcement, 0106486 busy, 0106180 rings; 80001002 is demo2"
fi
"$build/corvel/corvel" "$@"
