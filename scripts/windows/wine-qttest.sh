#!/usr/bin/env bash
# Runs a Qt Test program under Wine, on the offscreen platform, and prints its report:
#   wine-qttest.sh TEST.exe [ARGUMENTS...]
# Under Wine, Qt Test writes its report only into a file given with -o, and Wine hands the program
# no QT_* variable: WINEQT_QPA_PLATFORM reaches it as QT_QPA_PLATFORM.
set -uo pipefail
exe=$1
shift
report=$(mktemp --suffix=.txt)
WINEQT_QPA_PLATFORM=offscreen /usr/lib/wine/wine64 "$exe" -o "Z:${report//\//\\},txt" "$@"
status=$?
cat "$report"
rm -f "$report"
exit $status
