#!/usr/bin/env bash
# The checks on the sources that CI runs, to run before pushing: the formatting (.clang-format)
# of every tracked source under src, tests, bench and fuzz; no function in src longer than 100
# lines; and clang-tidy (.clang-tidy) over src.
# Exits 1 when any of them finds something.
#
#   scripts/check-style.sh             # clang-tidy reads build/ci/compile_commands.json
#   scripts/check-style.sh build/dev   # or another configured build's
#
# clang-tidy needs the build configured (cmake --preset ci) and its generated sources (the
# moc files) made, which a build does. To fix the formatting: clang-format -i FILE...
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
build=$(realpath -m "${1:-build/ci}")
failed=()
start=$SECONDS

echo "== clang-format"
git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' |
    xargs -0 clang-format --dry-run --Werror || failed+=(clang-format)

echo "== function length"
python3 scripts/function-length.py src || failed+=("function length")

echo "== clang-tidy ($((SECONDS - start)) s)"
if [ ! -f "$build/compile_commands.json" ]; then
    echo "no $build/compile_commands.json: configure and build first (cmake --preset ci)"
    failed+=(clang-tidy)
else
    log=$build/clang-tidy.log
    # Headers are reached through each library's include root in the build, hence both paths.
    # -Wno-error: the build's -Werror is for the compiler that builds, not for clang's own warnings.
    run-clang-tidy -quiet -j 2 -p "$build" -extra-arg=-Wno-error \
        -header-filter="^($root/src|$build/src/include)/" "^$root/src/" 2>&1 |
        sed 's/\x1b\[[0-9;]*m//g' >"$log" # it always colours its output
    status=${PIPESTATUS[0]}
    # Each finding once, though a header is seen by many sources.
    findings=$(grep -E '^[^ ]+:[0-9]+:[0-9]+: (warning|error):' "$log" | sort -u)
    if [ -n "$findings" ] || [ $status -ne 0 ]; then
        echo "${findings:-clang-tidy failed (exit status $status); its output: ${log#$root/}}"
        [ -n "$findings" ] && echo "$(wc -l <<<"$findings") findings; the whole output: ${log#$root/}"
        failed+=(clang-tidy)
    fi
fi

echo "== done ($((SECONDS - start)) s)"
if [ ${#failed[@]} -gt 0 ]; then
    echo "style checks FAILED: ${failed[*]}"
    exit 1
fi
echo "style checks passed"
