#!/usr/bin/env bash
# The installed layout, in a throw-away Debian 12 root made by debootstrap (run as root, with the
# Debian mirror reachable; nothing is installed on this machine): the package installs with
# apt-get, both programs run from /usr/bin, a conversion into a new workbook and two more into it
# work (which needs libzip, so the package must depend on it), a workbook layout is read, and
# apt-get remove leaves none of the package's files behind. Usage: scripts/install-test.sh PACKAGE.deb
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
# The shared layout as a workbook, made here: the throw-away root has no Python.
/usr/bin/python3 - "$here/tests/data/layout/lc480_384_nrd1_calibration_layout.tsv" "$root/root/layout.xlsx" <<'PY'
import csv, sys, openpyxl
book = openpyxl.Workbook()
for row in csv.reader(open(sys.argv[1], encoding="utf-8"), delimiter="\t"):
    book.active.append(row)
book.save(sys.argv[2])
PY
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
# Two more sheets into the existing workbook, one named by the workbook layout's samples.
morvane-convert -q -o run.xlsx --sheet second lc480_384_nrd1_calibration.txt 2>/dev/null
morvane-convert -q -o run.xlsx --sheet third --layout layout.xlsx lc480_384_nrd1_calibration.txt 2>/dev/null
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
# Read on this machine, as the root has no Python: three sheets, the third with the layout's names.
/usr/bin/python3 - "$root/root/run.xlsx" <<'PY'
import sys, openpyxl
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
assert len(book.sheetnames) == 3 and "second" in book.sheetnames and "third" in book.sheetnames, book.sheetnames
third = list(book["third"].iter_rows(min_row=2, max_row=2, max_col=2, values_only=True))[0]
print("sheets:", ", ".join(book.sheetnames), "- the third begins", third)
PY
echo "install test passed: $(basename "$deb")"
