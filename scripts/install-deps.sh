#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Varnelt need.
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config clang
    qt6-base-dev qt6-base-private-dev libgl-dev
    # lupdate and lrelease for the English catalogue, and their CMake functions
    qt6-l10n-tools qt6-tools-dev
    # Qt's own dialogs and standard buttons in Japanese
    qt6-translations-l10n
    libarchive-dev liblhasa-dev libmspack-dev zlib1g-dev libbz2-dev liblzma-dev libseccomp-dev
    # inflate (zlib stands in where it is missing)
    libisal-dev
    libgtest-dev libgmock-dev
    fonts-ipafont-gothic
    # fixtures and reference testers
    zip unzip 7zip jlha-utils gcab lhasa cabextract libarchive-tools
    # the window under a virtual display; a message bus of the tests' own
    xvfb xauth xdotool imagemagick dbus-daemon
    # the manual pages, rendered and checked by the tests
    man-db groff-base
    # the Debian package (cpack reads its programs with file and dpkg-shlibdeps) and the
    # checks of its metadata
    dpkg-dev file appstream desktop-file-utils python3
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
