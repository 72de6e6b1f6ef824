#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Ondix need,
# when any is missing. Quiet and quick when everything is there.
set -euo pipefail

packages=(
    build-essential cmake
    qtbase5-dev qtbase5-dev-tools libqt5opengl5-dev qtscript5-dev libqwt-qt5-dev
    libgl-dev libglu1-mesa-dev libgl1-mesa-dri
    xvfb xauth fonts-dejavu-core
    python3-vtk9 qt5-image-formats-plugins
    libassimp-dev python3-matplotlib
    libopenmpi-dev openmpi-bin
)
# Further packages a caller needs (scripts/fuzz.sh asks for clang's).
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
