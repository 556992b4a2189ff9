#!/usr/bin/env bash
# make check-debian13: the README's commands on a fresh Debian 13 ("trixie") system.
#
# Builds a minimal Debian 13 with debootstrap in a temporary folder, from the mirror this
# machine's apt uses, copies the committed tree (git archive HEAD) into it and there, as
# root: `make test` (CHECK_TEST=test-plain runs only the normal build's suite), `make
# package-check` (the source and binary packages built by dpkg-buildpackage with the tests,
# lintian, the desktop validators, the package built again: the same bytes; the package and
# its build log are left in build-package-trixie/, or $DEBIAN13_PACKAGES, for make
# debian-check), installs the package with apt, and under Xvfb starts `make run` as root
# and `korvani` as an unprivileged user, each until its window shows.
# Warnings are errors in every build, with Debian 13's own compilers and Qt.
#
# Everything runs in a mount and PID namespace of its own: the mounts the chroot needs are
# seen nowhere else and go, with every process started in it, when the check ends. The
# temporary system is removed however the check ends. Needs root.
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."

suite=trixie
check_test=${CHECK_TEST:-test}
jobs=${JOBS:-$(nproc)}

log() { printf '== check-debian13 [%dm%02ds] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }

source scripts/apt-sources.sh

# --- Outside: the temporary folder, the namespace, the clean-up. -------------------------
if [[ "${1:-}" != --inside ]]; then
    [[ $(id -u) -eq 0 ]] || { echo "check-debian13: run as root (debootstrap, chroot)" >&2; exit 1; }
    # The Debian mirror is the source of this machine's own release, not some other one.
    debian_mirror
    bash scripts/install-deps.sh debootstrap
    log "mirror $mirror${security:+, security $security}"

    work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-debian13.XXXXXX")
    remove_work() {
        # The mounts live in the namespace, which is gone; should one show here all the same,
        # nothing is deleted through it.
        local left
        left=$(findmnt -rn -o TARGET | grep -F "$work/" || true)
        if [[ -n "$left" ]]; then
            printf 'check-debian13: mounts left, %s not removed:\n%s\n' "$work" "$left" >&2
            exit 1
        fi
        rm -rf --one-file-system "$work"
    }
    trap remove_work EXIT
    git archive --format=tar --prefix=korvani/ HEAD >"$work/korvani.tar"
    unshare --mount --pid --fork --kill-child --propagation private -- \
        env CHECK_TEST="$check_test" JOBS="$jobs" CHECK_SECONDS="$SECONDS" \
            PACKAGE_OUT="$(realpath -m "${DEBIAN13_PACKAGES:-build-package-trixie}")" \
        bash "$self" --inside "$work" "$mirror" "$security"
    log "passed"
    exit 0
fi

# --- Inside the namespace. ---------------------------------------------------------------
SECONDS=$CHECK_SECONDS
work=$2
mirror=$3
security=$4
package_out=$PACKAGE_OUT
root="$work/root"

log "debootstrap $suite"
debootstrap --variant=minbase --include=make,git,ca-certificates "$suite" "$root" "$mirror" \
    >"$work/debootstrap.log" 2>&1 || { tail -20 "$work/debootstrap.log"; exit 1; }

rm -f "$root/etc/apt/sources.list"
debian_sources "$suite" >"$root/etc/apt/sources.list.d/debian.sources"
tar -xf "$work/korvani.tar" -C "$root/root"

# Only this namespace sees these; they go with it, and are unmounted first all the same.
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
unmount_all() {
    local mount
    for mount in dev sys proc; do
        umount -R "$root/$mount" 2>/dev/null || umount -lR "$root/$mount"
    done
}
trap unmount_all EXIT

stage() {
    log "$1"
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -euo pipefail -c "cd /root/korvani && $2"
}

stage "updates" "apt-get update -qq && apt-get upgrade -y -qq >/dev/null"
stage "make deps" 'make deps && g++ --version | head -1 && dpkg-query -W qt6-base-dev clang'
stage "make $check_test" "make $check_test JOBS=$jobs"
stage "make package-check" "make package-check JOBS=$jobs"
# The package and its build log stay for make debian-check, which tests them on Debian 13.
rm -rf "$package_out" && mkdir -p "$package_out"
cp "$root"/root/korvani/build-package/korvani*.{deb,build} "$package_out/"
stage "apt-get install the package" "apt-get install -y -qq ./build-package/korvani_*.deb"

# show-korvani COMMAND...: starts COMMAND on the Xvfb display, waits for a visible Korvani
# window (60 s at most, or until the program ends), then closes the program.
cat >"$root/usr/local/bin/show-korvani" <<'EOF'
#!/usr/bin/env bash
set -euo pipefail
export DISPLAY=:$(cat /tmp/xvfb-display)
setsid "$@" >/tmp/show-korvani.log 2>&1 &
group=$!
window=
for _ in $(seq 300); do
    window=$(xdotool search --onlyvisible --name Korvani 2>/dev/null | head -1) || true
    [[ -z "$window" ]] && kill -0 "$group" 2>/dev/null || break
    sleep 0.2
done
if [[ -z "$window" ]]; then
    echo "no Korvani window (60 s, or the program ended) from: $*" >&2
    cat /tmp/show-korvani.log >&2
    exit 1
fi
echo "$*: window \"$(xdotool getwindowname "$window")\"," \
     "$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')"
kill -0 "$group" # still running
kill -- -"$group"
wait "$group" || true
EOF
chmod 755 "$root/usr/local/bin/show-korvani"
stage "make run, and korvani as an unprivileged user, under Xvfb" "
    apt-get install -y -qq --no-install-recommends xvfb xdotool >/dev/null
    useradd --create-home korvaniuser
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>/tmp/xvfb-display >/tmp/xvfb.log 2>&1 &
    xvfb=\$!
    trap 'kill \$xvfb' EXIT
    for _ in \$(seq 100); do [[ -s /tmp/xvfb-display ]] && break; sleep 0.1; done
    show-korvani make run JOBS=$jobs
    show-korvani runuser -u korvaniuser -- env HOME=/home/korvaniuser korvani"
log "done"
