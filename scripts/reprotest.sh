#!/usr/bin/env bash
# reprotest.sh BUILD: the reproducibility check of the Debian package (make package-check,
# make reprotest). Builds once more, with reprotest and its variations (see
# docs/packaging.md for which and why some are left out), the source package that `make
# package` wrote into BUILD, as anyone holding it would (dpkg-source -x), and fails unless
# that build gives the same .deb files as the first one, byte for byte (reprotest's
# --control-build: the first build stands for its control build; diffoscope shows a
# difference). Runs on this machine (reprotest's null runner), as root. The build leaves
# the tests out (nocheck): the first build ran them, and they change nothing packaged.
#   REPROTEST_VARY   reprotest's --vary (default: all it has but user_group and domain_host)
set -euo pipefail
cd "$(dirname "$0")/.."
first=$(realpath "$1")
jobs=${JOBS:-$(nproc)}
vary=${REPROTEST_VARY:--user_group,-domain_host}
version=$(dpkg-parsechangelog -S Version)
products=("$first"/*.deb)
[[ -f "${products[0]}" ]] || { echo "no package in $first" >&2; exit 1; }

bash scripts/install-deps.sh reprotest disorderfs faketime locales-all diffoscope-minimal \
    dpkg-dev
work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-reprotest.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT
dpkg-source -x "$first/korvani_$version.dsc" "$work/korvani-$version" >/dev/null
# The first build's files as reprotest lays out a build's: beside an empty source-root, all
# at time 0.
mkdir -p "$work/control/source-root"
cp "${products[@]}" "$work/control/"
(cd "$work/control/source-root" && touch -d@0 . .. ../*.deb)
for product in "${products[@]}"; do
    printf '%s: %s bytes, sha256 %s\n' "$(basename "$product")" "$(stat -c %s "$product")" \
        "$(sha256sum <"$product" | cut -d' ' -f1)"
done
echo "== reprotest --vary=$vary, against the first build"
reprotest --vary="$vary" --min-cpus="$jobs" --store-dir="$work/out" \
    --control-build "$work/control" \
    -c "DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b" \
    "$work/korvani-$version" '../*.deb' -- null
