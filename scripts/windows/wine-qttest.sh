#!/usr/bin/env bash
# Runs a Qt Test program under Wine, on the offscreen platform (QT_QPA_PLATFORM's, when set, with
# its options), and prints its report:
#   wine-qttest.sh TEST.exe [ARGUMENTS...]
# Under Wine, Qt Test writes its report only into a file given with -o, and Wine hands the program
# no QT_* variable: WINEQT_QPA_PLATFORM reaches it as QT_QPA_PLATFORM. On Windows the offscreen
# platform takes its fonts from a folder (FreeType), none by default: Debian's DejaVu, as on Linux.
set -uo pipefail
exe=$1
shift
report=$(mktemp --suffix=.txt)
WINEQT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\dejavu' /usr/lib/wine/wine64 "$exe" -o "Z:${report//\//\\},txt" "$@"
status=$?
cat "$report"
rm -f "$report"
exit $status
