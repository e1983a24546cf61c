#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing: with "run" only what building
# and running the program needs, otherwise also the tools of the tests (benchmarks, clang for the
# fuzz targets, clang-format). Run as root it calls apt-get itself; otherwise through sudo.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ pkg-config
    qtbase5-dev libqt5serialport5-dev libqcustomplot-dev qttranslations5-l10n
    libfftw3-dev fonts-dejavu-core
)
if [ "${1:-test}" != "run" ]; then
    PACKAGES+=(libbenchmark-dev clang libclang-rt-14-dev clang-format)
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
