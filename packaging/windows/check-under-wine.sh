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
source "$(dirname "$0")/wine-gui.sh"

mkdir "$work/Korvani"
unzip -q "$zip" -d "$work/Korvani"
new_prefix prefix
(cd "$work/Korvani" && exec timeout 600 "$wine" Korvani.exe) >/dev/null 2>&1 &
disown $! # ended with the Wine server at the end, quietly
wait_for_main
echo "== the main window is up: $(xdotool getwindowgeometry "$main" | tr -s '\n ' ' ')"

shows "$main" From Suffix Add Delete Start Stop Contact Help Update Exit
echo "== the captions are drawn"

click_from && xdotool type --delay 40 '1'
click_to && xdotool type --delay 40 '1000'
click_suffix && xdotool key ctrl+a && xdotool type --delay 40 'wine.example'
before=$(windows | sort)
click_start # the Save dialog
wait_for 60 bash -c "[[ \$(xdotool search --onlyvisible --name '.' | sort) != '$before' ]]"
dialog=$(comm -13 <(echo "$before") <(windows | sort) | head -n 1)
shows "$dialog" Modified Text # drawn whole: its name field has the keys
output="Z:${work//\//\\}\\out.txt"
xdotool type --delay 20 "$output"
xdotool key Return
wait_for 120 bash -c "[[ \$(grep -c \$'\\r\$' '$work/out.txt' 2>/dev/null) == 1000 ]]"
wait_for_notice
threshold=80 shows "$notice" All addresses were created # grey on grey; OCR reads its full stop as a comma at times

for ((n = 1; n <= 1000; ++n)); do printf '%d@wine.example\r\n' "$n"; done >"$work/expected.txt"
cmp "$work/out.txt" "$work/expected.txt"
echo "== the run wrote 1,000 lines, CR LF each, and the notice says so"
if [[ -n $shot ]]; then
    geometry=$(xdotool getwindowgeometry --shell "$main")
    eval "$geometry"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip -colors 64 "$shot"
    echo "== screenshot: $shot"
fi
