#!/usr/bin/env bash
# make debian-check: Debian's own checks of the package, on Debian 12 and 13, as root.
#   blhc         on the package build's log: every compile and link had Debian's build flags
#   autopkgtest  debian/tests on the installed package (the chroot runner, in a chroot made
#                from the cached minimal system)
#   piuparts     install, purge, install again, remove and purge in a clean chroot (no file
#                left, none changed); then, from a repository holding an older build
#                (the same package with a lower version, see old_package), install that,
#                keep a user's own list and an administrator's edit of
#                /etc/korvani/Korvani.ini, upgrade to this build, check both kept, purge
# The packages, each with its build log: Debian 12's from build-package/ (make package, which
# make package-check runs just before in CI), Debian 13's from build-package-trixie/ (make
# check-debian13 leaves it there), or from $DEBIAN12_PACKAGES and $DEBIAN13_PACKAGES; a
# missing one is built without its tests, Debian 13's in the cached chroot.
# The minimal systems are cached (scripts/debian-chroot.sh), the packages apt fetches too;
# each use starts from a copy and refreshes its packages. Everything that mounts runs in a
# mount and PID namespace of its own.
#   DEBIAN_CHECK_SUITES   the releases (default "bookworm trixie")
#   DEBIAN_CHECKS         the checks (default "blhc autopkgtest piuparts")
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."
source scripts/apt-sources.sh

suites=${DEBIAN_CHECK_SUITES:-bookworm trixie}
checks=${DEBIAN_CHECKS:-blhc autopkgtest piuparts}
jobs=${JOBS:-$(nproc)}
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg --print-architecture)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/korvani

log() { printf '== debian-check [%dm%02ds] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }

# --- Inside a namespace: a chroot from the cached tarball, mounted, with apt's cache. ------
if [[ "${1:-}" == --in-chroot ]]; then
    # --in-chroot TARBALL APT_CACHE SHARED COMMAND...: COMMAND runs outside the chroot with
    # $root naming it; the folder SHARED (none when empty) is the chroot's /mnt.
    tarball=$2 apt_cache=$3 shared=$4
    shift 4
    root=$(mktemp -d "${TMPDIR:-/tmp}/korvani-chroot.XXXXXX")
    unmount_all() {
        local mount
        for mount in mnt var/cache/apt/archives dev sys proc; do
            ! mountpoint -q "$root/$mount" || umount -R "$root/$mount" || umount -lR "$root/$mount"
        done
        rm -rf --one-file-system "$root"
    }
    trap unmount_all EXIT
    tar -C "$root" -xzf "$tarball"
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --rbind /dev "$root/dev"
    mount --make-rslave "$root/dev"
    mount --bind "$apt_cache" "$root/var/cache/apt/archives"
    [[ -z "$shared" ]] || mount --bind "$shared" "$root/mnt"
    export root
    "$@"
    exit
fi

[[ $(id -u) -eq 0 ]] || { echo "debian-check: run as root (chroot, piuparts)" >&2; exit 1; }
bash scripts/install-deps.sh autopkgtest piuparts blhc debootstrap dpkg-dev
debian_mirror
work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-debian-check.XXXXXX")
[[ -n "${KEEP_WORK:-}" ]] || trap 'rm -rf --one-file-system "$work"' EXIT
chmod 755 "$work"

# in_chroot SUITE SHARED COMMAND: COMMAND (a shell text) runs as root inside a fresh chroot
# of SUITE, the folder SHARED as its /mnt.
in_chroot() {
    local suite=$1 shared=$2 tarball
    shift 2
    tarball=$(bash scripts/debian-chroot.sh "$suite")
    unshare --mount --pid --fork --kill-child --propagation private -- \
        bash "$self" --in-chroot "$tarball" "$cache/apt-$suite" "$shared" \
        bash -c 'chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
                     DEBIAN_FRONTEND=noninteractive PATH=/usr/sbin:/usr/bin:/sbin:/bin \
                     bash -euo pipefail -c "$1"' bash "$*"
}

# The package of each release, with its build log; made when missing.
packages() {
    case $1 in
    bookworm) echo "${DEBIAN12_PACKAGES:-build-package}" ;;
    trixie) echo "${DEBIAN13_PACKAGES:-build-package-trixie}" ;;
    esac
}
ensure_package() {
    local suite=$1 folder
    folder=$(packages "$suite")
    [[ -f "$folder/korvani_${version}_$arch.deb" && -f "$folder/korvani_${version}_$arch.build" ]] &&
        return
    log "$suite: no package in $folder/, building it (without its tests)"
    if [[ $(. /etc/os-release && echo "$VERSION_CODENAME") == "$suite" ]]; then
        DEB_BUILD_OPTIONS=nocheck make package JOBS="$jobs" >"$work/package-$suite.log" 2>&1 ||
            { tail -40 "$work/package-$suite.log"; exit 1; }
        return
    fi
    mkdir -p "$work/$suite-build"
    cp -a "$work/source" "$work/$suite-build/korvani-$version"
    in_chroot "$suite" "$work/$suite-build" "
        apt-get update -qq && apt-get upgrade -y -qq >/dev/null
        apt-get install -y -qq --no-install-recommends build-essential >/dev/null
        cd /mnt/korvani-$version && apt-get build-dep -y -qq ./ >/dev/null
        DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b -J$jobs 2>&1 |
            tee ../korvani_${version}_$arch.build >/dev/null" ||
        { tail -40 "$work/$suite-build/korvani_${version}_$arch.build"; exit 1; }
    rm -rf "$folder" && mkdir -p "$folder"
    cp "$work/$suite-build"/korvani*.{deb,build} "$folder/"
}

# The older build for the upgrade: this package with only its version lowered
# (1.4.0 becomes 1.4.0~old1), in a local repository.
old_package() {
    local deb=$1 repo=$2 unpacked=$2.unpacked
    rm -rf "$unpacked" "$repo" && mkdir -p "$repo"
    dpkg-deb -R "$deb" "$unpacked"
    sed -i "s/^Version: .*/Version: $version~old1/" "$unpacked/DEBIAN/control"
    dpkg-deb --root-owner-group -Zxz -b "$unpacked" "$repo/korvani_$version~old1_$arch.deb" >/dev/null
    (cd "$repo" && dpkg-scanpackages --multiversion . >Packages 2>/dev/null)
}

# check_suite SUITE: the checks of one release; each failure adds a line to $work/failures.
check_suite() {
    local suite=$1 folder deb out tarball repo
    ensure_package "$suite"
    folder=$(realpath "$(packages "$suite")")
    deb=$folder/korvani_${version}_$arch.deb
    if [[ " $checks " == *" blhc "* ]]; then
        log "$suite: blhc on $folder/korvani_${version}_$arch.build"
        # AUTOMOC's compiler run for moc's predefined macros (moc_predefs.h) only
        # preprocesses, without the build flags; CMake 3.31 (Debian 13) prints it.
        blhc --arch="$arch" --ignore-line='/usr/bin/c\+\+ -std=c\+\+\d+ -dM -E -c \S+/CMakeCXXCompilerABI\.cpp .*' \
            "$folder/korvani_${version}_$arch.build" || failed "blhc $suite"
    fi
    if [[ " $checks " == *" autopkgtest "* ]]; then
        log "$suite: autopkgtest (debian/tests) on $deb"
        out=$work/autopkgtest-$suite
        tarball=$(bash scripts/debian-chroot.sh "$suite")
        # A failed test (exit 4) fails the check at once; a testbed that could not be set up
        # (12: a dependency not installed, 16: the testbed, 20: autopkgtest itself; apt's
        # downloads on a fresh machine) is set up once more, and says so.
        local code attempt
        for attempt in 1 2; do
            rm -rf "$out"
            code=0
            unshare --mount --pid --fork --kill-child --propagation private -- \
                bash "$self" --in-chroot "$tarball" "$cache/apt-$suite" "" \
                bash -c 'autopkgtest --apt-upgrade --output-dir "$1" "$2" "$3/" -- chroot "$root"' \
                bash "$out" "$deb" "$work/source" >"$work/autopkgtest-$suite.log" 2>&1 ||
                code=$?
            [[ $attempt -eq 1 && " 12 14 16 20 " == *" $code "* ]] || break
            echo "autopkgtest $suite: the testbed failed (exit $code), set up once more:"
            tail -5 "$work/autopkgtest-$suite.log"
        done
        [[ $code -eq 0 ]] || failed "autopkgtest $suite"
        cat "$out/summary" 2>/dev/null || tail -20 "$work/autopkgtest-$suite.log"
        if [[ $code -ne 0 ]]; then
            grep -E -B2 -A30 '^(FAIL|driver: FAILED)|: -----------------------\]$' \
                "$out/log" | tail -80 || true
            # Repeated at the very end, where a log cut to its last lines still shows it.
            { echo "autopkgtest $suite: exit $code"
              grep -v ' PASS' "$out/summary" 2>/dev/null || tail -5 "$work/autopkgtest-$suite.log"
              grep -E '^(FAIL|driver: FAILED|Xvfb took|no Korvani window)|ended with [0-9]+ at' \
                  "$out/log" 2>/dev/null | tail -10 || true; } >"$work/excerpt-$suite"
        fi
    fi
    if [[ " $checks " == *" piuparts "* ]]; then
        log "$suite: piuparts on $deb"
        tarball=$(bash scripts/debian-chroot.sh "$suite")
        repo=$work/old-$suite
        old_package "$deb" "$repo"
        # apt's cache for the release stands in the host's place for piuparts' bind mount.
        if ! unshare --mount --propagation private -- bash -c '
                mount --bind "$1" /var/cache/apt/archives && shift && exec "$@"' bash \
                "$cache/apt-$suite" \
                piuparts --distribution="$suite" --mirror="$mirror main" \
                --basetgz="$tarball" --tmpdir="$work" --install-purge-install \
                --bindmount=/var/cache/apt/archives --bindmount="$repo" \
                --extra-repo="deb [trusted=yes] file://$repo ./" \
                --scriptsdir="$PWD/packaging/piuparts" "$deb" >"$work/piuparts-$suite.log" 2>&1; then
            failed "piuparts $suite"
            grep -E -A40 'ERROR|FAIL' "$work/piuparts-$suite.log" | tail -80
        fi
        grep -E 'piuparts-check:|PASS:|FAIL:' "$work/piuparts-$suite.log" || true
    fi
}

failed() { echo "$*" >>"$work/failures"; }
touch "$work/failures"
# The source tree, made once: two git commands at once in a changed tree contend for its
# index's lock.
bash scripts/source-tree.sh "$work/source"
# The releases side by side (their steps wait mostly on dpkg and apt, not on the CPUs); the
# output of each when both have ended.
pids=()
for suite in $suites; do
    check_suite "$suite" >"$work/check-$suite.log" 2>&1 &
    pids+=($!)
done
set -- $suites
for pid in "${pids[@]}"; do
    wait "$pid" || failed "$1: ended early"
    cat "$work/check-$1.log"
    shift
done
mapfile -t failures <"$work/failures"

if [[ ${#failures[@]} -ne 0 ]]; then
    cat "$work"/excerpt-* 2>/dev/null || true
    printf 'debian-check: failed: %s\n' "${failures[@]}" >&2
    exit 1
fi
log "passed: $checks on $suites"
