# Sourced by the peer benchmarks. text_records TOOL BASE writes one record for each document of BASE
# to standard output: its number, the ASCII unit separator, its plain text (norik-tool cat --text,
# any separator characters in it made blanks), the ASCII record separator.
text_records() {
    local tool=$1 base=$2 numbers n
    numbers=$( { "$tool" --base "$base" search --status in-force; "$tool" --base "$base" search --status not-in-force; } | sort -n)
    for n in $numbers; do
        printf '%s\037' "$n"
        "$tool" --base "$base" cat "$n" --text | tr '\036\037' '  '
        printf '\036'
    done
}
