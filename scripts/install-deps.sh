#!/usr/bin/env bash
# Installs what building, running and testing Torvix needs on Debian 12. Does nothing when
# everything is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev libxcb1-dev libxcb-randr0-dev
    libwayland-dev qt6-wayland weston
    libgtest-dev googletest
    libcups2-dev libldap2-dev libsasl2-dev libsasl2-modules-gssapi-mit libsystemd-dev
    fonts-ipafont-mincho
    libsqlite3-dev
    xvfb xauth fluxbox xdotool xclip x11-utils imagemagick
    wl-clipboard sway procps
    at-spi2-core python3-pyatspi dbus-daemon dbus-x11
    iproute2 iputils-ping
    cups cups-bsd cups-client printer-driver-cups-pdf poppler-utils
    slapd ldap-utils
    systemd-journal-remote util-linux
    clang libclang-rt-14-dev
    dpkg-dev desktop-file-utils appstream lintian librsvg2-bin man-db groff-base bsdextrautils
    ansible-core
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps: all packages present"
    exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
