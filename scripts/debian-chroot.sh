#!/usr/bin/env bash
# debian-chroot.sh SUITE: prints the path of a cached minimal Debian SUITE (bookworm, trixie)
# as a gzipped tar of its root, made with debootstrap from the mirror this machine's apt uses
# when it is missing or stale. It lives in ${XDG_CACHE_HOME:-~/.cache}/korvani/ (beside the
# Windows Qt) under a name that carries the suite and a hash of how it is made (this script
# and the mirror): a change to either makes a new one. One older than CHROOT_MAX_DAYS
# (default 7) is made anew too, so that the packages refreshed on every use (apt-get
# upgrade, in the checks) stay few. The packages apt fetches into a chroot made from it are
# kept in the folder apt-<SUITE>/ beside it (apt_cache prints it), which the checks bind to
# the chroot's /var/cache/apt/archives: each package is downloaded once.
# Needs root (debootstrap).
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."
source scripts/apt-sources.sh

suite=$1
cache=${XDG_CACHE_HOME:-$HOME/.cache}/korvani
max_days=${CHROOT_MAX_DAYS:-7}
debian_mirror
key=$({ cat "$self" scripts/apt-sources.sh; echo "$mirror $security"; } | sha256sum | cut -c1-12)
tarball=$cache/debian-$suite-$key.tar.gz
mkdir -p "$cache" "$cache/apt-$suite"

exec 9>"$cache/debian-$suite.lock"
flock 9
if [[ -f "$tarball" && -n $(find "$tarball" -mtime -"$max_days") ]]; then
    echo "$tarball"
    exit 0
fi

bash scripts/install-deps.sh debootstrap >&2
work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-chroot.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT
echo "debian-chroot: debootstrap $suite from $mirror into $tarball" >&2
# --include: what every check installs anyway and the tests need to start.
debootstrap --variant=minbase "$suite" "$work/root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log" >&2; exit 1; }
rm -f "$work/root/etc/apt/sources.list"
debian_sources "$suite" >"$work/root/etc/apt/sources.list.d/debian.sources"
# No package lists in the tarball: each use fetches the current ones.
rm -rf "$work/root/var/lib/apt/lists/"* "$work/root/var/cache/apt/archives/"*.deb
tar -C "$work/root" --numeric-owner -czf "$work/root.tar.gz" .
rm -f "$cache/debian-$suite"-*.tar.gz
mv "$work/root.tar.gz" "$tarball"
echo "$tarball"
