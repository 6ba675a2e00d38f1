# A private X display (Xvfb, no TCP) and a private session bus (dbus-daemon with no service
# activation, so nothing of the machine's own desktop is started on it) for the desktop tests.
# Sourced by the scripts.
#   start_test_desktop   # exports DISPLAY and DBUS_SESSION_BUS_ADDRESS
#   stop_test_desktop    # stops both (by their own pids) and removes their files
start_test_desktop() {
    DG_DESKTOP_DIR=$(mktemp -d "${TMPDIR:-/tmp}/drossgate-desktop.XXXXXX") || return 1
    # Xvfb picks a free display number itself and writes it once it accepts connections.
    local display
    exec {DG_XVFB_FD}< <(exec Xvfb -displayfd 1 -nolisten tcp -screen 0 1280x1024x24 \
        2>"$DG_DESKTOP_DIR/xvfb.log")
    DG_XVFB_PID=$!
    if ! read -r -t 30 display <&"$DG_XVFB_FD" || [ -z "$display" ]; then
        echo "desktop: Xvfb did not start:" >&2
        cat "$DG_DESKTOP_DIR/xvfb.log" >&2
        stop_test_desktop
        return 1
    fi
    export DISPLAY=":$display"
    sed "s|@DIR@|$DG_DESKTOP_DIR|" "$(dirname "${BASH_SOURCE[0]}")/private-bus.conf" \
        >"$DG_DESKTOP_DIR/bus.conf"
    local address
    exec {DG_BUS_FD}< <(exec dbus-daemon --config-file="$DG_DESKTOP_DIR/bus.conf" --nofork \
        --nopidfile --print-address=1 2>"$DG_DESKTOP_DIR/bus.log")
    DG_BUS_PID=$!
    if ! read -r -t 30 address <&"$DG_BUS_FD" || [ -z "$address" ]; then
        echo "desktop: dbus-daemon did not start:" >&2
        cat "$DG_DESKTOP_DIR/bus.log" >&2
        stop_test_desktop
        return 1
    fi
    export DBUS_SESSION_BUS_ADDRESS=$address
}

stop_test_desktop() {
    local pid fd
    for pid in ${DG_BUS_PID:-} ${DG_XVFB_PID:-}; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    for fd in ${DG_BUS_FD:-} ${DG_XVFB_FD:-}; do
        exec {fd}<&-
    done
    [ -n "${DG_DESKTOP_DIR:-}" ] && rm -rf "$DG_DESKTOP_DIR"
    unset DG_BUS_PID DG_XVFB_PID DG_BUS_FD DG_XVFB_FD DG_DESKTOP_DIR
}
