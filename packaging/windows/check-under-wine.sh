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
    tesseract-ocr fonts-liberation2 # the dialog font's metric twin, as the Debian package has it

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

# The words drawn in window $1 (read back from the screen by OCR), on one line; pixels
# darker than $threshold are the text.
drawn() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage png:- |
        convert - -colorspace gray -resize 300% -threshold "${threshold:-50}%" "$work/drawn.png"
    tesseract "$work/drawn.png" - --psm 11 2>/dev/null | tr -s '\n' ' '
}
# Waits until every word after $1 is drawn in window $1.
shows() {
    local window=$1 text word
    shift
    for ((try = 0; try < 20; ++try)); do
        text=" $(drawn "$window") "
        for word in "$@"; do
            [[ $text == *"$word"* ]] || continue 2
        done
        return 0
    done
    echo "check-under-wine.sh: not drawn: $* (read: $text)" >&2
    return 1
}
shows "$main" From Suffix Add Delete Start Stop Contact Help Update Exit
echo "== the captions are drawn"

# Where the main window's controls are (client pixels, from its layout).
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; }
click 119 18 && xdotool type --delay 40 '1'          # tbFromNo
click 250 18 && xdotool type --delay 40 '1000'       # tbToNo
click 396 18 && xdotool key ctrl+a && xdotool type --delay 40 'wine.example' # cbSuffix
before=$(windows | sort)
click 44 228                                          # btnBuild: the Save dialog
wait_for 60 bash -c "[[ \$(xdotool search --onlyvisible --name '.' | sort) != '$before' ]]"
dialog=$(comm -13 <(echo "$before") <(windows | sort) | head -n 1)
shows "$dialog" Modified Text # drawn whole: its name field has the keys
output="Z:${work//\//\\}\\out.txt"
xdotool type --delay 20 "$output"
xdotool key Return
wait_for 120 bash -c "[[ \$(grep -c \$'\\r\$' '$work/out.txt' 2>/dev/null) == 1000 ]]"
wait_for 30 bash -c "[[ \$(xdotool search --onlyvisible --name '^Korvani\$' | wc -l) -ge 2 ]]"
notice=$(xdotool search --onlyvisible --name '^Korvani$' | grep -vx "$main" | head -n 1)
threshold=80 shows "$notice" All addresses were created. # grey on grey

for ((n = 1; n <= 1000; ++n)); do printf '%d@wine.example\r\n' "$n"; done >"$work/expected.txt"
cmp "$work/out.txt" "$work/expected.txt"
echo "== the run wrote 1,000 lines, CR LF each, and the notice says so"
if [[ -n $shot ]]; then
    geometry=$(xdotool getwindowgeometry --shell "$main")
    eval "$geometry"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip -colors 64 "$shot"
    echo "== screenshot: $shot"
fi
