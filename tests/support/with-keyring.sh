#!/bin/sh
# Runs a test program in a D-Bus session of its own with an unlocked GNOME keyring serving the Secret
# Service, so tests never read or write the keyring of the person running them. Works as root and
# without a desktop session.
if [ -z "$TAMBERLYN_KEYRING_SESSION" ]; then
    export TAMBERLYN_KEYRING_SESSION=1
    exec dbus-run-session -- "$0" "$@"
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# The daemon keeps its keyring and control socket in the temporary folder; it leaves with the session.
echo tamberlyn-test |
    XDG_DATA_HOME="$dir" XDG_RUNTIME_DIR="$dir" gnome-keyring-daemon --unlock --components=secrets >/dev/null
"$@"
