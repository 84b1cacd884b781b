#!/usr/bin/env bash
# Takes the viewer's screenshots for its AppStream entry: the viewer started on a base under a
# virtual X display (Xvfb) as a user starts it, once at the classifier and once with a document's
# text open, each screen saved as a PNG when the window is drawn.
#
#   tools/make-screenshots.sh BUILD_DIR BASE_DIR OUT_DIR WIDTHxHEIGHT
#
# Writes OUT_DIR/norik-classifier.png and OUT_DIR/norik-document.png. Needs xvfb-run and
# ImageMagick. The viewer runs with a home folder of its own, so no settings, cache or error log
# of the user are touched.
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 BUILD_DIR BASE_DIR OUT_DIR WIDTHxHEIGHT" >&2; exit 2; }
build=$(realpath "$1")
base=$(realpath "$2")
mkdir -p "$3"
out=$(realpath "$3")
size=$4
for program in xvfb-run import convert; do
    command -v "$program" >/dev/null || { echo "$0: $program is needed" >&2; exit 1; }
done

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# The desktop-shortcut question of the first run has been answered, as on every later start.
mkdir -p "$home/.config/Velda Document DB"
printf '[Default]\nInstall=1\n' > "$home/.config/Velda Document DB/База документов.conf"

# A document in force, opened at start by its file name (its number in six digits).
number=$("$build/norik-tool" --base "$base" search --status in-force | head -n 1)
[ -n "$number" ] || { echo "$0: the base has no document in force" >&2; exit 1; }
document=$(printf '%06d' "$number")

# One screen: the viewer started with the given arguments, the root window saved once the window
# shows more than a handful of colours (it is drawn) and then once more after a pause, so that
# what loads after the first paint (the status bar's figures) is in the picture.
cat > "$home/shoot.sh" <<'SCRIPT'
set -u
shot=$1; shift
"$@" & pid=$!
drawn=0
for i in $(seq 1 60); do
    sleep 0.5
    import -window root "$shot" 2>/dev/null || continue
    if [ "$(convert "$shot" -format %k info:)" -gt 50 ]; then drawn=1; break; fi
done
sleep 2
[ "$drawn" -eq 1 ] && import -window root "$shot"
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
[ "$drawn" -eq 1 ]
SCRIPT

shoot() {
    local name=$1
    shift
    rm -f "$out/$name"
    HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" XDG_STATE_HOME="$home/.state" \
        LANG=ru_RU.UTF-8 QT_QPA_PLATFORM=xcb timeout 90 \
        xvfb-run -a -s "-screen 0 ${size}x24" sh "$home/shoot.sh" "$out/$name" "$build/norik" --base "$base" "$@" \
        || { echo "$0: the viewer did not come up for $name" >&2; exit 1; }
}
shoot norik-classifier.png
shoot norik-document.png "$document"
echo "screenshots in $out"
