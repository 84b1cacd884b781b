#!/usr/bin/env bash
# The full-text index of norik-tool against sqlite3 FTS5 on the full-size sample base (16,000
# documents, a few of them 5 to 20 MB of RTF), side by side in one run:
#   building: norik-tool fulltext (reading the RTF from the container, plain text, Russian stems)
#             against sqlite3 indexing the same plain texts (norik-tool cat --text) in an FTS5
#             table; wall time, peak memory (/usr/bin/time) and the size of each index, beside the
#             size of the plain texts (goals: at most 1.5x FTS5's time and under 90 s; at most the
#             size of the texts; under 300 MB)
#   queries:  one, two and three words and a phrase, the 20 best documents with passages, whole
#             processes timed by hyperfine: search --quick --passages --limit 20 against FTS5 with
#             bm25() and snippet() (goal: median at most 1x)
#   quality:  at least 200 queries made from the base's own texts by WordFormQueries (each word a
#             form that does not occur in the target document while another form of its stem
#             does); recall at 10 of search --quick (word forms) against FTS5 ranked by bm25()
#             (exact forms), and how often search --text finds the target at all (goal: at least
#             95% with forms)
# The base and the plain texts are made once and kept in the work folder (that takes many
# minutes); the indexes are built afresh on every run.
#
# Usage: bench/fulltext-peers.sh [BUILD_DIR [WORK_DIR]]   (defaults: build, /tmp/norik-fulltext-peers)
# NORIK_BENCH_BASE names an existing base of that size to use instead of making one (it gets its
# fulltext/ rebuilt). Needs hyperfine, sqlite3 (with FTS5) and GNU time; the build needs
# -DNORIK_BENCH=ON for WordFormQueries.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
work=${2:-/tmp/norik-fulltext-peers}
tool=$build/norik-tool
picker=$build/WordFormQueries
runs=${NORIK_BENCH_RUNS:-20}
count=${NORIK_BENCH_QUERIES:-200}

for program in hyperfine sqlite3 /usr/bin/time; do
    command -v "$program" >/dev/null || { echo "fulltext-peers: $program is needed" >&2; exit 1; }
done
[ -x "$tool" ] || { echo "fulltext-peers: no norik-tool in $build (build it first)" >&2; exit 1; }
[ -x "$picker" ] || { echo "fulltext-peers: no $picker (configure with -DNORIK_BENCH=ON)" >&2; exit 1; }
mkdir -p "$work"
. "$(dirname "$0")/text-records.sh"
base=${NORIK_BENCH_BASE:-$work/base}

if [ ! -f "$base/Norik.sdb" ]; then
    echo "Making the base of 16,000 documents in $base ..."
    "$tool" sample "$base" --documents 16000 --seed 1 --large
fi

# One record a document: its number, the ASCII unit separator, its plain text, the record separator.
texts=$work/texts.records
if [ ! -f "$texts" ]; then
    echo "Writing the plain texts of the documents (norik-tool cat --text) ..."
    text_records "$tool" "$base" > "$texts.part"
    mv "$texts.part" "$texts"
fi

# --- Building ---------------------------------------------------------------------------------
# GNU time's wall seconds and peak resident kilobytes of a command, one line.
measure() { /usr/bin/time -f '%e %M' -o "$work/time.out" "$@" >/dev/null; cat "$work/time.out"; }

rm -rf "$base/fulltext"
read -r norik_seconds norik_kb < <(measure "$tool" fulltext "$base")
rm -f "$work/fts.sqlite"
read -r fts_seconds fts_kb < <(measure sqlite3 "$work/fts.sqlite" <<SQL
CREATE TABLE staging(id INTEGER, body TEXT);
.mode ascii
.import $texts staging
CREATE VIRTUAL TABLE words USING fts5(body);
INSERT INTO words(rowid, body) SELECT id, body FROM staging;
DROP TABLE staging;
VACUUM;
SQL
)
text_bytes=$(stat -c %s "$texts")
norik_bytes=$(du -sb "$base/fulltext" | awk '{ print $1 }')
fts_bytes=$(stat -c %s "$work/fts.sqlite")
echo
printf '%-28s %10s %12s %14s\n' "building" "seconds" "peak MB" "index bytes"
printf '%-28s %10.1f %12.1f %14d\n' "norik-tool fulltext" "$norik_seconds" "$((norik_kb))e-3" "$norik_bytes"
printf '%-28s %10.1f %12.1f %14d\n' "sqlite3 FTS5" "$fts_seconds" "$((fts_kb))e-3" "$fts_bytes"
printf 'plain texts: %d bytes\n' "$text_bytes"
awk -v a="$norik_seconds" -v b="$fts_seconds" -v s="$norik_bytes" -v t="$text_bytes" -v m="$norik_kb" 'BEGIN {
    printf "build time / FTS5 %.2f (goal: at most 1.5)  %s\n", a / b, (a / b <= 1.5 ? "met" : "NOT MET")
    printf "build wall time %.1f s (goal: under 90)  %s\n", a, (a < 90 ? "met" : "NOT MET")
    printf "index size / plain texts %.2f (goal: at most 1)  %s\n", s / t, (s <= t ? "met" : "NOT MET")
    printf "peak memory %.0f MB (goal: under 300)  %s\n", m / 1024, (m < 300 * 1024 ? "met" : "NOT MET")
}'

# --- Queries ----------------------------------------------------------------------------------
# Each query is one FTS5 also answers in the exact forms typed, so that both rank and cut passages:
# a query FTS5 finds nothing for ("трудового договора работника", which the word forms find in
# hundreds of documents) times an empty answer against a full one.
queries=("договора" "земельного участка" "договора аренды земельного" '"заработной платы"')
names=(one-word two-words three-words phrase)
# The query in the SQL, its quotes escaped for the double-quoted command line hyperfine runs.
fts_sql() {
    echo "SELECT rowid, bm25(words), snippet(words, 0, '<b>', '</b>', '…', 16) FROM words WHERE words MATCH '${1//\"/\\\"}' ORDER BY bm25(words) LIMIT 20"
}
commands=()
for i in "${!queries[@]}"; do
    q=${queries[$i]}
    # The count of every match, which norik-tool says on stderr after the rows it prints.
    found=$("$tool" --base "$base" search --quick "$q" --limit 1 2>&1 >/dev/null | sed -n 's/^Найдено документов: \([0-9]*\).*/\1/p')
    echo "${names[$i]}: norik-tool finds $found," \
         "FTS5 $(sqlite3 "$work/fts.sqlite" "SELECT count(*) FROM words WHERE words MATCH '$q'")"
    commands+=(-n "norik-${names[$i]}" "$tool --base $base search --quick '$q' --passages --limit 20")
    commands+=(-n "fts5-${names[$i]}" "sqlite3 $work/fts.sqlite \"$(fts_sql "$q")\"")
done
hyperfine --shell=bash --warmup 3 --runs "$runs" --export-csv "$work/times.csv" "${commands[@]}" >/dev/null
awk -F, '
    NR > 1 { median[$1] = $4 }
    END {
        printf "\n%-14s %12s %12s %8s\n", "query", "norik ms", "FTS5 ms", "ratio"
        split("one-word two-words three-words phrase", names, " ")
        for (i = 1; i <= 4; ++i) {
            n = median["norik-" names[i]]; f = median["fts5-" names[i]]
            printf "%-14s %12.2f %12.2f %8.2f  (goal: at most 1)  %s\n", names[i], n * 1000, f * 1000, n / f, (n <= f ? "met" : "NOT MET")
        }
    }' "$work/times.csv"

# --- Quality ----------------------------------------------------------------------------------
"$picker" "$count" 1 < "$texts" > "$work/queries.tsv"
forms=0 exact=0 text=0 total=0
while IFS=$'\t' read -r target query; do
    total=$((total + 1))
    if "$tool" --base "$base" search --quick "$query" --limit 10 2>/dev/null | cut -f1 | grep -qx "$target"; then
        forms=$((forms + 1))
    fi
    match=$(printf '"%s" ' $query)
    if sqlite3 "$work/fts.sqlite" "SELECT rowid FROM words WHERE words MATCH '$match' ORDER BY bm25(words) LIMIT 10" | grep -qx "$target"; then
        exact=$((exact + 1))
    fi
    if "$tool" --base "$base" search --text "$query" 2>/dev/null | grep -qx "$target"; then
        text=$((text + 1))
    fi
done < "$work/queries.tsv"
awk -v f="$forms" -v e="$exact" -v t="$text" -v n="$total" 'BEGIN {
    printf "\n%d queries of word forms absent from their target (%s)\n", n, "'"$work/queries.tsv"'"
    printf "recall at 10, search --quick (word forms):  %5.1f%%  (goal: at least 95)  %s\n", 100 * f / n, (f >= 0.95 * n ? "met" : "NOT MET")
    printf "recall at 10, FTS5 bm25 (exact forms):      %5.1f%%\n", 100 * e / n
    printf "target found at all, search --text:         %5.1f%%\n", 100 * t / n
}'
