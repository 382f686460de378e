#!/usr/bin/env bash
# Installs everything needed to build, run and test vorn on Debian 12.
# Safe to run repeatedly; needs root (or sudo).
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config git python3
    clang clang-format libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
    libqt6webchannel6 qt6-webchannel-dev libqt6opengl6-dev libgl-dev libxcb1-dev
    libpugixml-dev liblzma-dev libsodium-dev
    libgtest-dev libbenchmark-dev
    xvfb xauth xdotool x11-utils openbox imagemagick fonts-dejavu-core
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
