#!/usr/bin/env bash
# Builds a static Qt 6 for 64-bit Windows with Debian's MinGW-w64, from Debian's own
# qt6-base source package (the same version as the installed qt6-base-dev, whose moc,
# rcc and uic serve as the host tools), into a cache outside the source tree:
#   ${XDG_CACHE_HOME:-~/.cache}/korvani/qt-<version>-mingw64
# Later runs find the finished build there and return at once. The source package comes
# from a deb-src twin of the machine's own apt sources, set up in a temporary apt
# configuration; the system's apt configuration is left as it is.
#   usage: build-qt-mingw.sh           build when missing, then print the Qt prefix
#          build-qt-mingw.sh --prefix  only print where the Qt prefix is (or will be)
#   JOBS   parallel compile jobs (default: the number of processors)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
toolchain="$here/../cmake/mingw-w64.cmake"
jobs=${JOBS:-$(nproc)}

source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null || true)
if [[ -z $source_version ]]; then
    bash "$here/install-deps.sh" qt6-base-dev qt6-base-dev-tools
    source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
fi
# 6.4.2+dfsg-10 -> 6.4.2
version=${source_version#*:}
version=${version%%[+~-]*}
cache=${XDG_CACHE_HOME:-$HOME/.cache}/korvani
prefix="$cache/qt-$version-mingw64"

# What the finished build was made with; a change of any of it builds again.
configure_options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_pkg_config=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_zstd=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF -DFEATURE_openssl=OFF
    # Debian's source has no src/3rdparty/wintab, which tablet events need.
    -DFEATURE_tabletevent=OFF
    # The Windows platform plugin of 6.4 does not compile without OpenGL.
    -DINPUT_opengl=dynamic
)
stamp_text="qt6-base $source_version
$(cat "$toolchain")
${configure_options[*]}"

if [[ ${1:-} == --prefix ]]; then
    echo "$prefix"
    exit 0
fi

stamp="$prefix/.korvani-build"
if [[ -f $stamp && $(cat "$stamp") == "$stamp_text" ]]; then
    echo "$prefix"
    exit 0
fi

missing=()
for package in qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix cmake ninja-build \
               dpkg-dev; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] || bash "$here/install-deps.sh" "${missing[@]}"

mkdir -p "$cache"
# One build at a time: a second caller waits for the first and then finds its result.
exec 9>"$cache/qt-$version-mingw64.lock"
flock 9
if [[ -f $stamp && $(cat "$stamp") == "$stamp_text" ]]; then
    echo "$prefix"
    exit 0
fi

# The work folder stays until the build is installed: a build that was stopped (a time
# limit, a closed terminal) goes on where it was, unless what it is made with has changed.
work="$cache/qt-$version-mingw64-work"
work_stamp="$work/.korvani-work"
if [[ ! -f $work_stamp || $(cat "$work_stamp") != "$stamp_text" ]]; then
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    printf '%s' "$stamp_text" >"$work_stamp"
fi
mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/apt/parts" \
         "$work/download"

source_dir=$(find "$work/download" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
if [[ -z $source_dir || ! -f $work/download/.complete ]]; then
echo "== fetching the qt6-base $source_version source package" >&2
rm -rf "$work/download" && mkdir -p "$work/download"
# deb-src entries for every deb entry of the machine's own sources.
: >"$work/apt/sources.list"
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $file ]] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file" >>"$work/apt/sources.list"
done
for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f $file ]] || continue
    sed 's/^Types:.*/Types: deb-src/' "$file" >"$work/apt/parts/$(basename "$file")"
done
apt_options=(-o Dir::Etc::SourceList="$work/apt/sources.list"
             -o Dir::Etc::SourceParts="$work/apt/parts"
             -o Dir::State::Lists="$work/apt/lists"
             -o Dir::Cache="$work/apt/cache"
             -o Debug::NoLocking=true -o APT::Sandbox::User="$(id -un)")
apt-get "${apt_options[@]}" -qq update >&2
(cd "$work/download" && apt-get "${apt_options[@]}" -qq source "qt6-base=$source_version" >&2)
source_dir=$(find "$work/download" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
[[ -n $source_dir && -f $source_dir/CMakeLists.txt ]] || {
    echo "build-qt-mingw.sh: no qt6-base source tree in $work/download" >&2
    exit 1
}
: >"$work/download/.complete"
fi

echo "== configuring Qt $version for MinGW-w64 (log: $work/build.log)" >&2
# Qt refers to its toolchain file from its installed CMake files: keep a copy beside it.
mkdir -p "$prefix/lib/cmake"
cp "$toolchain" "$prefix/lib/cmake/mingw-w64.cmake"
host_cmake=$(dirname "$(dirname "$(find /usr/lib -path '*/cmake/Qt6HostInfo/Qt6HostInfoConfig.cmake' \
                                      -print -quit)")")
{
    # Configuring an existing build folder again keeps what it built; ninja goes on from there.
    cmake -S "$source_dir" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/mingw-w64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" \
        "${configure_options[@]}"
    echo "== building Qt with $jobs jobs"
    cmake --build "$work/build" --parallel "$jobs"
    cmake --install "$work/build"
} >>"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log" >&2
    echo "build-qt-mingw.sh: the Qt build failed; the whole log is $work/build.log" >&2
    echo "build-qt-mingw.sh: the next run goes on from where this one stopped" >&2
    exit 1
}
printf '%s' "$stamp_text" >"$stamp"
rm -rf "$work"
echo "$prefix"
