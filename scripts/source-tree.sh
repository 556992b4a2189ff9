#!/usr/bin/env bash
# source-tree.sh DEST: writes the source tree into the folder DEST, made anew: the files git
# tracks as they stand in the working tree, changed or not (the tree `git stash create`
# records; the last commit's when nothing has changed). Build folders and other untracked
# files stay out, as they would from a clean clone.
set -euo pipefail
dest=$1
cd "$(dirname "$0")/.."
commit=$(git stash create)
rm -rf "$dest"
mkdir -p "$dest"
git archive --format=tar "${commit:-HEAD}" | tar -x -C "$dest"
