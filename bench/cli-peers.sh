#!/usr/bin/env bash
# norik-tool against its peers, whole processes timed side by side in one hyperfine run on two
# bases of 16,000 documents: one with a few documents of 5 to 20 MB of RTF (--large), one with a
# large vocabulary (--vocabulary: 300,000 words beyond the sample vocabulary, a word index of
# megabytes):
#   search --text WORD       against sqlite3 with an FTS5 table of the same plain texts, on both
#                            bases, a common word and a rare one (goal: at most 1x)
#   cat N --rtf, the largest entry, against xz --format=lzma -dc of the same LZMA data (goal: at most 1.2x)
#   cat N, the first and the last document, against gsf cat of the same stream of the container
#                            (goal: at least 100x faster)
# The bases, the FTS5 databases and the raw entry are made once and kept in the work folder
# (making them takes several minutes); the ratios of the medians are printed at the end.
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
. "$(dirname "$0")/text-records.sh"

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

# make_fts BASE DATABASE: an FTS5 table of the plain texts of every document of BASE.
make_fts() {
    local base=$1 database=$2
    [ -f "$database" ] && return
    echo "Making the FTS5 table of the documents' plain texts of $base (norik-tool cat --text) ..."
    text_records "$tool" "$base" > "$database.records"
    sqlite3 "$database.part" <<SQL
CREATE TABLE staging(id INTEGER, body TEXT);
.mode ascii
.import $database.records staging
CREATE VIRTUAL TABLE words USING fts5(body, prefix='2 3');
INSERT INTO words(rowid, body) SELECT id, body FROM staging;
DROP TABLE staging;
VACUUM;
SQL
    mv "$database.part" "$database"
    rm -f "$database.records"
}
make_fts "$base" "$work/fts.sqlite"

vocab=$work/vocabulary-base
if [ ! -f "$vocab/Norik.sdb" ]; then
    echo "Making the base of 16,000 documents and 300,000 more words in $vocab ..."
    "$tool" sample "$vocab" --documents 16000 --seed 1 --vocabulary 300000
fi
make_fts "$vocab" "$work/fts-vocabulary.sqlite"
# A rare word: the first of the invented words the middle document lists.
rare=$("$tool" --base "$vocab" cat 8000 --text | grep -o 'настоящем документе: [^,.]*' | head -1 | awk '{ print $3 }')
last=$("$tool" --base "$vocab" search --status in-force | tail -1)
[ -n "$rare" ] && [ -n "$last" ] || { echo "cli-peers: no invented word or last document found in $vocab" >&2; exit 1; }

fts_count() { sqlite3 "$1" "SELECT count(*) FROM words WHERE words MATCH '$2*'"; }
echo "norik-tool search --text $word finds $("$tool" --base "$base" search --text "$word" | wc -l) documents;" \
     "FTS5 '$word*' finds $(fts_count "$work/fts.sqlite" "$word")"
echo "on the vocabulary base: $word $("$tool" --base "$vocab" search --text "$word" | wc -l) and" \
     "$(fts_count "$work/fts-vocabulary.sqlite" "$word"); $rare $("$tool" --base "$vocab" search --text "$rare" | wc -l)" \
     "and $(fts_count "$work/fts-vocabulary.sqlite" "$rare"); word index $(stat -c %s "$vocab/index.ttx") bytes"
echo "entry $big.t: $(stat -c %s "$work/$big.lzma") bytes, $("$tool" --base "$base" cat "$((10#$big))" --rtf | wc -c) bytes of RTF"

fts_query() { echo "sqlite3 $1 \"SELECT rowid FROM words WHERE words MATCH '$2*' ORDER BY rowid\""; }
hyperfine -N --warmup 5 --runs "$runs" --export-csv "$work/times.csv" \
    -n norik-search "$tool --base $base search --text $word" \
    -n sqlite-fts5 "$(fts_query "$work/fts.sqlite" "$word")" \
    -n norik-search-vocab "$tool --base $vocab search --text $word" \
    -n sqlite-fts5-vocab "$(fts_query "$work/fts-vocabulary.sqlite" "$word")" \
    -n norik-search-rare "$tool --base $vocab search --text $rare" \
    -n sqlite-fts5-rare "$(fts_query "$work/fts-vocabulary.sqlite" "$rare")" \
    -n norik-cat-large "$tool --base $base cat $((10#$big)) --rtf" \
    -n xz-lzma "xz --format=lzma -dc $work/$big.lzma" \
    -n norik-cat-small "$tool --base $base cat $small" \
    -n gsf-cat "gsf cat $base/Norik.sdb $(printf '%06d' "$small").t" \
    -n norik-cat-last "$tool --base $vocab cat $last" \
    -n gsf-cat-last "gsf cat $vocab/Norik.sdb $(printf '%06d' "$last").t"

# The CSV holds command,mean,stddev,median,user,system,min,max (seconds). The goals are on the
# medians of the wall-clock times; the processor times (user + system, means) are printed beside
# them, as they stay steadier on a machine busy with other work.
awk -F, '
    function line(label, ours, peer, goal, atMost,    ratio, met) {
        ratio = ours / peer
        met = atMost ? (ratio <= goal) : (ratio >= goal)
        printf "%-40s %7.2f   (goal: %s %g)  %s\n", label, ratio, (atMost ? "at most" : "at least"), goal, (met ? "met" : "NOT MET")
    }
    function lines(of, t) {
        line("search / sqlite3 FTS5", of["norik-search"], of["sqlite-fts5"], 1, 1)
        line("search / FTS5, large vocabulary", of["norik-search-vocab"], of["sqlite-fts5-vocab"], 1, 1)
        line("search of a rare word / FTS5", of["norik-search-rare"], of["sqlite-fts5-rare"], 1, 1)
        line("cat of the largest entry / xz", of["norik-cat-large"], of["xz-lzma"], 1.2, 1)
        line("gsf cat / cat of an early document", of["gsf-cat"], of["norik-cat-small"], 100, 0)
        line("gsf cat / cat of the last document", of["gsf-cat-last"], of["norik-cat-last"], 100, 0)
    }
    NR > 1 { median[$1] = $4; cpu[$1] = $5 + $6 }
    END {
        printf "\n%-20s %12s %12s\n", "command", "median ms", "cpu ms"
        for (name in median) printf "%-20s %12.2f %12.2f\n", name, median[name] * 1000, cpu[name] * 1000
        printf "\nratios of the medians\n"
        lines(median)
        printf "ratios of the processor times\n"
        lines(cpu)
    }' "$work/times.csv"
