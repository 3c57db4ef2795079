#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, test and run Spurwerk.
# Packages already present are skipped; nothing asks a question.
set -euo pipefail

packages=(
    cmake g++ make
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
    libgl-dev fonts-dejavu-core fonts-liberation2
    pkg-config libgraphviz-dev
    libsqlite3-dev
    libxxhash-dev  # a checksum in every record of the indexes (its header alone)
    liburing-dev  # small files opened, read and closed many at a time
    libpq-dev postgresql  # the office index; its tests start a server of their own
    xvfb xauth
    scdoc librsvg2-bin  # the manual pages and the icon sizes
    desktop-file-utils shared-mime-info appstream libglib2.0-bin man-db  # their test
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
