#!/usr/bin/env bash
# Installs what the Windows build and its tests under Wine need, when any is missing: MinGW-w64,
# NSIS, Wine, and a source entry for Debian's archive so Qt's source package can be fetched.
set -euo pipefail
packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools nsis zip unzip dpkg-dev wine64 wine xvfb xauth xdotool xclip imagemagick fonts-liberation)
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
sources=/etc/apt/sources.list.d/korsa-sorvena-trainer-src.sources
if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  # The same archive and suites as the binary packages come from.
  $sudo tee "$sources" >/dev/null <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $(. /etc/os-release && echo "$VERSION_CODENAME")
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  $sudo apt-get update -qq || true
fi
exec "$(dirname "$0")/../ensure-packages.sh" "${packages[@]}"
