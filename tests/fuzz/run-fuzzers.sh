#!/usr/bin/env bash
# Runs every fuzz target for a bounded time from a scratch copy of its seed corpus
# (the committed corpus is never written to). Any crash, sanitizer report, time-out
# or memory blow-up fails the run; the input that caused it is printed as hex and
# kept in the build folder.
#   usage: run-fuzzers.sh <folder with the fuzz_* executables> [seconds per target]
set -euo pipefail

bin_dir=$(cd "$1" && pwd)
seconds=${2:-15}
here=$(cd "$(dirname "$0")" && pwd)
targets=(profile_read_string profile_read_section number_input version_number)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/korvani-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
artifacts="$bin_dir/artifacts"
mkdir -p "$artifacts"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
summary=()
for target in "${targets[@]}"; do
    corpus="$scratch/$target"
    mkdir -p "$corpus"
    seeds=$(find "$here/corpus/$target" -type f | wc -l)
    cp "$here/corpus/$target"/* "$corpus"/
    log="$scratch/$target.log"
    echo "== fuzz_$target: ${seconds}s from $seeds seeds"
    status=0
    "$bin_dir/fuzz_$target" "$corpus" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    found=$(find "$corpus" -type f | wc -l)
    if [[ $status -ne 0 ]]; then
        failed+=("$target")
        tail -n 60 "$log"
        for input in $(grep -o "$artifacts/$target-[^ ]*" "$log" | sort -u); do
            [[ -f "$input" ]] || continue
            echo "-- failing input $input:"
            od -A d -t x1 -v "$input" | head -n 40
        done
        summary+=("fuzz_$target: FAILED (exit $status) after ${runs:-?} runs")
    else
        summary+=("fuzz_$target: ${runs:-?} runs, ${speed:-?} runs/s, corpus $seeds -> $found inputs")
    fi
done

echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
if [[ ${#failed[@]} -ne 0 ]]; then
    echo "fuzzing failed: ${failed[*]}"
    exit 1
fi
echo "fuzzing: all ${#targets[@]} targets ran clean"
