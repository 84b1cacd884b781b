#!/usr/bin/env bash
# Installs what is missing, builds and runs the tests.
#
#   ./test.sh          the quick run a contributor makes many times a day: the one-way order of
#                      the source folders' includes (tools/check-layers.sh), the layout and static
#                      checks of the files changed since the base commit (below), the core's tests
#                      in a sanitizer build (address, undefined behaviour), then the whole suite
#                      in build/
#   ./test.sh --full   what CI runs (.ci/run): the checks over every file, the quick run's builds
#                      and tests, then the Debian package built and checked (lintian, the
#                      launcher, the AppStream entry and its screenshots, the manual pages, the
#                      completion, the installed programs finding their files:
#                      tools/check-package.sh), the window tests under valgrind's memcheck and
#                      those that read texts on worker threads in a thread-sanitizer build
#                      (build-tsan/), then every fuzz target for half a minute from its seeds (a
#                      clang build in build-fuzz/; NORIK_FUZZ_SECONDS sets another time)
#
# The base commit of the quick run's checks is NORIK_BASE_COMMIT when set, otherwise where the
# current branch left main (origin/main in a clone, the local main otherwise); the files changed
# since then, committed or not, are checked.
set -euo pipefail
cd "$(dirname "$0")"

full=0
case "${1:-}" in
    --full) full=1 ;;
    "") ;;
    *) echo "usage: ./test.sh [--full]" >&2; exit 2 ;;
esac

./tools/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

./tools/check-layers.sh
if [ "$full" -eq 1 ]; then
    ./tools/check-style.sh "${NORIK_BASE_COMMIT:-}"
else
    base=${NORIK_BASE_COMMIT:-}
    if [ -z "$base" ]; then
        for main_ref in origin/main main; do
            if git rev-parse --verify --quiet "$main_ref^{commit}" >/dev/null; then
                base=$(git merge-base HEAD "$main_ref")
                break
            fi
        done
    fi
    # Without any main to compare with there is nothing to call a change: every file is checked.
    ./tools/check-style.sh ${base:+"$base"}
fi

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORIK_SANITIZE=ON -DNORIK_UI=OFF \
      -DNORIK_BENCH=OFF >/dev/null
cmake --build build-sanitize --parallel "$jobs"
# Xapian's structural check of an index (run in a child process) frees one of libxapian's own
# objects with another size than it was made with: not ours, and not reported.
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:new_delete_type_mismatch=0 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --output-on-failure --parallel "$jobs" --timeout 900)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$jobs"
(cd build && ctest --output-on-failure --parallel "$jobs" --timeout 900)

[ "$full" -eq 1 ] || exit 0

./tools/check-package.sh build

./tests/run-memcheck.sh build "$jobs"

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORIK_TSAN=ON -DNORIK_BENCH=OFF >/dev/null
cmake --build build-tsan --parallel "$jobs" --target test_views_qt test_app_qt
./tests/run-tsan.sh build-tsan

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORIK_FUZZ=ON \
      -DNORIK_UI=OFF -DNORIK_BENCH=OFF >/dev/null
cmake --build build-fuzz --parallel "$jobs" --target fuzz_targets
./fuzz/run-fuzzers.sh build-fuzz "${NORIK_FUZZ_SECONDS:-30}" "$jobs"
