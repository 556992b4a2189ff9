#!/usr/bin/env bash
# Checks the Debian packages that `make package` wrote into the build folder $1 (default
# build-package): lintian on the .changes, that is the source package and the binary ones
# (fails on errors and warnings, prints the rest), desktop-file-validate and appstreamcli on
# the files as packaged (both must be clean), the packaged layout, the conffiles and the
# Depends field.
# Installs the checkers when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}

bash scripts/install-deps.sh lintian desktop-file-utils appstream

version=$(dpkg-parsechangelog -S Version)
changes="$build/korvani_${version}_$(dpkg --print-architecture).changes"
deb="$build/korvani_${version}_$(dpkg --print-architecture).deb"
[[ -f "$changes" && -f "$deb" ]] || { echo "no package $deb with $changes" >&2; exit 1; }
echo "Checking $deb ($(stat -c %s "$deb") bytes) and $changes"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
# The .changes and the files it lists: the source package, the binary ones, the .buildinfo.
cp "$build"/korvani*_"$version"[._]* "$work/"
unpacked="$work/unpacked"
dpkg-deb -x "$deb" "$unpacked"

# The application id (set in cmake/Install.cmake) names the one desktop entry; the metainfo
# file and the icons must carry the same name.
desktop_entries=("$unpacked"/usr/share/applications/*.desktop)
[[ ${#desktop_entries[@]} -eq 1 && -f "${desktop_entries[0]}" ]] || { echo "not one desktop entry" >&2; exit 1; }
app_id=$(basename "${desktop_entries[0]}" .desktop)
echo "Application id: $app_id"

echo "== lintian"
# Lintian advises against running as root; as root, it runs as nobody on a copy it can read.
as_user=()
[[ $(id -u) -ne 0 ]] || as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/tmp)
# It starts in the copy's folder, as nobody may not enter the current one (say, under /root).
(cd "$work" && "${as_user[@]}" lintian --fail-on error,warning --display-info \
    "$(basename "$changes")") || fail "lintian reports errors or warnings"

echo "== desktop-file-validate"
desktop_report=$(desktop-file-validate "$unpacked/usr/share/applications/$app_id.desktop" 2>&1) ||
    fail "desktop-file-validate failed"
[[ -z "$desktop_report" ]] || { echo "$desktop_report"; fail "desktop entry not clean"; }

echo "== appstreamcli validate"
metainfo_report=$(appstreamcli validate --no-net --no-color \
    "$unpacked/usr/share/metainfo/$app_id.metainfo.xml" 2>&1) || fail "appstreamcli failed"
echo "$metainfo_report"
# Pedantic remarks (P:) only. AppStream before 1.0 (Debian 12) does not know <developer>,
# which 1.0 (Debian 13) wants in place of <developer_name>, and says so as an info.
remarks=$(grep -E '^[EWI]: ' <<<"$metainfo_report" | grep -Ev '^I: [^ ]+ unknown-tag developer$' ||
    true)
[[ -z "$remarks" ]] || fail "metainfo not clean"

echo "== layout"
expected=(
    ./etc/korvani/Korvani.ini
    ./usr/bin/korvani
    ./usr/lib/korvani/Korvani
    ./usr/lib/korvani/language/Korvani_EN.ini
    ./usr/lib/korvani/language/Korvani_SC.ini
    ./usr/lib/korvani/language/Korvani_TC.ini
    "./usr/share/applications/$app_id.desktop"
    ./usr/share/doc/korvani/changelog.gz
    ./usr/share/doc/korvani/copyright
    "./usr/share/icons/hicolor/128x128/apps/$app_id.png"
    "./usr/share/icons/hicolor/256x256/apps/$app_id.png"
    "./usr/share/icons/hicolor/48x48/apps/$app_id.png"
    "./usr/share/icons/hicolor/64x64/apps/$app_id.png"
    "./usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    ./usr/share/man/man1/korvani.1.gz
    "./usr/share/metainfo/$app_id.metainfo.xml"
)
# Every file and link (not the folders) with its mode, owner and link target.
listing=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, substr($0, index($0, "./")) }')
packaged=$(awk '{ print $3 }' <<<"$listing" | sort)
if [[ "$packaged" != "$(printf '%s\n' "${expected[@]}" | sort)" ]]; then
    diff <(printf '%s\n' "${expected[@]}" | sort) <(echo "$packaged") || true
    fail "the package's files differ from the expected layout (< expected, > packaged)"
fi
grep -Fxq 'lrwxrwxrwx root/root ./usr/bin/korvani -> ../lib/korvani/Korvani' <<<"$listing" ||
    fail "/usr/bin/korvani is not the link ../lib/korvani/Korvani"
grep -Fxq -- '-rwxr-xr-x root/root ./usr/lib/korvani/Korvani' <<<"$listing" ||
    fail "the program is not 0755 root/root"

echo "== conffiles"
# The default suffix list is a configuration file: an administrator's edit survives an
# upgrade. It is not in the program folder any more.
conffiles=$(dpkg-deb -I "$deb" conffiles 2>/dev/null || true)
echo "$conffiles"
grep -Fxq /etc/korvani/Korvani.ini <<<"$conffiles" ||
    fail "/etc/korvani/Korvani.ini is not one of the package's conffiles"
grep -Fxq -- '-rw-r--r-- root/root ./etc/korvani/Korvani.ini' <<<"$listing" ||
    fail "/etc/korvani/Korvani.ini is not 0644 root/root"
if grep -Fxq ./usr/lib/korvani/Korvani.ini <<<"$packaged"; then
    fail "the default settings file is still in /usr/lib/korvani"
fi

echo "== Depends"
depends=$(dpkg-deb -f "$deb" Depends)
echo "$depends"
# Debian 13 gives some libraries a "t64" name (64-bit time_t): libqt6core6t64.
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins; do
    grep -Eq "(^|, )$package(t64)?( |,|$)" <<<"$depends" || fail "Depends lacks $package"
done
if grep -Eq -- '-dev( |,|$)' <<<"$depends"; then
    fail "Depends names a -dev package"
fi

if [[ $failures -ne 0 ]]; then
    echo "package check: $failures failed" >&2
    exit 1
fi
echo "package check: passed"
