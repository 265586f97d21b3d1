#!/usr/bin/env bash
# The installed layout, in a throw-away Debian 12 root made by debootstrap (run as root, with the
# Debian mirror reachable; nothing is installed on this machine): the package installs with
# apt-get, both programs run from /usr/bin, a conversion works, and apt-get remove leaves none of
# the package's files behind. Usage: scripts/install-test.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
root=$(mktemp -d /tmp/morvane-root.XXXXXX)
chmod 755 "$root" # apt downloads as its own user
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

debootstrap --variant=minbase bookworm "$root" >"$root.log" 2>&1 || { cat "$root.log" >&2; exit 1; }
rm -f "$root.log" "$root/etc/apt/sources.list"
cp -r /etc/apt/sources.list* "$root/etc/apt/"
cp "$deb" "$here/tests/data/lc480_384_nrd1_calibration.txt" "$root/root/"
mount -t proc proc "$root/proc"

chroot "$root" /bin/bash -s "$(basename "$deb")" <<'EOF'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
cd /root
apt-get update -qq
apt-get install -y -qq "./$1" >install.log 2>&1 || { cat install.log >&2; exit 1; }
dpkg -L morvane >files.txt
[ "$(command -v morvane)" = /usr/bin/morvane ] && [ "$(command -v morvane-convert)" = /usr/bin/morvane-convert ]
morvane --version
morvane-convert --version
morvane-convert -q -o run.xlsx lc480_384_nrd1_calibration.txt 2>/dev/null
[ -s run.xlsx ]
morvane-convert --table --wells A1,P24 lc480_384_nrd1_calibration.txt | cut -f1-4
# The window starts with the file and waits for the user (offscreen: this root has no display).
status=0
QT_QPA_PLATFORM=offscreen timeout 5 morvane lc480_384_nrd1_calibration.txt || status=$?
[ "$status" = 124 ] || { echo "morvane ended with status $status" >&2; exit 1; }
apt-get remove -y -qq morvane >remove.log 2>&1 || { cat remove.log >&2; exit 1; }
left=$(while read -r f; do [ -d "$f" ] || [ ! -e "$f" ] || echo "$f"; done <files.txt)
[ -z "$left" ] || { echo "left behind: $left" >&2; exit 1; }
echo "$(grep -c . files.txt) paths installed, none left after removal"
EOF
echo "install test passed: $(basename "$deb")"
