#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
# As root it installs them; otherwise it prints the command to run and fails.
# --bench adds the tools the benchmarks compare against.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
    # The mailing centre's run chart.
    qt6-charts-dev
    libsqlite3-dev libssl-dev qtkeychain-qt6-dev
    mdbtools-dev pxlib-dev libfreexl-dev libgsf-1-dev libzip-dev
    # Spelling: Hunspell and the US English dictionary the first check copies in.
    libhunspell-dev hunspell-en-us
    # An independent DKIM verifier and SpamAssassin (offline) for the tests.
    python3-dkim spamassassin
    python3
    # The keyring tests run a private D-Bus session with GNOME's Secret Service.
    dbus gnome-keyring
)
if [ "${1:-}" = "--bench" ]; then
    # postfix brings smtp-sink and smtp-source, the reference for sending.
    packages+=(sqlite3 ripgrep clang libclang-rt-14-dev postfix time)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Postfix is installed unconfigured: the tests and benchmarks run private instances of their own.
echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
echo "postfix postfix/mailname string localhost" | debconf-set-selections
apt-get update -q
apt-get install -y -q "${missing[@]}"
