#!/bin/sh
# Starts Korvani on a virtual screen with its own session and accessibility bus, and prints
# what a screen reader finds there (tests/ui/atspi_tree.py). Needs the Debian packages
# xvfb, dbus, at-spi2-core and python3-pyatspi.
# Usage: tests/ui/atspi_tree.sh [build folder, default build]
set -u
program="$(cd "${1:-build}" && pwd)/bin/Korvani"
here="$(cd "$(dirname "$0")" && pwd)"
display=:$((90 + $$ % 100))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
screen=$!
trap 'kill $screen' EXIT
sleep 1
# shellcheck disable=SC2016 # the inner shell expands its own arguments
DISPLAY=$display dbus-run-session -- sh -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    sleep 1
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$1" >/dev/null 2>&1 &
    program=$!
    /usr/bin/python3 "$2"/atspi_tree.py Korvani
    result=$?
    kill $program
    exit $result' sh "$program" "$here" 2>/dev/null
