#!/usr/bin/env bash
# Installs what is missing, checks the sources' layout and static checks (tools/check-style.sh:
# the files changed since NORIK_BASE_COMMIT when it is set, every file otherwise), builds
# everything in build/ and runs every test: first the core's tests once more in a sanitizer build
# (address, undefined behaviour), then the whole suite, then the window tests under valgrind's
# memcheck and those that read texts on worker threads in a thread-sanitizer build (build-tsan/),
# then every fuzz target for half a minute from its seeds (a clang build in build-fuzz/).
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

./tools/check-style.sh "${NORIK_BASE_COMMIT:-}"

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNORIK_SANITIZE=ON -DNORIK_UI=OFF \
      -DNORIK_BENCH=OFF >/dev/null
cmake --build build-sanitize --parallel "$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --output-on-failure --parallel "$jobs" --timeout 900)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$jobs"
(cd build && ctest --output-on-failure --parallel "$jobs" --timeout 900)
./tests/run-memcheck.sh build "$jobs"

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORIK_TSAN=ON -DNORIK_BENCH=OFF >/dev/null
cmake --build build-tsan --parallel "$jobs" --target test_views_qt test_app_qt
./tests/run-tsan.sh build-tsan

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORIK_FUZZ=ON \
      -DNORIK_UI=OFF -DNORIK_BENCH=OFF >/dev/null
cmake --build build-fuzz --parallel "$jobs" --target fuzz_targets
./fuzz/run-fuzzers.sh build-fuzz "${NORIK_FUZZ_SECONDS:-30}" "$jobs"
