#!/usr/bin/env bash
# check-reproducible.sh windows BUILD: builds again, later and in a folder of another
# name, what the build folder BUILD holds, and compares the two builds byte for byte. (The
# Debian package's check is scripts/reprotest.sh, with reprotest's variations.)
#   windows  the zip that `make windows` wrote into BUILD, rebuilt by `make windows` in a
#            copy of the source tree (scripts/source-tree.sh), with the same Qt and the same
#            SOURCE_DATE_EPOCH (the last commit's, which make exports).
# Prints each file's size and SHA-256; on a difference, diffoscope (Debian's
# diffoscope-minimal, installed then) shows what differs, and the check fails.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=$1
first=$(realpath "$2")
jobs=${JOBS:-$(nproc)}

log() { printf '== reproducible %s [%dm%02ds] %s\n' "$kind" $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-rebuild.XXXXXX")
trap 'rm -rf "$work"' EXIT
case $kind in
windows)
    products=("$first"/korvani-*-windows-x64.zip)
    [[ -f "${products[0]}" ]] || { echo "no zip in $first" >&2; exit 1; }
    log "rebuilding in $work/korvani-again (SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-unset})"
    bash scripts/source-tree.sh "$work/korvani-again"
    make -C "$work/korvani-again" windows JOBS="$jobs" >"$work/build.log" 2>&1 ||
        { tail -40 "$work/build.log"; exit 1; }
    second=$work/korvani-again/build-windows
    ;;
*)
    echo "usage: check-reproducible.sh windows BUILD" >&2
    exit 2
    ;;
esac
log "built again"

different=()
for product in "${products[@]}"; do
    name=$(basename "$product")
    printf '%s: %s bytes, sha256 %s\n' "$name" "$(stat -c %s "$product")" \
        "$(sha256sum <"$product" | cut -d' ' -f1)"
    if ! cmp -s "$product" "$second/$name"; then
        echo "DIFFERS: $name, built again: $(stat -c %s "$second/$name" 2>/dev/null || echo no) bytes"
        different+=("$name")
    fi
done
if [[ ${#different[@]} -ne 0 ]]; then
    bash scripts/install-deps.sh diffoscope-minimal
    for name in "${different[@]}"; do
        diffoscope --no-progress "$first/$name" "$second/$name" | head -n 400 || true
    done
    echo "reproducible $kind: ${#different[@]} of ${#products[@]} files differ" >&2
    exit 1
fi
log "the same bytes: ${#products[@]} files"
