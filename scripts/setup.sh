#!/usr/bin/env bash
# Installs every Debian package Corvel needs to build, run and test.
# Safe to run again: apt skips what is already installed.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config ccache clang-format git
  # libraries
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libosip2-dev libbcg729-dev libopencore-amrnb-dev
  portaudio19-dev libasound2-dev libspeexdsp-dev libsndfile1-dev
  libsqlite3-dev libfreexl-dev libxlsxwriter-dev libzip-dev libpugixml-dev mdbtools-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libspandsp-dev
  sox espeak-ng iproute2 util-linux procps python3 strace
  # fuzzing: clang with libFuzzer
  clang libclang-rt-14-dev
  # real peers
  kamailio sip-tester baresip-core linphone-cli
  # headless sound server
  pipewire pipewire-pulse wireplumber pulseaudio-utils libasound2-plugins dbus
  # independent spreadsheet readers and writers
  python3-xlrd python3-xlwt libreoffice-calc-nogui
  # package checks
  lintian desktop-file-utils appstream
  # headless desktop and UI automation, CJK glyphs
  xvfb xdotool trayer x11-apps x11-utils x11-xserver-utils imagemagick fonts-wqy-microhei fonts-noto-cjk
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
echo "setup: installed ${#missing[@]} packages"
