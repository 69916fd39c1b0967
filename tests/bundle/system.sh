#!/usr/bin/env bash
# Makes, once, a clean Debian system of the given release (bookworm, trixie) with only what every
# desktop has besides the C and C++ runtimes: the X11 client libraries, fontconfig and freetype,
# the PulseAudio client library, OpenGL's loaders and a font. No Qt. The system is kept in the
# project's cache, named by its release and package list, and reused; the path is printed.
# Exits with 77 when the archive cannot be reached and no such system is cached.
# Usage: system.sh RELEASE
set -euo pipefail
release=$1
mirror=http://deb.debian.org/debian
packages=libx11-6,libx11-xcb1,libxcb1,libxext6,libxrender1,libfontconfig1,libfreetype6,libpulse0,libgl1,libegl1,libopengl0,fonts-liberation
cache=${XDG_CACHE_HOME:-$HOME/.cache}/korsa-sorvena-trainer/chroots
key=$(printf '%s %s' "$release" "$packages" | sha256sum | cut -c1-12)
system=$cache/$release-$key
if [ -f "$system/.complete" ]; then
  echo "$system"
  exit 0
fi
if ! timeout 20 bash -c "exec 3<>/dev/tcp/deb.debian.org/80" 2>/dev/null; then
  echo "system.sh: $mirror cannot be reached" >&2
  exit 77
fi
mkdir -p "$cache"
partial=$(mktemp -d "$cache/.partial-$release-XXXXXX")
# debootstrap mounts /proc and /sys inside while it installs; whatever it leaves mounted on a
# failure is unmounted before the half-made tree goes.
cleanup() {
  for mount in $(awk -v root="$partial" 'index($2, root) == 1 { print $2 }' /proc/mounts | sort -r); do
    umount -l "$mount" || true
  done
  rm -rf --one-file-system "$partial"
}
trap cleanup EXIT
# Debian 12's archive keyring holds the key that signs the newer releases' indexes too (each
# release is signed by the current and the previous archive keys); the signature is checked.
debootstrap --variant=minbase --include="$packages" --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
  "$release" "$partial" "$mirror" >"$partial.log" 2>&1 || {
  tail -n 20 "$partial.log" >&2
  rm -f "$partial.log"
  exit 1
}
rm -f "$partial.log"
printf 'deb %s %s main\n' "$mirror" "$release" >"$partial/etc/apt/sources.list"
rm -rf "$partial"/var/cache/apt/archives/*.deb
touch "$partial/.complete"
rm -rf "$system"
mv "$partial" "$system"
trap - EXIT
echo "$system"
