#!/usr/bin/env bash
# Builds the libFuzzer targets (CMake preset "fuzz": clang, AddressSanitizer and
# UndefinedBehaviorSanitizer), replays the inputs that once broke the program, then runs each
# target for SECONDS (default 30), starting from seeds cut from tests/data (fuzz_xlsxparts: from
# fuzz/seeds, written by fuzz/make_seeds.py). The corpus grows in build/fuzz/corpus/<target> from
# run to run; inputs that crash land in build/fuzz/artifacts/. Exits 1 when any target found a
# fault.
#
#   fuzz/run.sh 30                      # what CI runs
#   fuzz/run.sh 3600                    # an hour per target
#   build/fuzz/fuzz/fuzz_rawfile INPUT  # replay one input
set -euo pipefail
seconds=${1:-30}
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
build=$root/build/fuzz

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

# Seeds: the small exports whole, slices of the large one (the head of a run, the end of a
# plate, a single well), and every workbook fixture plus one the converter writes.
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds/rawfile" "$seeds/workbook" "$seeds/xlsxparts" "$build/artifacts"
data=$root/tests/data
big=$data/lc480_384_nrd1_calibration.txt
cp "$data/lc480_96_example_sample_info.txt" "$seeds/rawfile/sample_info.txt"
head -n 60 "$big" >"$seeds/rawfile/head60.txt"
head -n 2 "$big" >"$seeds/rawfile/tail.txt" && tail -n 120 "$big" >>"$seeds/rawfile/tail.txt"
head -n 2 "$big" >"$seeds/rawfile/a1.txt" && awk -F'\t' '$1 == "A1"' "$big" >>"$seeds/rawfile/a1.txt"
head -n 2 "$big" >"$seeds/rawfile/h12.txt" && awk -F'\t' '$1 == "H12" && n++ < 50' "$big" >>"$seeds/rawfile/h12.txt"
head -n 100 "$data/lc480_96_example_excel_damaged.txt" >"$seeds/rawfile/damaged100.txt"
head -n 2 "$data/lc480_96_example_excel_damaged.txt" >"$seeds/rawfile/damaged_tail.txt"
tail -n 60 "$data/lc480_96_example_excel_damaged.txt" >>"$seeds/rawfile/damaged_tail.txt"
head -n 100 "$data/lc480_96_cycle9999_line50.txt" >"$seeds/rawfile/cycle9999_100.txt"
cp "$root"/fuzz/seeds/xlsxparts/* "$seeds/xlsxparts/"
for f in "$data"/export/*.xls*; do cp "$f" "$seeds/workbook/"; done
"$build/src/cli/morvane-convert" -q -o "$seeds/workbook/converted.xlsx" --wells A1:B3 --sheet converted \
    "$data/lc480_96_example_excel_damaged.txt"

# Inputs that once broke the program, whole (fuzzing cuts its inputs to 64 kB): a cycle out of
# order, ids at the end of their type, and what fuzzing found (found_*).
echo "replaying the regression inputs"
"$build/fuzz/fuzz_rawfile" "$data/lc480_96_cycle9999_line50.txt" "$root"/fuzz/seeds/rawfile/found_*.txt >"$build/replay.log" 2>&1 &&
    "$build/fuzz/fuzz_workbook" "$data"/export/ub_*.xlsx >>"$build/replay.log" 2>&1 &&
    "$build/fuzz/fuzz_xlsxparts" "$root"/fuzz/seeds/xlsxparts/{ub,found}_*.txt >>"$build/replay.log" 2>&1 || {
    echo "a regression input FAILED; the end of the log:"
    tail -n 60 "$build/replay.log"
    exit 1
}

failed=()
for target in fuzz_rawfile fuzz_workbook fuzz_xlsxparts; do
    options=()
    [ -f "$root/fuzz/${target#fuzz_}.dict" ] && options+=("-dict=$root/fuzz/${target#fuzz_}.dict")
    corpus=$build/corpus/$target
    mkdir -p "$corpus"
    log=$build/$target.log
    echo "fuzzing $target for ${seconds}s (log: ${log#$root/})"
    if "$build/fuzz/$target" "$corpus" "$seeds/${target#fuzz_}" -max_total_time="$seconds" -max_len=65536 \
        -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" ${options[@]+"${options[@]}"} \
        >"$log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$log" | tr '\n' ' '
        echo "corpus: $(ls "$corpus" | wc -l) inputs"
    else
        echo "$target FAILED; the end of its log:"
        tail -n 60 "$log"
        failed+=("$target")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found faults in: ${failed[*]} (inputs in ${build#$root/}/artifacts)"
    exit 1
fi
echo "fuzzing: no fault found"
