#!/usr/bin/env bash
# source-tree.sh DEST: writes the source tree into the folder DEST, made anew. In a clone: the
# files git tracks as they stand in the working tree, changed or not (the tree `git stash
# create` records; the last commit's when nothing has changed), so build folders and other
# untracked files stay out, as from a clean clone. Elsewhere (an unpacked source package or
# git archive): every file but the build folders (build*, obj-*).
set -euo pipefail
dest=$(realpath -m "$1")
cd "$(dirname "$0")/.."
rm -rf "$dest"
mkdir -p "$dest"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    commit=$(git stash create)
    git archive --format=tar "${commit:-HEAD}" | tar -x -C "$dest"
else
    tar -c --exclude-vcs --exclude='./build*' --exclude='./obj-*' -f - . | tar -x -C "$dest"
fi
