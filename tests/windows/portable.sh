#!/usr/bin/env bash
# The portable zip under Wine (in wine.sh's prefix, on with-xvfb.sh's screen): unpacked on drive C:
# of a prefix whose drive Z:, the Linux file system where the build machine's Qt lies, is taken
# away, both programs run: so the folder holds every library and plugin they load. Both carry the
# program's icon and version.
# Usage: portable.sh ZIP
set -euo pipefail
zip=$1
unzip -q "$zip" -d "$WINEPREFIX/drive_c"
rm "$WINEPREFIX/dosdevices/z:"
folder="C:\\$(basename "$zip" .zip)"
version=$(wine "$folder\\korsa-sorvena-cli.exe" --version | tr -d '\r')
[[ "$version" =~ ^v[0-9]+\.[0-9]+\.[0-9]+\ by\ Penhallow$ ]] || fail "the tool says: $version"
# Each program carries the icon and a version resource of that version.
number=${version#v}
for exe in korsa-sorvena-trainer korsa-sorvena-cli; do
  resources=$(x86_64-w64-mingw32-windres -i "$WINEPREFIX/drive_c/$(basename "$zip" .zip)/$exe.exe" -O rc)
  for line in 'RT_GROUP_ICON' "\"OriginalFilename\", \"$exe.exe\"" "\"ProductVersion\", \"${number%% *}\""; do
    grep -qF "$line" <<<"$resources" || fail "$exe.exe has no $line"
  done
done
wine "$folder\\korsa-sorvena-trainer.exe" &
trainer=$!
poll xdotool search --onlyvisible --name '^Korsa Sorvena Trainer$' >/dev/null || fail "the trainer shows no window"
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^Korsa Sorvena Trainer$' | tail -n 1)" key ctrl+q
wait $trainer || fail "the trainer ended with status $?"
