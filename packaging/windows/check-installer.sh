#!/usr/bin/env bash
# The installer under Wine, each way of installing in a fresh Wine prefix: for all users
# (a silent install with no switch) and for the current user (/CurrentUser).
#   - the silent install puts the program folder (as in the zip, plus the installer's mark
#     and the uninstaller), the Start-menu shortcut and the registration in place;
#   - Korvani.exe, started from the shortcut on Xvfb: an Add lands in the user's own copy
#     in %APPDATA%\Korvani, and the shipped Korvani.ini stays byte for byte;
#   - a second install over the first keeps the user's copy;
#   - the silent uninstall (its QuietUninstallString, run as it is registered) has removed
#     the program and the registration when it ends, then leaves no program file, shortcut
#     or registry entry, and the user's copy stays;
#   - installed into the folder of a zip copy, the installer moves that copy's list into the
#     user's own copy, which the uninstall leaves; while Korvani runs, or while Korvani.exe
#     is in use with no mutex to show it, a silent install or uninstall changes nothing and
#     says why in its exit code; into a zip copy's folder that takes no new file, the
#     install changes nothing and says so; over a zip copy whose list is kept already, it
#     adds no file (check_in_use).
#   usage: check-installer.sh <korvani-<version>-setup-x64.exe> <korvani-...-windows-x64.zip>
set -euo pipefail

setup=$(realpath "$1")
zip=$(realpath "$2")
version=$(basename "$setup" | sed -E 's/^korvani-(.*)-setup-x64\.exe$/\1/')
source "$(dirname "$0")/wine-gui.sh"
mkdir "$work/zip"
unzip -q "$zip" -d "$work/zip"

fail() {
    echo "$check: $*" >&2
    exit 1
}
unix() { "$wine" winepath -u "$1" 2>/dev/null; }
expand() { "$wine" cmd /c echo "$1" 2>/dev/null | tr -d '\r"'; }
# The values of the registration under root $1 (none: empty).
registration() {
    "$wine" reg query "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvani" 2>/dev/null |
        tr -d '\r' | grep ' REG_' || true
}
value() { sed -nE "s/^ +$1 +REG_[A-Z]+ +(.*)$/\1/p" <<<"$registration"; }
install() {
    timeout 300 "$wine" "$setup" /S "$@"
    timeout 120 /usr/lib/wine/wineserver -w
}
# The uninstaller as a deployment tool runs it silently: the QuietUninstallString under
# root $1 as it stands, its exit code the command's. Its words after the quoted program
# are passed one by one (none holds a quote), and Wine joins them with one space again.
uninstall() {
    local quiet uninstaller switches
    registration=$(registration "$1")
    quiet=$(value QuietUninstallString)
    uninstaller=$(sed -E 's/^"([^"]+)".*/\1/' <<<"$quiet")
    read -ra switches <<<"${quiet#\""$uninstaller"\"}"
    timeout 300 "$wine" "$uninstaller" "${switches[@]}" >/dev/null 2>&1
}

# $1 AllUsers or CurrentUser, $2 the installer's switch for it; $3 the program folder, $4
# the Start-menu folder, $5 the registry root of that install, $6 the other root, which
# must hold no registration.
check_mode() {
    local mode=$1 switch=$2 root=$5 other=$6 dir folder shortcut own shipped
    new_prefix "prefix-$mode"
    install ${switch:+"$switch"}
    dir="$(expand "$3")\\Korvani"
    folder=$(unix "$dir")
    shortcut=$(unix "$(expand "$4")\\Korvani.lnk")
    own=$(unix "$(expand '%APPDATA%')\\Korvani\\Korvani.ini")
    shipped=$folder/Korvani.ini

    # The program folder: the zip's files, byte for byte, the mark and the uninstaller.
    (cd "$work/zip" && find . -type f) | while read -r file; do
        cmp "$work/zip/$file" "$folder/$file" || fail "$mode: $file differs from the zip's"
    done
    [[ -s $folder/Korvani.installed && -s $folder/Uninstall.exe ]] || fail "$mode: no mark or uninstaller"
    [[ -f $shortcut ]] && strings -el "$shortcut" | grep -qiF 'Korvani\Korvani.exe' ||
        fail "$mode: no shortcut to Korvani.exe at $shortcut"
    registration=$(registration "$root")
    [[ $(value DisplayName) == Korvani && $(value DisplayVersion) == "$version" &&
        $(value Publisher) == "Korvani Software" && $(value EstimatedSize) =~ ^0x[0-9a-f]+$ &&
        $(value DisplayIcon) == *'\Korvani.exe,0' &&
        $(value UninstallString) == *"\\Uninstall.exe\" /$mode" &&
        $(value QuietUninstallString) == "\"$dir\\Uninstall.exe\" /$mode /S"* ]] ||
        fail "$mode: registration in $root: $registration"
    (($(value EstimatedSize) > 20000)) || fail "$mode: size $(value EstimatedSize) KB"
    [[ -z $(registration "$other") ]] || fail "$mode: registered in $other too"
    echo "== $mode: the program folder $folder, the shortcut and the registration are in place"

    # Started through the shortcut, as the Start menu starts it.
    "$wine" start "$(expand "$4")\\Korvani.lnk" >/dev/null 2>&1
    wait_for_main
    shows "$main" Suffix Add
    click_suffix && xdotool key ctrl+a && xdotool type --delay 40 "$mode.example"
    click_add
    wait_for 30 grep -q "^$mode.example=" "$own"
    cmp "$shipped" "$work/zip/Korvani.ini" || fail "$mode: the shipped Korvani.ini changed"
    cp "$own" "$work/own-$mode.ini"
    timeout 60 /usr/lib/wine/wineserver -k || true
    echo "== $mode: an Add from the installed program changed only $own"

    install ${switch:+"$switch"}
    cmp "$own" "$work/own-$mode.ini" || fail "$mode: the second install changed the user's copy"
    [[ -f $folder/Korvani.exe ]] || fail "$mode: the second install left no program"
    echo "== $mode: installed again over itself, the user's copy stays"

    uninstall "$root"
    # When the command has ended, as a deployment tool then looks: the program and its
    # registration are gone (the uninstaller's own file goes right after).
    [[ ! -e $folder/Korvani.exe && -z $(registration "$root") ]] ||
        fail "$mode: the silent uninstall ended before it removed the program"
    timeout 120 /usr/lib/wine/wineserver -w
    [[ ! -e $folder && ! -e $shortcut ]] || fail "$mode: left $(find "$folder" "$shortcut" 2>&1)"
    [[ -z $(registration "$root") ]] || fail "$mode: the registration stays"
    cmp "$own" "$work/own-$mode.ini" || fail "$mode: the uninstall changed the user's copy"
    echo "== $mode: uninstalled silently; only the user's copy stays"
}

check_mode AllUsers '' '%ProgramFiles%' '%ProgramData%\Microsoft\Windows\Start Menu\Programs' HKLM HKCU
check_mode CurrentUser /CurrentUser '%LOCALAPPDATA%\Programs' '%APPDATA%\Microsoft\Windows\Start Menu\Programs' HKCU HKLM

# For all users into C:\Korvani, where a zip copy was unpacked and its list got a suffix.
# (c) The list moves to the user's own copy; the folder holds the shipped Korvani.ini.
# (a) With Korvani running from there (an old one: another DisplayVersion, other bytes),
# the silent install stops with exit code 3 and changes no file and no registry value;
# (b) so does the silent uninstall as it is registered, and with Korvani.exe in use (a
# process stopped before Korvani's main, under winedbg, with no mutex) it stops with 4 and
# removes nothing. The last uninstall leaves the user's copy with the zip copy's list.
# (d) Into a zip copy whose folder takes no new file, the install stops with exit code 5
# and changes nothing: no registration, no shortcut, the folder's list stays where it is.
# (e) Into a zip copy unpacked again whose list is byte for byte the user's own copy, or
# the list kept beside it from an earlier zip copy, the install adds no file; a list that
# differs from the user's copy in the case of one letter is kept beside it.
check_in_use() {
    local dir='C:\Korvani' folder shortcut own owndir before blocked again list kept
    local -a watched
    new_prefix prefix-in-use
    folder=$(unix "$dir")
    shortcut=$(unix "$(expand '%ProgramData%\Microsoft\Windows\Start Menu\Programs')\Korvani.lnk")
    own=$(unix "$(expand '%APPDATA%')\Korvani\Korvani.ini")
    owndir=$(dirname "$own")
    watched=("$folder" "$shortcut" "$owndir")
    mkdir -p "$folder" && unzip -q "$zip" -d "$folder"
    printf 'zip-copy.example=\r\n' >>"$folder/Korvani.ini"
    cp "$folder/Korvani.ini" "$work/zip-list.ini"
    install "/D=$dir"
    [[ -f $folder/Korvani.installed ]] && cmp "$own" "$work/zip-list.ini" &&
        cmp "$folder/Korvani.ini" "$work/zip/Korvani.ini" || fail "(c) the list is not in $own"
    echo "== (c) installed over a zip copy: its list is the user's copy now"

    "$wine" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvani' \
        /v DisplayVersion /d 0.9 /f >/dev/null 2>&1
    echo old >>"$folder/Korvani.exe"
    state() { { find "${watched[@]}" -type f -exec md5sum {} + 2>&1 || true; } | sort
        registration HKLM; }
    # $1 the row, $2 the exit code the command after them must end with, changing nothing.
    exits() {
        local code=0
        "${@:3}" >/dev/null 2>&1 || code=$?
        [[ $code == "$2" && $(state) == "$before" ]] ||
            fail "$1 exit code $code, wanted $2; changed: $(diff <(echo "$before") <(state))"
    }
    (cd "$folder" && exec timeout 600 "$wine" Korvani.exe) >/dev/null 2>&1 &
    disown $!
    wait_for_main
    before=$(state)
    [[ $before == *Korvani.exe* && $before == *'DisplayVersion    REG_SZ    0.9'* ]] ||
        fail "no old install: $before"
    exits '(a)' 3 timeout 300 "$wine" "$setup" /S
    echo "== (a) a silent install while Korvani runs: exit code 3, nothing changed"
    exits '(b)' 3 uninstall HKLM
    timeout 60 /usr/lib/wine/wineserver -k || true
    mkfifo "$work/winedbg-in" # winedbg waits for a command while it is open
    "$wine" winedbg "$dir\\Korvani.exe" <"$work/winedbg-in" >"$work/winedbg.txt" 2>&1 &
    debugger=$!
    exec 3>"$work/winedbg-in"
    wait_for 60 grep -q 'Wine-dbg>' "$work/winedbg.txt"
    exits '(b) in use:' 4 uninstall HKLM
    exec 3>&-
    timeout 60 /usr/lib/wine/wineserver -k || true
    # The debugger's own process ends after its wineserver: until then Korvani.exe may
    # still count as in use for the uninstall below.
    { sleep 60; kill "$debugger" 2>/dev/null; } &
    wait "$debugger" || true
    echo "== (b) a silent uninstall while Korvani runs (3), Korvani.exe in use (4): nothing changed"

    uninstall HKLM
    [[ ! -e $folder/Korvani.exe && -z $(registration HKLM) ]] ||
        fail "(c) not uninstalled: $(ls "$folder"; registration HKLM)"
    timeout 120 /usr/lib/wine/wineserver -w
    [[ ! -e $folder ]] || fail "(c) left $(ls "$folder")"
    cmp "$own" "$work/zip-list.ini" || fail "(c) the uninstall changed the user's copy"
    echo "== (c) uninstalled: the user's copy keeps the zip copy's list"

    # As root, Wine writes wherever Linux lets root write: the folder is made immutable (no
    # name can be added to it or taken from it, its files stay writable), or, where that is
    # not allowed (no CAP_LINUX_IMMUTABLE), a folder takes the uninstaller's name.
    blocked=$(unix 'C:\Blocked')
    mkdir -p "$blocked" && unzip -q "$zip" -d "$blocked"
    printf 'blocked.example=\r\n' >>"$blocked/Korvani.ini"
    if chattr +i "$blocked" 2>/dev/null; then
        frozen=$blocked
    else
        mkdir "$blocked/Uninstall.exe"
    fi
    watched=("$blocked" "$shortcut" "$owndir")
    before=$(state)
    exits '(d)' 5 timeout 300 "$wine" "$setup" /S '/D=C:\Blocked'
    [[ -z $frozen ]] || chattr -i "$frozen"
    frozen=
    echo "== (d) into a zip copy's folder that takes no new file: exit code 5, nothing changed"

    kept_lists() { find "$owndir" -type f -exec md5sum {} + | sort; }
    kept="$owndir/Korvani (zip copy 1).ini"
    printf '[Suffix]\r\nkept.example=\r\n' >"$kept"
    again=$(unix 'C:\Again')
    for list in "$own" "$kept"; do
        rm -rf "$again" && mkdir -p "$again" && unzip -q "$zip" -d "$again"
        cp "$list" "$again/Korvani.ini"
        before=$(kept_lists)
        install '/D=C:\Again'
        [[ $(kept_lists) == "$before" ]] || fail "(e) a list as $list: $(ls "$owndir")"
        cmp "$again/Korvani.ini" "$work/zip/Korvani.ini" || fail "(e) the shipped list is not in place"
    done
    # A list of the same size as the user's copy, one letter in another case, is not kept.
    rm -rf "$again" && mkdir -p "$again" && unzip -q "$zip" -d "$again"
    sed 's/zip-copy/Zip-copy/' "$own" >"$again/Korvani.ini"
    cp "$again/Korvani.ini" "$work/other-list.ini"
    install '/D=C:\Again'
    cmp "$owndir/Korvani (zip copy 2).ini" "$work/other-list.ini" ||
        fail "(e) another list is not kept: $(ls "$owndir")"
    echo "== (e) over zip copies whose list is kept already: no file added; another list is kept"
}
check_in_use
