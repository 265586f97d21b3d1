#!/usr/bin/env bash
# Checks the Windows installer under Wine as a user would meet it: installs it silently (/S) into a
# fresh Wine prefix, converts the 384-well export of tests/data with the installed
# morvane-convert.exe into a workbook that must equal, cell for cell, the one the Linux build's
# tool makes, starts the installed morvane.exe in Xvfb until its window shows (a screenshot of it
# is kept), uninstalls silently and checks that nothing is left in the install folder.
#   check-installer.sh INSTALLER LINUX_MORVANE_CONVERT
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
installer=$(realpath "$1")
linux_convert=$(realpath "$2")
work=$(dirname "$installer")/installer-check
source "$here/wine-env.sh"
say() { echo "check-installer: $*"; }

rm -rf "$work"
mkdir -p "$work"
wine_prefix "$work/wine"
folder="$WINEPREFIX/drive_c/Program Files/Morvane"

"$WINE" "$installer" /S
wineserver -w
for file in bin/morvane.exe bin/morvane-convert.exe bin/Qt6Core.dll bin/platforms/qwindows.dll Uninstall.exe; do
    [ -f "$folder/$file" ] || { say "the installer left out $file"; exit 1; }
done
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'Morvane.lnk' | head -n 1)
[ -n "$shortcut" ] || { say "the installer made no Start menu entry"; exit 1; }
say "installed into C:\\Program Files\\Morvane: $(find "$folder" -type f | wc -l) files"
say "Start menu entry: ${shortcut#"$WINEPREFIX/drive_c/"}"

# The same export, by the same name, so that the sheets are named alike.
mkdir -p "$work/windows" "$work/linux"
cp "$root/tests/data/lc480_384_nrd1_calibration.txt" "$work/windows/"
cp "$root/tests/data/lc480_384_nrd1_calibration.txt" "$work/linux/"
"$WINE" "$folder/bin/morvane-convert.exe" -o "$(windows_path "$work/windows/run.xlsx")" \
    "$(windows_path "$work/windows/lc480_384_nrd1_calibration.txt")"
"$linux_convert" -o "$work/linux/run.xlsx" "$work/linux/lc480_384_nrd1_calibration.txt"
/usr/bin/python3 "$here/compare-workbooks.py" "$work/windows/run.xlsx" "$work/linux/run.xlsx"

# The window, on a virtual screen of a laptop's size, until it shows.
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 2
"$WINE" "$folder/bin/morvane.exe" &
program=$!
shown=""
for _ in $(seq 1 60); do
    shown=$(xdotool search --onlyvisible --name 'LightCycler 480|Morvane' 2>/dev/null | head -n 1 || true)
    [ -n "$shown" ] && break
    sleep 1
done
[ -n "$shown" ] || { say "morvane.exe showed no window within 60 s"; exit 1; }
sleep 3
import -window root "$work/morvane-window.png"
say "morvane.exe showed its window '$(xdotool getwindowname "$shown")' (screenshot: $work/morvane-window.png)"
xdotool windowclose "$shown" 2>/dev/null || true
sleep 2
kill "$program" 2>/dev/null || true
wineserver -k 2>/dev/null || true
wineserver -w

# The uninstaller copies itself elsewhere and returns at once; wineserver -w waits for it.
"$WINE" "$folder/Uninstall.exe" /S
wineserver -w
sleep 1
wineserver -w
if [ -e "$folder" ] && [ -n "$(find "$folder" -mindepth 1 -print -quit)" ]; then
    say "left in the install folder after uninstalling:"
    find "$folder" -mindepth 1
    exit 1
fi
[ ! -e "$shortcut" ] || { say "the Start menu entry is left after uninstalling"; exit 1; }
say "uninstalled: nothing is left in the install folder"
