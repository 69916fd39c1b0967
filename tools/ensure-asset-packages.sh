#!/bin/sh
# Installs the Debian packages that regenerating the assets needs, when any is missing. Only
# tools/regenerate-assets needs these; building and testing the program does not.
set -eu
packages="g++ cmake ninja-build qt6-base-dev fonts-dejavu-core festival festvox-us-slt-hts sox python3"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
