#!/usr/bin/env bash
# norik-serve against kiwix-serve on the same documents, loaded by wrk in one run.
#
#   bench/serve-peers.sh [BUILD_DIR] [SECONDS]      (defaults: build, 5)
#
# The base is BUILD_DIR/data (the sample base). kiwix-serve serves a ZIM made by zimwriterfs from
# the HTML that "norik-tool cat N --html" writes for every document, so both serve the same pages.
# Measured: requests per second and p50/p99 latency of document pages and of full-text searches at
# 1, 16 and 128 connections; a search storm (16 connections searching common words) against 16
# connections reading pages, whose p99 is compared with the unloaded one; the peak memory (VmHWM)
# of each server. Ratios are norik-serve over kiwix-serve. Needs wrk, kiwix-tools, zim-tools.
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-5}
base=$build/data
work=$(mktemp -d /tmp/norik-serve-peers.XXXXXX)
norik_port=18931
kiwix_port=18932
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
for tool in wrk kiwix-serve zimwriterfs; do
    command -v $tool >/dev/null || { echo "serve-peers.sh: $tool is not installed (tools/install-deps.sh)" >&2; exit 1; }
done

# The documents' numbers: those the document table lists.
documents=$("$build/norik-tool" --base "$base" info | sed -n 's/^Документов: //p')
mkdir -p "$work/html"
numbers=()
for ((n = 1; ${#numbers[@]} < documents && n < 40000; n++)); do
    if "$build/norik-tool" --base "$base" cat "$n" --html > "$work/body" 2>/dev/null; then
        { printf '<!DOCTYPE html><html lang="ru"><head><meta charset="utf-8"><title>%s</title></head><body>' "$n"
          cat "$work/body"; printf '</body></html>\n'; } > "$work/html/$n.html"
        numbers+=("$n")
    fi
done
printf '<!DOCTYPE html><html><head><meta charset="utf-8"><title>База</title></head><body><a href="1.html">1</a></body></html>' > "$work/html/index.html"
# A 48x48 PNG for the ZIM's illustration.
python3 - "$work/html/illustration.png" <<'PY'
import struct, sys, zlib
raw = b''.join(b'\x00' + b'\x80\x80\x80' * 48 for _ in range(48))
def chunk(kind, data): return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
open(sys.argv[1], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 48, 48, 8, 2, 0, 0, 0))
                              + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
PY
zimwriterfs -w index.html -I illustration.png -l rus -t "База документов" -d "Норик" -c Norik -p Norik \
    -n norikbase "$work/html" "$work/base.zim" > "$work/zimwriterfs.log" 2>&1
echo "documents: ${#numbers[@]}, ZIM $(du -k "$work/base.zim" | cut -f1) KiB"

# Both servers; norik-serve's full-text index is made first, so both answer searches from the start.
"$build/norik-tool" fulltext "$base" --if-stale >/dev/null
"$build/norik-serve" --base "$base" --listen 127.0.0.1:$norik_port --access-log - 2>"$work/norik.err" &
pids+=($!)
norik_pid=$!
kiwix-serve --port=$kiwix_port --address=127.0.0.1 "$work/base.zim" >"$work/kiwix.log" 2>&1 &
pids+=($!)
kiwix_pid=$!
for _ in $(seq 100); do
    curl -sf -o /dev/null "http://127.0.0.1:$norik_port/" && curl -sf -o /dev/null "http://127.0.0.1:$kiwix_port/" && break
    sleep 0.2
done
# kiwix-serve names the book after the file ("base"), with or without the namespace by its version.
kiwix_doc=
for prefix in base/A base content/base/A content/base; do
    if curl -sf -o /dev/null "http://127.0.0.1:$kiwix_port/$prefix/1.html"; then kiwix_doc=/$prefix; break; fi
done
[ -n "$kiwix_doc" ] || { echo "serve-peers.sh: kiwix-serve does not serve the pages" >&2; exit 1; }
kiwix_search="/search?content=base&pattern="

# wrk scripts: random documents; common words, %-encoded.
count=${#numbers[@]}
words=$(python3 -c 'import urllib.parse; print(",".join("\"%s\"" % urllib.parse.quote(w) for w in
    "налог закон порядок договор право срок документ федеральный".split()))')
docs_script() {  # FILE PREFIX SUFFIX
    cat > "$1" <<LUA
local prefix, suffix, count = "$2", "$3", $count
math.randomseed(os.time())
request = function() return wrk.format("GET", prefix .. math.random(1, count) .. suffix) end
LUA
}
search_script() {  # FILE PREFIX
    cat > "$1" <<LUA
local prefix = "$2"
local words = {$words}
math.randomseed(os.time())
request = function() return wrk.format("GET", prefix .. words[math.random(1, #words)]) end
LUA
}
# wrk's rps, p50 and p99 in ms.
measure() {  # measure URL CONNECTIONS SCRIPT
    local out
    out=$(wrk -t "$(( $2 < 2 ? 1 : 2 ))" -c "$2" -d "${seconds}s" --timeout 30s --latency -s "$3" "$1" 2>&1)
    local rps p50 p99
    rps=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
    p50=$(awk '$1=="50%" {print $2}' <<<"$out")
    p99=$(awk '$1=="99%" {print $2}' <<<"$out")
    # Answers other than 2xx/3xx (a busy server's 503) are counted apart: they are no pages.
    bad=$(awk '/Non-2xx/ {print $5}' <<<"$out")
    echo "$rps $(to_ms "$p50") $(to_ms "$p99") ${bad:-0}"
}
to_ms() { awk -v v="$1" 'BEGIN { n = v + 0; if (v ~ /us$/) n /= 1000; else if (v ~ /ms$/) n += 0; else if (v ~ /s$/) n *= 1000; printf "%.2f", n }'; }

norik_docs=$work/norik-docs.lua; docs_script "$norik_docs" "/doc/" ""
kiwix_docs=$work/kiwix-docs.lua; docs_script "$kiwix_docs" "$kiwix_doc/" ".html"
norik_search=$work/norik-search.lua; search_script "$norik_search" "/search?q="
kiwix_searchs=$work/kiwix-search.lua; search_script "$kiwix_searchs" "$kiwix_search"
printf '\n%-26s %12s %9s %9s %7s   %12s %9s %9s %7s   %s\n' "load" "norik rps" "p50 ms" "p99 ms" "non-2xx" \
    "kiwix rps" "p50 ms" "p99 ms" "non-2xx" "rps ratio"
for kind in docs search; do
    for c in 1 16 128; do
        if [ $kind = docs ]; then ns=$norik_docs; ks=$kiwix_docs; else ns=$norik_search; ks=$kiwix_searchs; fi
        read -r nr n50 n99 nb <<<"$(measure "http://127.0.0.1:$norik_port" $c "$ns")"
        read -r kr k50 k99 kb <<<"$(measure "http://127.0.0.1:$kiwix_port" $c "$ks")"
        printf '%-26s %12s %9s %9s %7s   %12s %9s %9s %7s   %.2f\n' "$kind, $c connections" "$nr" "$n50" "$n99" "$nb" \
            "$kr" "$k50" "$k99" "$kb" \
            "$(awk -v a="$nr" -v b="$kr" 'BEGIN { print (b > 0 ? a / b : 0) }')"
    done
done

# The storm: 16 connections reading pages alone, then with 16 more searching.
echo
for server in norik kiwix; do
    if [ $server = norik ]; then port=$norik_port; ds=$norik_docs; ss=$norik_search; else port=$kiwix_port; ds=$kiwix_docs; ss=$kiwix_searchs; fi
    read -r _ _ alone _ <<<"$(measure "http://127.0.0.1:$port" 16 "$ds")"
    wrk -t 2 -c 16 -d "$((seconds + 2))s" --timeout 30s -s "$ss" "http://127.0.0.1:$port" >/dev/null 2>&1 &
    storm=$!
    sleep 1
    read -r _ _ loaded _ <<<"$(measure "http://127.0.0.1:$port" 16 "$ds")"
    wait $storm || true
    printf '%-6s page p99 alone %8s ms, during a search storm %8s ms: %.2f times\n' "$server" "$alone" "$loaded" \
        "$(awk -v a="$loaded" -v b="$alone" 'BEGIN { print (b > 0 ? a / b : 0) }')"
done

echo
printf 'peak memory: norik-serve %s, kiwix-serve %s\n' "$(awk '/VmHWM/ {print $2, $3}' /proc/$norik_pid/status)" \
    "$(awk '/VmHWM/ {print $2, $3}' /proc/$kiwix_pid/status)"
