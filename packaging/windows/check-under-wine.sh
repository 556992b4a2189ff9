#!/usr/bin/env bash
# Starts the Windows build's Korvani.exe under Wine on a virtual display (Xvfb) and
# drives it with xdotool as a user would: the main window with its captions, From 1
# To 1000 and a suffix typed, Start, the file named in the Save dialog. Checks that
# the file holds the 1,000 lines, CR LF each, and that the completion notice shows;
# takes a screenshot of the window with the notice.
#   usage: check-under-wine.sh <korvani-...-windows-x64.zip> [screenshot.png]
set -euo pipefail

zip=$(realpath "$1")
shot=${2:+$(realpath -m "$2")}
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/../../scripts/install-deps.sh" wine64 xvfb xdotool imagemagick unzip \
    fonts-liberation2 # the dialog font's metric twin, as the Debian package has it

work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-wine-gui.XXXXXX")
xvfb=
cleanup() {
    WINEPREFIX="$work/prefix" timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
    [[ -z $xvfb ]] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1
    shift
    for ((i = 0; i < seconds * 10; ++i)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "check-under-wine.sh: gave up waiting for: $*" >&2
    return 1
}
windows() { xdotool search --onlyvisible --name '.' 2>/dev/null || true; }

mkdir "$work/Korvani"
unzip -q "$zip" -d "$work/Korvani"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
wait_for 30 test -s "$work/display"
display=$(cat "$work/display")
export DISPLAY=":$display" WINEPREFIX="$work/prefix" WINEDEBUG=-all \
       WINEDLLOVERRIDES="mscoree,mshtml="
timeout 300 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1

(cd "$work/Korvani" && exec timeout 600 /usr/lib/wine/wine64 Korvani.exe) >/dev/null 2>&1 &
disown $! # ended with the Wine server at the end, quietly
wait_for 120 xdotool search --onlyvisible --name '^Korvani$'
main=$(xdotool search --onlyvisible --name '^Korvani$' | head -n 1)
echo "== the main window is up: $(xdotool getwindowgeometry "$main" | tr -s '\n ' ' ')"

# Where the main window's controls are (client pixels, from its layout).
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; }
click 119 18 && xdotool type --delay 40 '1'          # tbFromNo
click 250 18 && xdotool type --delay 40 '1000'       # tbToNo
click 396 18 && xdotool key ctrl+a && xdotool type --delay 40 'wine.example' # cbSuffix
before=$(windows | sort)
click 44 228                                          # btnBuild: the Save dialog
wait_for 60 bash -c "[[ \$(xdotool search --onlyvisible --name '.' | sort) != '$before' ]]"
output="Z:${work//\//\\}\\out.txt"
sleep 1 # the dialog's name field takes the keys once it has the focus
xdotool type --delay 20 "$output"
xdotool key Return
wait_for 120 bash -c "[[ \$(grep -c \$'\\r\$' '$work/out.txt' 2>/dev/null) == 1000 ]]"
wait_for 30 bash -c "[[ \$(xdotool search --onlyvisible --name '.' | wc -l) -ge 2 ]]"
sleep 1 # the notice draws itself

for ((n = 1; n <= 1000; ++n)); do printf '%d@wine.example\r\n' "$n"; done >"$work/expected.txt"
cmp "$work/out.txt" "$work/expected.txt"
echo "== the run wrote 1,000 lines, CR LF each, and the notice shows"
if [[ -n $shot ]]; then
    geometry=$(xdotool getwindowgeometry --shell "$main")
    eval "$geometry"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip -colors 64 "$shot"
    echo "== screenshot: $shot"
fi
