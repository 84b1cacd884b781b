#!/usr/bin/env bash
# Keeps the folders of src/ in layers that go one way: a file of a folder includes headers of its
# own folder and of the folders below it in the order below, never of a folder above it. A folder's
# qt/ subfolder belongs to its folder's layer; a file outside qt/ subfolders includes no header of
# a qt/ subfolder, so the core stays free of Qt (app/ and views/ are all Qt and are exempt). Fails
# on every include that breaks either rule, and on a folder of src/ missing from the order.
#
#   tools/check-layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# Bottom first. The user interface stands on the window framework (frame/), and the framework on
# the core; nothing below includes anything above it.
layers=(common diagnostics platform Helpers index richtext showdata fulltext search builder sample tools serve frame views app)
# Folders that are Qt throughout, without a qt/ subfolder of their own.
qt_folders=(views app)

declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
declare -A whole_qt
for f in "${qt_folders[@]}"; do whole_qt[$f]=1; done

status=0
for dir in src/*/; do
    dir=${dir#src/}
    dir=${dir%/}
    if [ -z "${rank[$dir]+set}" ]; then
        echo "check-layers.sh: src/$dir/ has no place in the order of layers (tools/check-layers.sh)" >&2
        status=1
    fi
done

# Each line: path:line:#include "folder/...".
while IFS=: read -r file line text; do
    from=${file#src/}
    from=${from%%/*}
    target=${text#*\"}
    target=${target%\"*}
    to=${target%%/*}
    [ "$to" = "$target" ] && continue  # a generated header of the build folder (Version.h)
    [ -n "${rank[$from]+set}" ] || continue  # reported above
    if [ -z "${rank[$to]+set}" ]; then
        echo "$file:$line: includes $target, of no folder in the order of layers" >&2
        status=1
    elif [ "${rank[$to]}" -gt "${rank[$from]}" ]; then
        echo "$file:$line: $from/ includes $target of $to/, a layer above it" >&2
        status=1
    fi
    if [[ $target == */qt/* && $file != */qt/* && -z ${whole_qt[$from]+set} ]]; then
        echo "$file:$line: a file outside qt/ includes the Qt header $target" >&2
        status=1
    fi
done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' src)

if [ "$status" -ne 0 ]; then
    echo "check-layers.sh: the order of the layers, bottom first: ${layers[*]}" >&2
fi
exit $status
