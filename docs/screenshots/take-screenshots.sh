#!/usr/bin/env bash
# Takes the screenshots the README shows, from this tree's own build: Korvani's main
# window on a virtual display (Xvfb) after a short run, From 1 To 1000 with the suffix
# example.com, driven with xdotool as a user would (the numbers and the suffix typed,
# Start, the file named in the Save dialog, the completion notice closed).
#   usage: docs/screenshots/take-screenshots.sh [Korvani.exe]
#   - always: build/bin/Korvani (make build) -> docs/screenshots/korvani-linux.png
#   - given the Windows build's Korvani.exe (make windows: build-windows/bin/Korvani.exe,
#     or the one in the unpacked zip): the same under Wine ->
#     docs/screenshots/korvani-windows.png
#   KORVANI_BUILD  the build folder whose bin/Korvani is shown (default: build)
# Each program runs from a copy of its program folder with the shipped settings file and
# a home folder of its own, so the picture does not depend on anyone's suffix list.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(realpath -m "${KORVANI_BUILD:-$root/build}")
exe=${1:+$(realpath "$1")}
check=$(basename "$0")

[[ -x $build/bin/Korvani ]] || {
    echo "$check: no $build/bin/Korvani: build it first (make build)" >&2
    exit 1
}
packages=(xvfb x11-apps imagemagick xdotool)
[[ -z $exe ]] || packages+=(wine64 fonts-liberation2)
bash "$root/scripts/install-deps.sh" "${packages[@]}"
# Debian's ImageMagick, whatever else is called import or convert on the PATH.
import=/usr/bin/import

work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-screenshots.XXXXXX")
xvfb=
program=
cleanup() {
    [[ -z $program ]] || kill "$program" 2>/dev/null || true
    if [[ -n ${WINEPREFIX:-} ]]; then
        timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
    fi
    [[ -z $xvfb ]] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1 i
    shift
    for ((i = 0; i < seconds * 10; ++i)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "$check: gave up waiting for: $*" >&2
    return 1
}
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
windows() { visible '.' | sort; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
wait_for 30 test -s "$work/display"
display=$(cat "$work/display")
export DISPLAY=":$display"

# Runs a short range in the main window $main, as a user would, and closes the notice:
# From, To and the suffix are typed, Start is clicked, $2 is typed into the Save dialog.
# $1 is the output file as this machine names it (to wait for its 1,000 lines).
short_run() {
    local output=$1 typed=$2 before dialog notice try i
    # The controls' places in the window (client pixels, from the window's layout).
    xdotool mousemove --window "$main" 119 18 click 1 && xdotool type --delay 30 '1'
    xdotool mousemove --window "$main" 250 18 click 1 && xdotool type --delay 30 '1000'
    xdotool mousemove --window "$main" 396 18 click 1 && xdotool key ctrl+a &&
        xdotool type --delay 30 'example.com'
    before=$(windows)
    xdotool mousemove --window "$main" 44 228 click 1 # Start: the Save dialog
    wait_for 60 bash -c "[[ \$(xdotool search --onlyvisible --name '.' | sort) != '$before' ]]"
    dialog=$(comm -13 <(echo "$before") <(windows) | head -n 1)
    # The dialog takes the keys once it holds the input focus.
    wait_for 30 bash -c "xdotool windowfocus '$dialog' && [[ \$(xdotool getwindowfocus) == '$dialog' ]]"
    # A dialog still filling itself (Wine's) may drop the first keys: type the name again
    # while no file appears.
    for ((try = 0; try < 5; ++try)); do
        xdotool key ctrl+a && xdotool type --delay 20 "$typed" && xdotool key Return
        for ((i = 0; i < 100; ++i)); do
            [[ -e $output ]] && break 2
            sleep 0.1
        done
    done
    wait_for 120 bash -c "[[ \$(wc -l <'$output' 2>/dev/null) == 1000 ]]"
    # The completion notice: a second window titled Korvani.
    wait_for 60 bash -c "[[ \$(xdotool search --onlyvisible --name '^Korvani\$' | wc -l) -ge 2 ]]"
    notice=$(visible '^Korvani$' | grep -vx "$main" | head -n 1)
    wait_for 30 bash -c "xdotool windowfocus '$notice' && xdotool key Return; sleep 0.2
                         ! xdotool search --onlyvisible --name '^Korvani\$' | grep -qx '$notice'"
}

# Waits for the main window (titled Korvani); sets $main.
wait_for_main() {
    wait_for 120 bash -c "xdotool search --onlyvisible --name '^Korvani\$'"
    main=$(visible '^Korvani$' | head -n 1)
}

# Saves the main window as $1 (the skin's greys keep the PNG small), without its time stamps.
capture() {
    # Let the window paint what the notice covered before.
    xdotool mousemove --window "$main" 0 0
    sleep 0.5
    "$import" -window "$main" -strip -depth 8 "$1"
    echo "== ${1#"$root"/}: $(identify -format '%wx%h' "$1"), $(stat -c %s "$1") bytes"
}

# --- Linux: this tree's build --------------------------------------------------------
mkdir -p "$work/linux/language" "$work/home"
cp "$build/bin/Korvani" "$work/linux/"
cp "$root"/resources/language/Korvani_*.ini "$work/linux/language/"
cp "$root/resources/Korvani.ini" "$work/linux/"
(cd "$work/linux" && HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    QT_QPA_PLATFORM=xcb exec ./Korvani) >"$work/linux.log" 2>&1 &
program=$!
wait_for_main
echo "== the main window is up: $(xdotool getwindowgeometry "$main" | tr -s '\n ' ' ')"
short_run "$work/linux.txt" "$work/linux.txt"
capture "$here/korvani-linux.png"
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
program=

# --- Windows: the given Korvani.exe under Wine ----------------------------------------
[[ -n $exe ]] || exit 0
mkdir -p "$work/windows/language"
cp "$exe" "$work/windows/Korvani.exe"
cp "$root"/resources/language/Korvani_*.ini "$work/windows/language/"
cp "$root/resources/Korvani.ini" "$work/windows/"
wine=/usr/lib/wine/wine64
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout 300 "$wine" wineboot -i >/dev/null 2>&1
timeout 120 /usr/lib/wine/wineserver -w
(cd "$work/windows" && exec timeout 600 "$wine" Korvani.exe) >"$work/windows.log" 2>&1 &
program=$!
wait_for_main
echo "== the main window is up under Wine: $(xdotool getwindowgeometry "$main" | tr -s '\n ' ' ')"
short_run "$work/windows.txt" "Z:${work//\//\\}\\windows.txt"
capture "$here/korvani-windows.png"
