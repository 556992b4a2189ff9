#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing;
# given package names, installs those instead. The names are those every supported
# release has, except the clang runtime (the fuzzers' libFuzzer and sanitizers), whose
# name carries clang's major version: the one of the clang installed, or else of the clang
# apt would install.
set -euo pipefail

packages=(cmake make g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev
          clang dpkg-dev file strace)
with_clang_runtime=1
[[ $# -eq 0 ]] || { packages=("$@"); with_clang_runtime=0; }

installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}
# The clang runtime package for the major version in "clang version N.x" or "clang-N".
clang_runtime() { sed -En 's/.*(clang version |Depends: clang-)([0-9]+).*/libclang-rt-\2-dev/p;T;q'; }

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
runtime=
if [[ $with_clang_runtime -eq 1 ]] && command -v clang >/dev/null; then
    runtime=$(clang_runtime <<<"$(clang --version)")
    installed "$runtime" || missing+=("$runtime")
fi
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
if [[ $with_clang_runtime -eq 1 && -z "$runtime" ]]; then
    runtime=$(clang_runtime <<<"$(apt-cache depends clang)")
    [[ -n "$runtime" ]] || { echo "no clang version in: apt-cache depends clang" >&2; exit 1; }
    missing+=("$runtime")
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
