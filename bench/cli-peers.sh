#!/usr/bin/env bash
# norik-tool against its peers, whole processes timed side by side in one hyperfine run on a base
# of 16,000 documents (a few of them 5 to 20 MB of RTF):
#   search --text WORD       against sqlite3 with an FTS5 table of the same plain texts (goal: at most 2x)
#   cat N --rtf, the largest entry, against xz --format=lzma -dc of the same LZMA data (goal: at most 1.2x)
#   cat N, a small entry     against gsf cat of the same stream of the container (goal: at least 100x faster)
# The base, the FTS5 database and the raw entry are made once and kept in the work folder (making
# them takes several minutes); the ratios of the medians are printed at the end.
#
# Usage: bench/cli-peers.sh [BUILD_DIR [WORK_DIR]]     (defaults: build, /tmp/norik-cli-peers)
# Needs hyperfine, sqlite3 (with FTS5), xz and gsf (libgsf-bin); tools/install-deps.sh has them.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
work=${2:-/tmp/norik-cli-peers}
tool=$build/norik-tool
word=налог
small=100
runs=${NORIK_BENCH_RUNS:-40}

for program in hyperfine sqlite3 xz gsf; do
    command -v "$program" >/dev/null || { echo "cli-peers: $program is needed" >&2; exit 1; }
done
[ -x "$tool" ] || { echo "cli-peers: no norik-tool in $build (build it first)" >&2; exit 1; }
mkdir -p "$work"
base=$work/base

if [ ! -f "$base/Norik.sdb" ]; then
    echo "Making the base of 16,000 documents in $base ..."
    "$tool" sample "$base" --documents 16000 --seed 1 --large
fi

# The largest entry, by its compressed size in the container.
big=$(gsf list "$base/Norik.sdb" | awk '$1 == "f" { print $2, $3 }' | sort -n | tail -1 | awk '{ print $2 }')
big=${big%.t}
if [ ! -f "$work/$big.lzma" ]; then
    # An entry is the 13-byte .lzma header and the LZMA1 data: the .lzma file format as it stands.
    gsf cat "$base/Norik.sdb" "$big.t" > "$work/$big.lzma"
fi

if [ ! -f "$work/fts.sqlite" ]; then
    echo "Making the FTS5 table of the documents' plain texts (norik-tool cat --text) ..."
    numbers=$( { "$tool" --base "$base" search --status in-force; "$tool" --base "$base" search --status not-in-force; } | sort -n)
    # One record a document, fields and records split by the ASCII unit and record separators.
    for n in $numbers; do
        printf '%s\037' "$n"
        "$tool" --base "$base" cat "$n" --text | tr '\036\037' '  '
        printf '\036'
    done > "$work/texts.records"
    sqlite3 "$work/fts.sqlite.part" <<SQL
CREATE TABLE staging(id INTEGER, body TEXT);
.mode ascii
.import $work/texts.records staging
CREATE VIRTUAL TABLE words USING fts5(body, prefix='2 3');
INSERT INTO words(rowid, body) SELECT id, body FROM staging;
DROP TABLE staging;
VACUUM;
SQL
    mv "$work/fts.sqlite.part" "$work/fts.sqlite"
    rm -f "$work/texts.records"
fi

echo "norik-tool search --text $word finds $("$tool" --base "$base" search --text "$word" | wc -l) documents;" \
     "FTS5 '$word*' finds $(sqlite3 "$work/fts.sqlite" "SELECT count(*) FROM words WHERE words MATCH '$word*'")"
echo "entry $big.t: $(stat -c %s "$work/$big.lzma") bytes, $("$tool" --base "$base" cat "$((10#$big))" --rtf | wc -c) bytes of RTF"

hyperfine -N --warmup 5 --runs "$runs" --export-csv "$work/times.csv" \
    -n norik-search "$tool --base $base search --text $word" \
    -n sqlite-fts5 "sqlite3 $work/fts.sqlite \"SELECT rowid FROM words WHERE words MATCH '$word*' ORDER BY rowid\"" \
    -n norik-cat-large "$tool --base $base cat $((10#$big)) --rtf" \
    -n xz-lzma "xz --format=lzma -dc $work/$big.lzma" \
    -n norik-cat-small "$tool --base $base cat $small" \
    -n gsf-cat "gsf cat $base/Norik.sdb $(printf '%06d' "$small").t"

# The CSV holds command,mean,stddev,median,user,system,min,max (seconds). The goals are on the
# medians of the wall-clock times; the processor times (user + system, means) are printed beside
# them, as they stay steadier on a machine busy with other work.
awk -F, '
    function line(label, ours, peer, goal, atMost,    ratio, met) {
        ratio = ours / peer
        met = atMost ? (ratio <= goal) : (ratio >= goal)
        printf "%-34s %7.2f   (goal: %s %g)  %s\n", label, ratio, (atMost ? "at most" : "at least"), goal, (met ? "met" : "NOT MET")
    }
    NR > 1 { median[$1] = $4; cpu[$1] = $5 + $6 }
    END {
        printf "\n%-18s %12s %12s\n", "command", "median ms", "cpu ms"
        for (name in median) printf "%-18s %12.2f %12.2f\n", name, median[name] * 1000, cpu[name] * 1000
        printf "\nratios of the medians\n"
        line("search / sqlite3 FTS5", median["norik-search"], median["sqlite-fts5"], 2, 1)
        line("cat of the largest entry / xz", median["norik-cat-large"], median["xz-lzma"], 1.2, 1)
        line("gsf cat / cat at 16,000 streams", median["gsf-cat"], median["norik-cat-small"], 100, 0)
        printf "ratios of the processor times\n"
        line("search / sqlite3 FTS5", cpu["norik-search"], cpu["sqlite-fts5"], 2, 1)
        line("cat of the largest entry / xz", cpu["norik-cat-large"], cpu["xz-lzma"], 1.2, 1)
        line("gsf cat / cat at 16,000 streams", cpu["gsf-cat"], cpu["norik-cat-small"], 100, 0)
    }' "$work/times.csv"
