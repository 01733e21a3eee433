#!/usr/bin/env bash
# The Debian packages as a user meets them: built from the build tree, inspected (contents,
# lintian, the desktop entry, the AppStream metainfo), installed with apt, the client started
# from its desktop entry's Exec line under a private X display with a fresh home, then removed,
# leaving the user's folder alone. Installs on this machine, so it runs only as root and only
# where no corvel package is installed already.
#   package_test.sh BUILD_FOLDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../e2e/e2e_lib.sh"

BUILD=$(cd "$1" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing a package needs root"; exit 0; }
for tool in apt-get dpkg-deb lintian desktop-file-validate appstreamcli cpack; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
if dpkg-query -W -f='${Status}' corvel 2>/dev/null | grep -q installed; then
  echo "SKIP: a corvel package is installed on this machine already"
  exit 0
fi
E2E_DIR=$(mktemp -d /tmp/corvel-package-XXXXXX)
installed=""
remove_packages() {
  [ -n "$installed" ] && apt-get remove -y -q corvel corvel-devservice >/dev/null 2>&1 || true
  e2e_cleanup
}
trap remove_packages EXIT

# Build.
(cd "$BUILD" && cpack -G DEB -B "$E2E_DIR/out" >"$E2E_DIR/cpack.log" 2>&1) ||
  fail "cpack failed: $(tail -5 "$E2E_DIR/cpack.log")"
client=$(ls "$E2E_DIR"/out/corvel_*_*.deb)
devservice=$(ls "$E2E_DIR"/out/corvel-devservice_*_*.deb)

# Inspect.
contents=$(dpkg-deb -c "$client" | awk '{print $6}')
for path in ./usr/bin/corvel ./usr/share/applications/corvel.desktop \
  ./usr/share/metainfo/net.corvel.Corvel.metainfo.xml ./usr/share/icons/hicolor/48x48/apps/corvel.png \
  ./usr/share/corvel/defaults/CorvelConfig.ini ./usr/share/corvel/defaults/Wave/RingCall.wav \
  ./usr/share/doc/corvel/copyright ./usr/share/doc/corvel/changelog.gz; do
  grep -qx "$path" <<<"$contents" || fail "the client package lacks $path"
done
dpkg-deb -c "$devservice" | awk '{print $6}' | grep -qx ./usr/bin/corvel-devservice ||
  fail "the development service package lacks its binary"
dpkg-deb -f "$client" Depends | grep -q 'libqt6widgets6' ||
  fail "the client's dependencies were not computed: $(dpkg-deb -f "$client" Depends)"
lintian --fail-on error "$client" "$devservice" >"$E2E_DIR/lintian.log" 2>&1 ||
  fail "lintian: $(grep -E '^E:' "$E2E_DIR/lintian.log")"
dpkg-deb -x "$client" "$E2E_DIR/tree"
desktop-file-validate "$E2E_DIR/tree/usr/share/applications/corvel.desktop" ||
  fail "the desktop entry is not valid"
appstreamcli validate --no-net "$E2E_DIR/tree/usr/share/metainfo/net.corvel.Corvel.metainfo.xml" \
  >"$E2E_DIR/appstream.log" 2>&1 || fail "the metainfo is not valid: $(cat "$E2E_DIR/appstream.log")"

# Install.
installed=yes
apt-get install -y -q "$client" "$devservice" >"$E2E_DIR/apt.log" 2>&1 ||
  fail "apt could not install the packages: $(tail -5 "$E2E_DIR/apt.log")"
[ -x /usr/bin/corvel ] && [ -x /usr/bin/corvel-devservice ] || fail "nothing was installed"

# The installed development service finds its accounts.
/usr/bin/corvel-devservice --account-port 0 --nat-port 0 --control-port 0 \
  --ports-file "$E2E_DIR/ports" >/dev/null 2>"$E2E_DIR/devservice.log" &
e2e_pids+=($!)
wait_for 10 test -s "$E2E_DIR/ports" || fail "the installed development service did not start"
grep -q 'accounts from /usr/share/corvel-devservice/accounts.txt' "$E2E_DIR/devservice.log" ||
  fail "the installed development service did not read its accounts"

# Started as a menu would: the desktop entry's Exec line, a fresh home, no working folder of its
# own, nothing of the build in the environment.
start_display
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/corvel.desktop)
home="$E2E_DIR/home"
mkdir -p "$home"
(cd / && env -i HOME="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin LANG=C.UTF-8 \
  CORVEL_AUDIO=null $exec_line >"$E2E_DIR/client.log" 2>&1) &
e2e_pids+=($!)
window_named "欢迎使用Corvel" 20 >/dev/null || fail "the installed client showed no login window"
folder="$home/.local/share/corvel"
[ -f "$folder/CorvelConfig.ini" ] && [ -f "$folder/Wave/RingCall.wav" ] ||
  fail "the user's folder was not seeded from the installed defaults"
pkill -f "^/usr/bin/corvel$|^corvel$" || true
sleep 1

# The user's own files, then an upgrade and a removal: both leave them as they are.
echo "; the user's own line" >>"$folder/CorvelConfig.ini"
echo "remembered" >"$folder/data.dat"
before=$(cd "$folder" && find . -type f -exec md5sum {} + | sort)
# The next version of the same package, as an upgrade would bring it.
dpkg-deb -R "$client" "$E2E_DIR/next"
sed -i 's/^Version: .*/&+next1/' "$E2E_DIR/next/DEBIAN/control"
dpkg-deb -b "$E2E_DIR/next" "$E2E_DIR/next.deb" >/dev/null
apt-get install -y -q "$E2E_DIR/next.deb" >>"$E2E_DIR/apt.log" 2>&1 || fail "the upgrade failed"
dpkg-query -W -f='${Version}' corvel | grep -q 'next1$' || fail "the upgrade did not take place"
apt-get remove -y -q corvel corvel-devservice >>"$E2E_DIR/apt.log" 2>&1 || fail "apt remove failed"
installed=""
[ ! -e /usr/bin/corvel ] || fail "removal left /usr/bin/corvel"
after=$(cd "$folder" && find . -type f -exec md5sum {} + | sort)
[ "$before" = "$after" ] || fail "the upgrade or the removal changed the user's folder"
echo "PASS: the Debian packages"
