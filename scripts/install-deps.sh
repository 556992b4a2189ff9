#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing: the build
# dependencies of the Debian package (debian/control, with build-essential, through apt-get
# build-dep), clang-format, and clang with its runtime (the fuzzers' libFuzzer and
# sanitizers), whose name carries clang's major version: the one of the clang installed, or else of the clang apt
# would install. Given package names, installs those instead.
set -euo pipefail
source_dir=$(realpath "$(dirname "$0")/..")

packages=(clang clang-format)
default_set=1
[[ $# -eq 0 ]] || { packages=("$@"); default_set=0; }

installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}
# The clang runtime package for the major version in "clang version N.x" or "clang-N".
clang_runtime() { sed -En 's/.*(clang version |Depends: clang-)([0-9]+).*/libclang-rt-\2-dev/p;T;q'; }

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
build_deps_missing=0
if [[ $default_set -eq 1 ]] &&
    ! dpkg-checkbuilddeps "$source_dir/debian/control" >/dev/null 2>&1; then
    build_deps_missing=1
fi
runtime=
if [[ $default_set -eq 1 ]] && command -v clang >/dev/null; then
    runtime=$(clang_runtime <<<"$(clang --version)")
    installed "$runtime" || missing+=("$runtime")
fi
[[ ${#missing[@]} -eq 0 && $build_deps_missing -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
if [[ $build_deps_missing -eq 1 ]]; then
    echo "Installing the build dependencies of debian/control"
    "${sudo[@]}" apt-get build-dep -y -qq --no-install-recommends "$source_dir/"
fi
if [[ $default_set -eq 1 && -z "$runtime" ]]; then
    runtime=$(clang_runtime <<<"$(apt-cache depends clang)")
    [[ -n "$runtime" ]] || { echo "no clang version in: apt-cache depends clang" >&2; exit 1; }
    missing+=("$runtime")
fi
[[ ${#missing[@]} -eq 0 ]] && exit 0
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
