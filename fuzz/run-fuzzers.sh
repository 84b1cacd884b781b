#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time from its seeds in fuzz/corpus/, a few
# at a time, and fails when any of them finds a crash, a leak, an input that runs too long or
# takes too much memory. New inputs a run finds are kept in BUILD_DIR/corpus/<target>/ for the
# next run; what made a target fail is in BUILD_DIR/artifacts/<target>/ (add it to the seeds once
# fixed).
#
#   fuzz/run-fuzzers.sh [BUILD_DIR [SECONDS [JOBS]]]     (defaults: build-fuzz, 30, nproc)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-30}
jobs=${3:-$(nproc)}
seeds=$PWD/fuzz/corpus

targets=()
for source in fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    [ -x "$build/$name" ] || { echo "run-fuzzers.sh: $build/$name is not built" >&2; exit 1; }
    [ -d "$seeds/$name" ] || { echo "run-fuzzers.sh: no seed inputs in $seeds/$name" >&2; exit 1; }
    targets+=("$name")
done

export NORIK_ERROR_LOG=/dev/null
# new_delete_type_mismatch: Xapian's structural check of an index frees one of libxapian's own
# objects with another size than it was made with; not ours, and not reported.
export ASAN_OPTIONS=detect_leaks=1:new_delete_type_mismatch=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Runs one target; its log is BUILD_DIR/logs/<target>.log.
run_one() {
    local name=$1
    mkdir -p "$build/corpus/$name" "$build/artifacts/$name" "$build/logs"
    # libFuzzer stops itself after the time given; the outer limit catches a run that does not.
    timeout --kill-after=10 $((seconds + 120)) "$build/$name" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$build/artifacts/$name/" \
        "$build/corpus/$name" "$seeds/$name" >"$build/logs/$name.log" 2>&1
}

failed=()
running=()
names=()
for name in "${targets[@]}"; do
    run_one "$name" &
    running+=($!)
    names+=("$name")
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
done
for i in "${!running[@]}"; do
    name=${names[$i]}
    log=$build/logs/$name.log
    if wait "${running[$i]}"; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
        printf '%-26s ok: %s runs, %s\n' "$name" "${runs:-?}" "${cov:-?}"
    else
        failed+=("$name")
        printf '%-26s FAILED (log %s):\n' "$name" "$log"
        grep -E '^==[0-9]+==ERROR|^SUMMARY|^artifact_prefix|Test unit written' "$log" | sed 's/^/    /' || tail -5 "$log"
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]}" >&2
    exit 1
fi
