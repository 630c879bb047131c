#!/usr/bin/env bash
# Installs the Debian 12 packages Pellamor needs to build, run and test, skipping what is already there.
# Usage: scripts/install-deps.sh [run|test]   (default: test, which is a superset of run)
set -euo pipefail

purpose=${1:-test}

build_packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-image-formats-plugins qt6-qpa-plugins libgl-dev
    libheif-dev qt6-svg-dev libxcb1-dev libxcb-xfixes0-dev libxcb-xtest0-dev libdbus-1-dev libwayland-dev libwayland-bin
    python3 unicode-data libtesseract-dev
)
run_packages=(fonts-noto-cjk fonts-material-design-icons-iconfont fonts-noto-color-emoji qt6-translations-l10n
    tesseract-ocr-chi-sim tesseract-ocr-eng)
test_packages=(libbenchmark-dev ccache xvfb xauth xclip x11-utils xdotool procps trayer python3 clang-format
    desktop-file-utils appstream dpkg-dev file lintian sway wl-clipboard openbox dbus imagemagick fonts-dejavu-core)

packages=("${build_packages[@]}" "${run_packages[@]}")
[ "$purpose" = test ] && packages+=("${test_packages[@]}")

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "These packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
