#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail

# Names given as arguments are installed instead of the build's own list (the Windows build's script
# passes its own).
packages=(
  g++ clang clang-format cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev libqt6multimedia6 qt6-qpa-plugins
  gstreamer1.0-plugins-base gstreamer1.0-pulseaudio
  fonts-liberation
  xvfb xauth xdotool x11-utils x11-xserver-utils imagemagick
  dpkg-dev desktop-file-utils appstream groff-base
  lintian devscripts xdg-utils libfile-mimeinfo-perl libglib2.0-bin shared-mime-info
  pulseaudio pulseaudio-utils
  locales-all
  libclang-rt-14-dev libxcb1-dev
  gcovr
  fusefat dosfstools ntfs-3g strace acl attr
  patchelf debootstrap
)
if [ $# -gt 0 ]; then packages=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
