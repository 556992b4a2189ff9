# Sourced by the checks that drive Korvani.exe under Wine on a virtual display, as a
# user would: a work folder removed at the end, Xvfb, fresh Wine prefixes, bounded waits,
# the words drawn in a window (read back from the screen by OCR) and clicks on the main
# window's controls.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bash "$here/../../scripts/install-deps.sh" wine64 xvfb xdotool imagemagick unzip \
    tesseract-ocr fonts-liberation2 # the dialog font's metric twin, as the Debian package has it

wine=/usr/lib/wine/wine64
check=$(basename "$0")
work=$(mktemp -d "${TMPDIR:-/tmp}/korvani-wine-gui.XXXXXX")
xvfb=
prefixes=()
frozen= # a folder made immutable (chattr +i) by a check, made mutable again at the end
cleanup() {
    local prefix
    [[ -z $frozen ]] || chattr -i "$frozen" || true
    for prefix in "${prefixes[@]}"; do
        WINEPREFIX="$prefix" timeout 60 /usr/lib/wine/wineserver -k 2>/dev/null || true
    done
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
    echo "$check: gave up waiting for: $*" >&2
    return 1
}
windows() { xdotool search --onlyvisible --name '.' 2>/dev/null || true; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
wait_for 30 test -s "$work/display"
export DISPLAY=":$(cat "$work/display")" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# A fresh Wine prefix $work/$1, made before any program starts.
new_prefix() {
    export WINEPREFIX="$work/$1"
    prefixes+=("$WINEPREFIX")
    timeout 300 "$wine" wineboot -i >/dev/null 2>&1
    timeout 120 /usr/lib/wine/wineserver -w
}

# Waits for Korvani's main window; sets $main.
wait_for_main() {
    wait_for 120 xdotool search --onlyvisible --name '^Korvani$'
    main=$(xdotool search --onlyvisible --name '^Korvani$' | head -n 1)
}

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
    echo "$check: not drawn: $* (read: $text)" >&2
    return 1
}

# Where the main window's controls are (client pixels, from its layout).
click() { xdotool mousemove --window "$main" "$1" "$2" click 1; }
click_from() { click 119 18; }
click_to() { click 250 18; }
click_suffix() { click 396 18; }
click_add() { click 464 16; }
click_start() { click 44 228; }
# The window that is not the main window and is titled Korvani: a message box; sets $notice.
wait_for_notice() {
    wait_for 30 bash -c "[[ \$(xdotool search --onlyvisible --name '^Korvani\$' | wc -l) -ge 2 ]]"
    notice=$(xdotool search --onlyvisible --name '^Korvani$' | grep -vx "$main" | head -n 1)
}
