#!/usr/bin/env bash
# Regenerates the seed inputs of fuzz/corpus/ that come from a tiny sample base, the fixtures and
# gsf: every file named base-* or fixture-*. The other seeds (hand-written command lines, link
# instructions, symbol names, update folders and what the long fuzzing runs found) are kept as
# they are. The sample base is the same for one build of norik-tool; gsf stamps its containers
# with the time.
#
#   fuzz/make-corpus.sh [BUILD_DIR]     (default build/, which must hold norik-tool)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tool=$root/${1:-build}/norik-tool
corpus=$root/fuzz/corpus
[ -x "$tool" ] || { echo "make-corpus.sh: $tool is not built" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export NORIK_ERROR_LOG=$work/Norik.err NORIK_VOCABULARY_DIR=$root/res/vocabulary

"$tool" sample "$work/base" --documents 2 --seed 5 >/dev/null
"$tool" sample "$work/source" --documents 2 --seed 5 --source >/dev/null
base=$work/base

for target in compound_file directory_balancer entry gif_frames index rtf source_tables symbol_name tables \
              text_table tool_arguments base_update link_target; do
    mkdir -p "$corpus/fuzz_$target"
    rm -f "$corpus/fuzz_$target"/base-* "$corpus/fuzz_$target"/fixture-*
done

# Containers: the sample's, and two written by libgsf (streams on both sides of the mini-stream
# cut-off; a root of many entries for the balancer).
cp "$base/Norik.sdb" "$corpus/fuzz_compound_file/base-Norik.sdb"
cp "$base/Norik.sdb" "$corpus/fuzz_directory_balancer/base-Norik.sdb"
mkdir "$work/streams" "$work/many"
head -c 5000 "$root/tests/fixtures/rtf/lo_law.rtf" >"$work/streams/big"
head -c 300 "$root/tests/fixtures/rtf/richedit_order.rtf" >"$work/streams/small"
for n in 1 2 3 4 5 6 7; do printf 'entry %d' "$n" >"$work/many/00000$n.t"; done
(cd "$work/streams" && gsf createole "$corpus/fuzz_compound_file/fixture-gsf-two-streams.ole" big small >/dev/null 2>&1)
(cd "$work/many" && gsf createole "$corpus/fuzz_directory_balancer/fixture-gsf-seven-entries.ole" ./*.t >/dev/null 2>&1)

# Entries: the two of the sample, as the container holds them.
for n in 000001 000002; do gsf cat "$base/Norik.sdb" "$n.t" >"$corpus/fuzz_entry/base-$n.t"; done

# RTF: the small fixtures, and the head of a sample text (its pictures come later).
cp "$root/tests/fixtures/rtf/richedit_order.rtf" "$corpus/fuzz_rtf/fixture-richedit_order.rtf"
cp "$root/tests/fixtures/rtf/pandoc_decree.rtf" "$corpus/fuzz_rtf/fixture-pandoc_decree.rtf"
head -c 4096 "$work/source/texts/000001.rtf" >"$corpus/fuzz_rtf/base-000001-head.rtf"

# Index files, for the index loader and for the verifier's check of them.
for index in index titidx clasidx typeidx numbidx date_beg work_now; do
    head -c 4096 "$base/$index.ttx" >"$corpus/fuzz_index/base-$index.ttx"
done
for index in titidx clasidx date_beg; do cp "$base/$index.ttx" "$corpus/fuzz_source_tables/base-$index.ttx"; done

# Text tables: one at a time, and all four joined as the table targets expect them.
for table in descript Items typelist; do cp "$base/$table.ttx" "$corpus/fuzz_text_table/base-$table.ttx"; done
head -n 40 "$base/class.ttx" >"$corpus/fuzz_text_table/base-class.ttx"
{
    cat "$base/class.ttx"; printf '\036'; cat "$base/typelist.ttx"; printf '\036'
    cat "$base/descript.ttx"; printf '\036'; cat "$base/Items.ttx"
} >"$corpus/fuzz_tables/base-tables"
{
    cat "$work/source/descript.ttx"; printf '\377'; cat "$work/source/class.ttx"; printf '\377'
    cat "$work/source/typelist.ttx"; printf '\377'; cat "$work/source/Items.ttx"
} >"$corpus/fuzz_source_tables/base-tables"

# GIF: a still image and a two-frame animation with a loop block, delays and a disposal.
printf 'GIF89a\001\000\001\000\200\000\000\000\000\000\377\377\377!\371\004\000\012\000\000\000,\000\000\000\000\001\000\001\000\000\002\002D\001\000;' \
    >"$corpus/fuzz_gif_frames/fixture-still.gif"
frame='\002\002D\001\000'
printf "GIF89a\002\000\001\000\200\000\000\000\000\000\377\377\377!\377\013NETSCAPE2.0\003\001\000\000\000"`
      `"!\371\004\000\005\000\000\000,\000\000\000\000\001\000\001\000\000$frame"`
      `"!\371\004\010\024\000\001\000,\001\000\000\000\001\000\001\000\000$frame;" \
    >"$corpus/fuzz_gif_frames/fixture-two-frames.gif"

echo "seed inputs written to $corpus"
