# Sourced by the tests: the user they run korvani as, and the window driver.
set -euo pipefail
tmp=${AUTOPKGTEST_TMP:-$(mktemp -d)}
user=korvaniuser
id "$user" >/dev/null 2>&1 || useradd --create-home "$user"
home=$(getent passwd "$user" | cut -d: -f6)

# as WHO COMMAND...: runs COMMAND as WHO (a user name or root) in WHO's home, with WHO's
# HOME, offscreen.
as() {
    local who=$1 dir
    shift
    dir=$(getent passwd "$who" | cut -d: -f6)
    (cd "$dir" && runuser -u "$who" -- env -i PATH=/usr/bin:/bin HOME="$dir" LANG=C.UTF-8 \
        QT_QPA_PLATFORM=offscreen "$@")
}

# drive WHO STEP...: starts the installed korvani as WHO with the window driver loaded and
# the steps given (see window-driver.cpp); prints what the driver says, and where the
# program fails or times out, says so with all of it on stderr (a caller's $(...) would
# swallow it).
driver=$tmp/window-driver.so
build_driver() {
    [[ -f "$driver" ]] && return
    # shellcheck disable=SC2046
    g++ -std=c++17 -shared -fPIC -o "$driver" "$(dirname "${BASH_SOURCE[0]}")/window-driver.cpp" \
        $(pkg-config --cflags --libs Qt6Widgets Qt6Test)
}
chmod 755 "$tmp"
drive() {
    local who=$1 steps
    shift
    build_driver
    steps=$(mktemp "$tmp/steps.XXXXXX")
    chmod 644 "$steps"
    printf '%s\n' "$@" >"$steps"
    local said code=0
    said=$(as "$who" KORVANI_DRIVER_STEPS="$steps" LD_PRELOAD="$driver" timeout 120 korvani 2>&1) ||
        code=$?
    printf '%s\n' "$said"
    if [[ $code -ne 0 ]]; then
        printf 'korvani as %s ended with %d at the steps: %s\nit said:\n%s\n' "$who" "$code" \
            "$*" "$said" >&2
        return "$code"
    fi
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
