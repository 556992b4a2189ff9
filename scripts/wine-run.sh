#!/usr/bin/env bash
# Runs a Windows program under wine64, quietly and with a time limit: the emulator of
# the Windows build (CMAKE_CROSSCOMPILING_EMULATOR), so ctest runs the tests through it.
# Without WINEPREFIX the run gets a fresh Wine prefix of its own, removed afterwards.
#   usage: wine-run.sh program.exe [arguments...]
#          wine-run.sh --host command [arguments...]  runs a command of this machine with
#                 the prefix set up, so that all its Windows programs share one prefix
#   WINE_TIMEOUT  seconds before the program is ended (default 1200)
set -euo pipefail

wine=/usr/lib/wine/wine64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts: the programs need neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [[ -z ${WINEPREFIX:-} ]]; then
    WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/korvani-wine.XXXXXX")
    export WINEPREFIX
    trap 'timeout 60 "$(dirname "$wine")/wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
    # Make the prefix before any program starts: Windows programs started at once in an
    # empty prefix each begin to make it, and one of them fails.
    timeout 300 "$wine" wineboot --init >/dev/null 2>&1
    timeout 120 "$(dirname "$wine")/wineserver" -w
fi
status=0
if [[ ${1:-} == --host ]]; then
    shift
    "$@" || status=$?
else
    timeout --kill-after=10 "${WINE_TIMEOUT:-1200}" "$wine" "$@" || status=$?
fi
exit "$status"
