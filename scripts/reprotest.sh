#!/usr/bin/env bash
# make reprotest: builds the Debian package twice with reprotest, the second build with its
# variations (see docs/packaging.md for which and why some are left out), and fails unless
# both give the same .deb files (diffoscope shows a difference). Runs on this machine
# (reprotest's null runner), as root. The builds leave the tests out (nocheck): the
# package's bytes are what is compared, and make package runs the tests.
#   REPROTEST_VARY   reprotest's --vary (default: all it has but user_group and domain_host)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
vary=${REPROTEST_VARY:--user_group,-domain_host}
version=$(dpkg-parsechangelog -S Version)

bash scripts/install-deps.sh reprotest disorderfs faketime locales-all diffoscope-minimal \
    dpkg-dev
work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-reprotest.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT
bash scripts/source-tree.sh "$work/korvani-$version"
echo "== reprotest --vary=$vary"
reprotest --vary="$vary" --min-cpus="$jobs" --store-dir="$work/out" \
    -c "DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b" \
    "$work/korvani-$version" '../*.deb' -- null
