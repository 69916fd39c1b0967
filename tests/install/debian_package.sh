#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a read-only tree and runs both programs from there:
# the command-line tool on a track file, the trainer on a 1920x1080 screen scaled by 2. With
# "release", for a build as it ships, Debian's own checks come first: lintian finds no error or
# warning (its notes are listed), and the programs and the sound module are hardened.
# Usage: debian_package.sh BUILD_DIR [release]
set -euo pipefail
build=$(cd "$1" && pwd)
support=$(cd "$(dirname "$0")/../support" && pwd)
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6 fonts-liberation; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib"
done

root=$work/root
dpkg-deb -x "$deb" "$root"; chmod -R a-w "$root"
if [ "${2:-}" = release ]; then
  report=$(lintian --display-info --fail-on none "$deb" 2>&1 | grep -v 'root privileges')
  echo "${report:-lintian: nothing to report}"
  grep -q '^[EW]: ' <<<"$report" && fail "lintian reports errors or warnings"
  # Control-flow marks reach a program only when every object linked carries them, and Debian
  # 12's C library start files do not, so no program built here gets them.
  hardening-check --nocfprotection "$root"/usr/bin/* "$root"/usr/lib/*/korsa-sorvena-trainer/*.so || fail "not hardened"
fi
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
printf '[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\nstall_0 = 1500 0.0\r\n' >"$work/track.ini"
out=$("$root/usr/bin/korsa-sorvena-cli" show "$work/track.ini")
[ "$out" = "The Sorvena Track Length Is  71989 Meters Long.
The Start Position Is  1500 Meters Or  2.1 Percent Beyond The Start Line." ] || fail "show printed: $out"

# The trainer starts (the screen has 1080 lines, 540 scaled pixels), shows its window without the
# sound libraries, which wait for the announcer, and ends with status 0 when the user quits it with Ctrl+Q.
QT_SCALE_FACTOR=2 "$support/with-xvfb.sh" 1920x1080 bash -c '
  "$1/usr/bin/korsa-sorvena-trainer" & trainer=$!
  stop() { echo "$1" >&2; kill $trainer 2>/dev/null; exit 1; }
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "^Korsa Sorvena Trainer$" | head -n 1)
  [ -n "$window" ] || stop "no trainer window"
  grep -q libQt6Multimedia "/proc/$trainer/maps" && stop "the sound libraries are loaded before any sound is wanted"
  xdotool windowfocus --sync "$window" key ctrl+q || stop "cannot reach the window"
  for _ in $(seq 1 100); do kill -0 $trainer 2>/dev/null || break; sleep 0.1; done
  kill -0 $trainer 2>/dev/null && stop "Ctrl+Q did not end the trainer"
  wait $trainer' _ "$root" || fail "trainer run"
echo "debian package OK"
