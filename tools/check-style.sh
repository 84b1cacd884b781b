#!/usr/bin/env bash
# Checks the C++ sources in src/, tests/, bench/ and fuzz/ against .clang-format (layout) and
# .clang-tidy (static checks), and fails on any finding.
#
#   tools/check-style.sh [BASE_COMMIT]   the files changed since BASE_COMMIT, committed or not
#                                        (NORIK_BASE_COMMIT gives it too); every file without one,
#                                        or when a check's own configuration changed
#   tools/check-style.sh --fix-format    lays out every file as .clang-format says
#
# clang-tidy reads the compile commands of build-tidy/: a clang configuration with the Qt parts,
# the fuzz targets and the benchmarks, configured only, never built. A changed header is checked
# on its own; otherwise headers are checked through the sources that include them.
# NORIK_STYLE_JOBS sets how many clang-tidy processes run at once (default: nproc).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

pick() { command -v "$1-14" || command -v "$1" || { echo "check-style.sh: $1 is not installed" >&2; exit 1; }; }
format=$(pick clang-format)
tidy=$(pick clang-tidy)
patterns=('src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')

if [ "${1:-}" = "--fix-format" ]; then
    git ls-files -z -- "${patterns[@]}" | xargs -0 "$format" -i
    exit 0
fi

base=${1:-${NORIK_BASE_COMMIT:-}}
files=()
if [ -n "$base" ]; then
    git rev-parse --verify --quiet "$base^{commit}" >/dev/null || { echo "check-style.sh: no commit $base" >&2; exit 1; }
    # A change to what the checks are or how they run concerns every file.
    if git diff --name-only "$base" -- .clang-format .clang-tidy '*/.clang-tidy' tools/check-style.sh | grep -q .; then
        base=
    else
        mapfile -t files < <({ git diff --name-only --diff-filter=d "$base" -- "${patterns[@]}"
                              git ls-files --others --exclude-standard -- "${patterns[@]}"; } | sort -u)
    fi
fi
if [ -z "$base" ]; then
    mapfile -t files < <(git ls-files -- "${patterns[@]}")
fi
if [ ${#files[@]} -eq 0 ]; then
    echo "check-style.sh: no source changed since $base"
    exit 0
fi
echo "check-style.sh: ${#files[@]} files${base:+ changed since $base}"

status=0
if ! layout=$("$format" --dry-run --Werror "${files[@]}" 2>&1); then
    printf '%s\n' "$layout" | sed -n '1,30p' >&2  # sed reads it all: no broken pipe
    echo "check-style.sh: the layout of these files differs from .clang-format" \
        "(tools/check-style.sh --fix-format lays them out):" >&2
    printf '%s\n' "$layout" | sed -n 's/^\([^ :]*\):[0-9]*:[0-9]*: error: .*/  \1/p' | sort -u >&2
    status=1
fi

CC=clang CXX=clang++ cmake -S . -B build-tidy -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DNORIK_FUZZ=ON -DNORIK_UI=ON -DNORIK_BENCH=ON >/dev/null
# Sources are checked in full; headers only when they changed themselves (all of them are reached
# through some source otherwise).
checked=()
for f in "${files[@]}"; do
    case $f in
        *.cpp) checked+=("$f") ;;
        *.h) [ -n "$base" ] && checked+=("$f") ;;
    esac
done
if [ ${#checked[@]} -gt 0 ]; then
    set +e
    printf '%s\0' "${checked[@]}" |
        xargs -0 -n 1 -P "${NORIK_STYLE_JOBS:-$(nproc)}" "$tidy" -p build-tidy --quiet --warnings-as-errors='*' \
            --header-filter="^$root/(src|tests|bench|fuzz)/" 2>&1 | grep -v '^[0-9]* warnings\? \(and [0-9]* errors\? \)\?generated\.$'
    tidy_status=${PIPESTATUS[1]}
    set -e
    if [ "$tidy_status" -ne 0 ]; then
        echo "check-style.sh: clang-tidy found problems (above)" >&2
        status=1
    fi
fi
exit $status
