#!/usr/bin/env bash
# The benchmark's pairs under Wine, as a user runs Korvani.exe: on a virtual display
# (Xvfb) through Wine's windows, in a fresh Wine prefix, the output files in its
# temporary folder on this machine's disk.
#   usage: bench-under-wine.sh <korvani_bench.exe> [addresses a run, default 10^8]
set -euo pipefail

bench=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/../scripts/install-deps.sh" wine64 xvfb xauth
export KORVANI_BENCH_PAIRS_ONLY=1 KORVANI_BENCH_LARGE=${2:-100000000} QT_QPA_PLATFORM=windows
WINE_TIMEOUT=7200 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
    bash "$here/../scripts/wine-run.sh" "$bench"
