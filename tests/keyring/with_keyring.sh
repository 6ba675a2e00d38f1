#!/bin/sh
# Runs a keyring test on a private session bus in a fresh home:
#   with_keyring.sh daemon|none program [arguments]
# "daemon" starts an unlocked GNOME Keyring (secrets only) on that bus;
# "none" leaves the bus without one. The bus activates no services, so no
# keyring appears unless started here. DROSSGATE_KEYRING_TEST tells the
# program which it got ("missing" when the tools are not installed).
mode=$1
shift
home=$(mktemp -d "${TMPDIR:-/tmp}/drossgate-keyring-XXXXXX") || exit 1
trap 'rm -rf "$home"' EXIT
if ! command -v dbus-run-session >/dev/null 2>&1 ||
    { [ "$mode" = daemon ] && ! command -v gnome-keyring-daemon >/dev/null 2>&1; }; then
    DROSSGATE_KEYRING_TEST=missing "$@"
    exit $?
fi
mkdir -p "$home/data" "$home/config" "$home/cache" "$home/run"
chmod 700 "$home/run"
cat >"$home/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$home/run</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
    XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run" DROSSGATE_KEYRING_TEST="$mode"
unset GNOME_KEYRING_CONTROL SSH_AUTH_SOCK
# shellcheck disable=SC2016
exec dbus-run-session --config-file="$home/bus.conf" -- sh -c '
    if [ "$DROSSGATE_KEYRING_TEST" = daemon ]; then
        eval "$(printf test | gnome-keyring-daemon --daemonize --unlock --components=secrets)"
        export GNOME_KEYRING_CONTROL
        # The daemon takes its bus name after it has forked; wait for it, bounded.
        tries=0
        until dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
            grep -q true; do
            tries=$((tries + 1))
            [ "$tries" -ge 100 ] && break
            sleep 0.1
        done
        daemon=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.secrets \
            2>/dev/null | awk "/uint32/ { print \$2 }")
    fi
    "$@"
    status=$?
    [ -n "${daemon:-}" ] && kill "$daemon" 2>/dev/null
    exit $status
' sh "$@"
