#!/usr/bin/env bash
# Runs the offscreen widget test programs of a build under valgrind's memcheck, a few at a time,
# and fails when any of them reads or writes memory it must not, branches on an uninitialised
# value, or loses a block for good. Nothing is suppressed. Each program's output is kept in
# BUILD_DIR/memcheck/<program>.log, valgrind's report beside it in <program>.log.valgrind.
#
#   tests/run-memcheck.sh [BUILD_DIR [JOBS]]     (defaults: build, nproc)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=${2:-$(nproc)}

command -v valgrind >/dev/null || { echo "run-memcheck.sh: valgrind is not installed" >&2; exit 1; }
programs=()
for source_dir in tests/*/qt; do
    name=test_$(basename "$(dirname "$source_dir")")_qt
    [ -x "$build/$name" ] || { echo "run-memcheck.sh: $build/$name is not built" >&2; exit 1; }
    programs+=("$name")
done

export QT_QPA_PLATFORM=offscreen
# Qt compiles regular expressions to machine code; memcheck cannot follow that code and reports
# its reads of the pattern's padding. The interpreter gives the same answers.
export QT_ENABLE_REGEXP_JIT=0
mkdir -p "$build/memcheck"

run_one() {
    local name=$1 log=$build/memcheck/$1.log
    local start=$SECONDS
    if valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
            --show-leak-kinds=definite --num-callers=40 \
            --log-file="$log.valgrind" "$build/$name" >"$log" 2>&1; then
        echo "memcheck: $name clean ($((SECONDS - start)) s)"
    else
        local status=$?
        echo "memcheck: $name FAILED (status $status, $((SECONDS - start)) s)" >&2
        cat "$log.valgrind" >&2
        [ "$status" -eq 99 ] || tail -n 40 "$log" >&2
        return 1
    fi
}
export -f run_one
export build
printf '%s\n' "${programs[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one {}'
