#!/bin/bash
# Peak memory of morvane-convert on the largest raw exports it accepts: the maximum resident set
# size /usr/bin/time -v reports, for a workbook and for RDML, of each export made in a temporary
# folder. Usage: bench/memory/peak.sh [MORVANE_CONVERT]   (default: build/dev/src/cli/morvane-convert)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
convert=${1:-$here/../../build/dev/src/cli/morvane-convert}
convert=$(realpath "$convert")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

run() { # name, then makeexport.py's WELLS CYCLES [options]
    local name=$1
    shift
    local raw=$tmp/raw.txt
    /usr/bin/python3 "$here/makeexport.py" "$raw" "$@"
    local size=$(( $(stat -c %s "$raw") / 1000000 ))
    for format in xlsx rdml; do
        rm -f "$tmp/out.$format"
        local status=0
        /usr/bin/time -v "$convert" -q --plate 384 --channel all -o "$tmp/out.$format" "$raw" >"$tmp/log" 2>&1 ||
            status=$?
        local peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$tmp/log")
        local wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$tmp/log")
        printf '%-40s %4d MB  %-4s  peak %5d MB  %8s  %s\n' "$name" "$size" "$format" $((peak / 1024)) "$wall" \
            "$([ "$status" = 0 ] && echo written || echo refused)"
        [ "$status" = 0 ] || grep -o 'converting this file.*\|more than 1,000,000 readings.*' "$tmp/log" | head -1
    done
    rm -f "$raw"
}

run "96 wells x 45 cycles (a plate)" 96 45
run "384 wells x 9,999 cycles" 384 9999
run "384 x 2,900 cycles x 3 channels" 384 2900 --channels 3
run "384 x 9,999, 70-character sample names" 384 9999 --sample-chars 70
run "1,000,000 wells x 8 cycles" 1000000 8
run "384 wells returning, 90,000 runs x 8" 90000 8 --repeat-plate
run "384 wells returning, 150,000 runs x 8" 150000 8 --repeat-plate
run "384 wells returning, 1,000,000 runs x 8" 1000000 8 --repeat-plate
