#!/bin/sh
# with_keyring.sh daemon|none program [arguments]: runs the program on a private session
# bus that activates nothing, in a fresh home, with an unlocked GNOME Keyring on the bus
# ("daemon", its process id in DROSSGATE_KEYRING_PID) or none. DROSSGATE_KEYRING_TEST says
# which ("missing": the tools are not installed).
mode=$1
shift
home=$(mktemp -d "${TMPDIR:-/tmp}/drossgate-keyring-XXXXXX") || exit 1
trap 'rm -rf "$home"' EXIT
if ! command -v dbus-run-session >/dev/null ||
    { [ "$mode" = daemon ] && ! command -v gnome-keyring-daemon >/dev/null; }; then
    DROSSGATE_KEYRING_TEST=missing "$@"
    exit
fi
mkdir -m 700 "$home/run"
sed "s|@DIR@|$home/run|" "$(dirname "$0")/../../scripts/lib/private-bus.conf" >"$home/bus.conf"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
    XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run" DROSSGATE_KEYRING_TEST="$mode"
unset GNOME_KEYRING_CONTROL
exec dbus-run-session --config-file="$home/bus.conf" -- sh -c '
    owner() { dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.$1 string:org.freedesktop.secrets 2>/dev/null; }
    if [ "$DROSSGATE_KEYRING_TEST" = daemon ]; then
        eval "$(printf test | gnome-keyring-daemon --daemonize --unlock --components=secrets)"
        export GNOME_KEYRING_CONTROL
        # It takes its bus name after forking: wait for it, at most 10 s.
        for _ in $(seq 100); do owner NameHasOwner | grep -q true && break; sleep 0.1; done
        daemon=$(owner GetConnectionUnixProcessID | awk "/uint32/ { print \$2 }")
        export DROSSGATE_KEYRING_PID="$daemon"
    fi
    "$@"
    status=$?
    [ -n "${daemon:-}" ] && kill -CONT "$daemon" && kill "$daemon" 2>/dev/null
    exit $status
' sh "$@"
