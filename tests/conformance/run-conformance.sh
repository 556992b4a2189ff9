#!/usr/bin/env bash
# Compares Korvani's profile functions with the Windows ones: installs Wine and the
# MinGW compiler when missing, builds the reference program (the Windows functions,
# run under Wine) and runs it and our driver (ProfileFile, built by the main build as
# test-tools/conformance_driver) through conformance.py on generated files; given the
# Windows build's folder too, also the Windows build of the driver under the same Wine.
# Fails on any difference that is not one of the deliberate ones.
#   usage: run-conformance.sh <build folder of the main build> [<Windows build folder>]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
wine=/usr/lib/wine/wine64
mingw=x86_64-w64-mingw32-g++-posix

missing=()
[[ -x $wine ]] || missing+=(wine64)
command -v "$mingw" >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
command -v python3 >/dev/null || missing+=(python3)
if [[ ${#missing[@]} -ne 0 ]]; then
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

out="$build/conformance"
mkdir -p "$out"
echo "== building the reference program"
x86_64-w64-mingw32-windres -I "$here" "$here/reference.rc" -O coff -o "$out/reference.res"
"$mingw" -std=c++20 -O2 -static -Wall -Wextra -Werror -o "$out/reference.exe" \
    "$here/reference.cpp" "$out/reference.res"

windows=()
[[ -z ${2:-} ]] || windows=(--windows-driver "$(cd "$2" && pwd)/test-tools/conformance_driver.exe")

echo "== comparing"
python3 "$here/conformance.py" --reference "$out/reference.exe" \
    --driver "$build/test-tools/conformance_driver" --wine "$wine" --work "$out/work" \
    "${windows[@]}"
