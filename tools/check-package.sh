#!/usr/bin/env bash
# Builds the Debian package and checks it as Debian's own tools and a user's desktop see it:
#   - lintian: no error, and no warning that the package does not override with its reason;
#   - desktop-file-validate on the launcher, appstreamcli validate on the AppStream entry, and the
#     screenshots it names made by the build (target screenshots) in the sizes it gives;
#   - man -l renders every manual page without a warning, and every program in /usr/bin has one;
#   - the bash completion offers norik-tool's commands and --sort values, and it and the manual
#     page name every command and option of norik-tool --help;
#   - the installed programs, unpacked into a scratch folder, find the base and the vocabulary in
#     /usr/share/norik, and the viewer answers --help without a display.
#
#   tools/check-package.sh [BUILD_DIR]      (build/ unless given; configured already)
#
# The AppStream entry's screenshot addresses are the web site's, where the screenshots go once
# published: the entry is validated without the network (--no-net).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake --build "$build" --parallel "$(nproc)" --target norik norik-tool norik-tool-full sample_base package_files \
    screenshots
rm -f "$build"/norik_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/norik_*.deb)
echo "== $deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() {
    echo "check-package: $*" >&2
    failed=1
}

echo "== lintian"
lintian --fail-on error,warning --show-overrides "$deb" 2>&1 | grep -v "^running with root privileges" \
    || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || fail "lintian reports errors or warnings not overridden"

root=$scratch/root
dpkg-deb -x "$deb" "$root"

echo "== desktop-file-validate, appstreamcli validate"
desktop-file-validate "$root/usr/share/applications/norik.desktop" || fail "the launcher is not valid"
metainfo=$(ls "$root"/usr/share/metainfo/*.metainfo.xml)
appstreamcli validate --no-net --pedantic "$metainfo" || fail "the AppStream entry is not valid"
# Each screenshot the entry names exists in the build, in the size the entry gives.
while read -r image; do
    width=$(sed -n 's/.*width="\([0-9]*\)".*/\1/p' <<<"$image")
    height=$(sed -n 's/.*height="\([0-9]*\)".*/\1/p' <<<"$image")
    file="$build/screenshots/${image##*/}"
    if [ ! -f "$file" ]; then
        fail "the screenshot $file was not made"
    elif [ "$(identify -format '%wx%h' "$file")" != "${width}x${height}" ]; then
        fail "$file is not ${width}x${height}"
    fi
done < <(grep -o '<image [^>]*>[^<]*' "$metainfo")

echo "== manual pages"
for program in "$root"/usr/bin/*; do
    name=$(basename "$program")
    page=$root/usr/share/man/man1/$name.1.gz
    if [ ! -f "$page" ]; then
        fail "no manual page for $name"
        continue
    fi
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$scratch/$name.txt") || true
    [ -z "$warnings" ] || fail "man -l $name.1.gz: $warnings"
    [ -s "$scratch/$name.txt" ] || fail "man -l $name.1.gz renders nothing"
    echo "$name.1.gz: $(wc -l <"$scratch/$name.txt") lines"
done

echo "== bash completion"
completion=$root/usr/share/bash-completion/completions/norik-tool
# What the completion offers for the words typed so far (the last one being completed).
complete_words() {
    bash -c 'source /usr/share/bash-completion/bash_completion; source "$1"; shift
             COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
             _norik_tool; [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
        _ "$completion" "$@"
}
[ "$(complete_words norik-tool list 12 --sort '')" = "date number title type " ] \
    || fail "completion of --sort: $(complete_words norik-tool list 12 --sort '')"
[ "$(complete_words norik-tool --base /srv/base li)" = "links list " ] || fail "completion of a command after --base"
[ -z "$(complete_words norik-tool cat 1)" ] || fail "document numbers are completed"
help=$("$build/norik-tool" --help)
commands=$(sed -n 's/^  norik-tool \(\[--base DIR\] \)\{0,1\}\([a-z-]*\).*/\2/p' <<<"$help" | sort -u | tr '\n' ' ')
[ "$(complete_words norik-tool '')" = "$commands" ] \
    || fail "the completion offers $(complete_words norik-tool '') but --help names $commands"
for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -q -- "$option" "$completion" || fail "the completion does not know $option"
    grep -q -- "$option" "$scratch/norik-tool.txt" || fail "the manual page of norik-tool does not name $option"
done
for command in $commands; do
    grep -q "^       $command\b" "$scratch/norik-tool.txt" || fail "the manual page of norik-tool does not describe $command"
done

echo "== the installed programs find their files"
export XDG_CACHE_HOME=$scratch/cache NORIK_ERROR_LOG=$scratch/Norik.err
unset NORIK_VOCABULARY_DIR
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/norik" --help | grep -q "^Usage: norik " \
    || fail "norik --help needs a display or tells nothing"
installed=$("$root/usr/bin/norik-tool" info) || fail "the installed norik-tool does not find its base"
[ "$installed" = "$("$build/norik-tool" --base "$build/data" info)" ] \
    || fail "the installed norik-tool reads another base: $installed"
"$root/usr/bin/norik-tool" sample "$scratch/sample" --documents 5 >/dev/null \
    || fail "the installed norik-tool does not find its vocabulary"

if [ "$failed" -ne 0 ]; then
    echo "check-package: FAILED" >&2
    exit 1
fi
echo "check-package: OK"
