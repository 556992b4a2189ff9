#!/usr/bin/env bash
# The settings writer's cost on a large settings file: an Add and a Delete on a file of
# MB megabytes of "a=" lines by the writer tool (tests/tools/profile_write), each run RUNS
# times; prints the median time and the peak resident memory above the tool's own on a
# small file, as a multiple of the file's size.
#   usage: settings-writer.sh PROFILE_WRITE [MB [RUNS]]     (Linux)
set -u
tool=$1 megabytes=${2:-50} runs=${3:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/Korvani.ini small=$work/Small.ini
printf '[Suffix]\r\nexample.com=\r\n' >"$small"
{ printf '[Suffix]\r\nexample.com=\r\n'; yes $'a=\r' | head -c $((megabytes * 1024 * 1024)); } >"$file"
size=$(stat -c %s "$file")

# Prints "seconds peak_kb" of one call.
measure() { /usr/bin/time -f '%e %M' "$tool" "$@" 2>&1 >/dev/null | tail -1; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

base_kb=$(for _ in $(seq "$runs"); do measure write "$small" Suffix x ""; done | cut -d' ' -f2 | median)
for operation in add delete; do
    results=$(for _ in $(seq "$runs"); do
        if [[ $operation == add ]]; then
            "$tool" delete "$file" Suffix new.example >/dev/null 2>&1
            measure write "$file" Suffix new.example ""
        else
            "$tool" write "$file" Suffix new.example "" >/dev/null || true
            measure delete "$file" Suffix new.example
        fi
    done)
    seconds=$(cut -d' ' -f1 <<<"$results" | median)
    peak_kb=$(cut -d' ' -f2 <<<"$results" | median)
    awk -v op="$operation" -v s="$seconds" -v p="$peak_kb" -v b="$base_kb" -v size="$size" \
        'BEGIN {printf "settings writer: %s on %.1f MB: %.3f s, peak %.2f x size above the base\n",
                op, size / 1048576, s, (p - b) * 1024 / size}'
done
