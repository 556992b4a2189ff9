#!/usr/bin/env bash
# The settings writer on the file systems users have, each made here: loop images (ext4,
# ext2, xfs, btrfs), FUSE mounts (exFAT through exfat-fuse, FAT through fusefat, NTFS
# through ntfs-3g, a bind mount that hides attributes through bindfs, sshfs to an sshd on
# 127.0.0.1), an overlay, and a system without /proc. On each: an add that makes the file,
# an add, a delete, a writer killed before its replace and the write after it. The file
# must list what the writes said, keep its mode where the file system keeps modes, and
# nothing may be left beside it. What the kernel or the machine lacks is skipped, saying
# why. Needs root (mounts); prints one line a file system and exits 1 on any violation.
#   usage: file-systems.sh TOOL      TOOL: profile_write
set -uo pipefail
tool=$(realpath "$1")
work=$(mktemp -d /tmp/korvani-fs.XXXXXX)
failed=0 sshd_pid=
cleanup() {
    for m in "$work"/mnt-*; do mountpoint -q "$m" && { fusermount3 -u "$m" 2>/dev/null || umount -l "$m"; }; done
    losetup -j "$work/exfat.img" -O NAME -n 2>/dev/null | xargs -r -n1 losetup -d
    [[ -n $sshd_pid ]] && kill "$sshd_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

if [[ $(id -u) -ne 0 ]]; then
    echo "file systems: skipped: mounting needs root"
    exit 0
fi

listed() { "$tool" list "$1" Suffix | sed 's/^key //' | tr '\n' ' '; }
# The tool's exit code is the call's result: 1 for done.
done_() { "$tool" "$@" >/dev/null 2>&1; [[ $? -eq 1 ]]; }

# Runs the writes in folder $2 of file system $1; $3 = yes where modes are kept.
exercise() {
    local name=$1 dir=$2 modes=$3 file=$2/Korvani.ini problems=()
    local code
    done_ write "$file" Suffix a.com "" || problems+=("the first add failed")
    done_ write "$file" Suffix b.com "" || problems+=("an add failed")
    [[ $modes == yes ]] && chmod 0640 "$file"
    done_ delete "$file" Suffix a.com || problems+=("a delete failed")
    "$tool" crash "$file" Suffix c.com "" >/dev/null 2>&1
    code=$?
    [[ $code -eq 42 ]] || problems+=("the killed writer ended with $code")
    # The way the next write takes, from its calls.
    local calls way
    calls=$(strace -f -e trace=openat,renameat2,rename "$tool" write "$file" Suffix e.com "" 2>&1 >/dev/null)
    way=$(grep -q 'O_TMPFILE.*= [0-9]' <<<"$calls" && echo unnamed || echo named)
    grep -q 'RENAME_EXCHANGE) = 0' <<<"$calls" && way+=", exchange" || way+=", rename"
    grep -q 'O_TMPFILE\|tmp-' <<<"$calls" || way="in place"
    done_ delete "$file" Suffix e.com || problems+=("a delete failed")
    done_ write "$file" Suffix d.com "" || problems+=("the add after it failed")
    [[ $(listed "$file") == "b.com d.com " ]] || problems+=("lists: $(listed "$file")")
    local left
    left=$(ls -A "$dir" | grep -vx 'Korvani.ini' | grep -v '^lost+found$' | tr '\n' ' ')
    [[ -z $left ]] || problems+=("left beside it: $left")
    if [[ $modes == yes && $(stat -c %a "$file") != 640 ]]; then
        problems+=("mode $(stat -c %a "$file"), it was 640")
    fi
    if [[ ${#problems[@]} -eq 0 ]]; then
        echo "file systems: $name: passed ($way)"
    else
        echo "file systems: $name: FAILED: ${problems[*]}"
        failed=1
    fi
}

# A loop image of size $2 MB made by mkfs command $3..., mounted, then exercised.
loop() {
    local name=$1 size=$2 mnt=$work/mnt-$1 image=$work/$1.img
    shift 2
    mkdir -p "$mnt"
    truncate -s "${size}M" "$image"
    if ! command -v "$1" >/dev/null; then
        echo "file systems: $name: skipped: $1 is not installed"
    elif ! "$@" "$image" >/dev/null 2>&1 || ! mount -o loop "$image" "$mnt" 2>/dev/null; then
        echo "file systems: $name: skipped: the kernel or the machine cannot mount it here"
    else
        exercise "$name" "$mnt" yes
    fi
}

# An image made by $3 and mounted by FUSE command $4 (its options in $5; through a loop
# device when $6 says so).
fuse() {
    local name=$1 modes=$2 mkfs=$3 mounter=$4 options=$5 mnt=$work/mnt-$1 image=$work/$1.img
    mkdir -p "$mnt"
    truncate -s 64M "$image"
    if [[ ${6:-} == loop ]] && ! image=$(losetup -f --show "$image" 2>/dev/null); then
        echo "file systems: $name: skipped: no loop device here"
        return
    fi
    if [[ ! -e /dev/fuse ]]; then
        echo "file systems: $name: skipped: no /dev/fuse"
    elif ! command -v "$mounter" >/dev/null; then
        echo "file systems: $name: skipped: $mounter is not installed"
    elif ! $mkfs "$image" >/dev/null 2>&1 || ! "$mounter" $options "$image" "$mnt" >/dev/null 2>&1; then
        echo "file systems: $name: skipped: it could not be mounted here"
    else
        exercise "$name" "$mnt" "$modes"
    fi
}

loop ext4 64 mkfs.ext4 -q -F
loop ext2 64 mkfs.ext2 -q -F
loop xfs 300 mkfs.xfs -q -f
loop btrfs 128 mkfs.btrfs -q -f
fuse exfat no "mkfs.exfat" mount.exfat-fuse "" loop
fuse fat no "mkfs.vfat" fusefat "-o rw+"
fuse ntfs-3g no "mkntfs -F -Q" ntfs-3g ""

# A bind mount that shows no extended attributes.
mkdir -p "$work/bind-source" "$work/mnt-bindfs"
if command -v bindfs >/dev/null && bindfs --xattr-none "$work/bind-source" "$work/mnt-bindfs" 2>/dev/null; then
    exercise "bindfs --xattr-none" "$work/mnt-bindfs" yes
else
    echo "file systems: bindfs --xattr-none: skipped: bindfs is not installed or cannot mount here"
fi

# An overlay whose lower layer holds the file: the first change copies it up.
mkdir -p "$work"/{lower,upper,overlay-work,mnt-overlay}
if mount -t overlay overlay -o "lowerdir=$work/lower,upperdir=$work/upper,workdir=$work/overlay-work" \
    "$work/mnt-overlay" 2>/dev/null; then
    exercise overlay "$work/mnt-overlay" yes
else
    echo "file systems: overlay: skipped: the kernel cannot mount an overlay here"
fi

# sshfs to an sshd of our own on 127.0.0.1.
mkdir -p "$work/ssh-source" "$work/mnt-sshfs"
if command -v sshfs >/dev/null && [[ -x /usr/sbin/sshd ]]; then
    ssh-keygen -q -t ed25519 -N '' -f "$work/host" && ssh-keygen -q -t ed25519 -N '' -f "$work/user"
    cp "$work/user.pub" "$work/authorized"
    mkdir -p /run/sshd
    /usr/sbin/sshd -D -f /dev/null -p 2299 -o ListenAddress=127.0.0.1 -o HostKey="$work/host" \
        -o AuthorizedKeysFile="$work/authorized" -o PermitRootLogin=prohibit-password \
        -o StrictModes=no -o Subsystem="sftp internal-sftp" &
    sshd_pid=$!
    for _ in $(seq 50); do
        sshfs -p 2299 -o IdentityFile="$work/user",StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null \
            "root@127.0.0.1:$work/ssh-source" "$work/mnt-sshfs" 2>/dev/null && break
        sleep 0.1
    done
    if mountpoint -q "$work/mnt-sshfs"; then
        exercise sshfs "$work/mnt-sshfs" yes
    else
        echo "file systems: sshfs: skipped: it could not be mounted here"
    fi
else
    echo "file systems: sshfs: skipped: sshfs or openssh-server is not installed"
fi

# No /proc: a mount namespace with an empty /proc.
mkdir -p "$work/no-proc"
if unshare -m --propagation private true 2>/dev/null; then
    unshare -m --propagation private bash -c "mount -t tmpfs none /proc && $(declare -f listed done_ exercise); tool='$tool' failed=0; exercise 'no /proc' '$work/no-proc' yes; exit \$failed" ||
        failed=1
else
    echo "file systems: no /proc: skipped: no mount namespace here"
fi

exit $failed
