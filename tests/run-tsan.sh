#!/usr/bin/env bash
# Runs the window tests that read document texts on worker threads (the text windows, the shell)
# in a thread-sanitizer build, and fails on any data race, lock-order inversion or misuse of a
# lock the sanitizer reports. Qt's own allocations are left out by tests/tsan.supp (Qt is not
# built with the sanitizer). Each program's output is kept in BUILD_DIR/tsan/<program>.log.
#
#   tests/run-tsan.sh [BUILD_DIR]     (default: build-tsan, configured with -DNORIK_TSAN=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tsan}
programs=(test_views_qt test_app_qt)

export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
mkdir -p "$build/tsan"
failed=0
for name in "${programs[@]}"; do
    [ -x "$build/$name" ] || { echo "run-tsan.sh: $build/$name is not built" >&2; exit 1; }
    log=$build/tsan/$name.log
    start=$SECONDS
    if "$build/$name" >"$log" 2>&1 && ! grep -q 'WARNING: ThreadSanitizer' "$log"; then
        echo "tsan: $name clean ($((SECONDS - start)) s)"
    else
        echo "tsan: $name FAILED ($((SECONDS - start)) s)" >&2
        sed -n '/WARNING: ThreadSanitizer/,/^SUMMARY: ThreadSanitizer/p' "$log" | head -n 300 >&2
        grep -E '^\[  FAILED' "$log" >&2 || true
        failed=1
    fi
done
exit "$failed"
