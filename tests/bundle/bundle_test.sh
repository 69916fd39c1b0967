#!/usr/bin/env bash
# Tries the Linux bundle in clean Debian 12 and 13 systems (scripts/debian-system) against the
# trainer built here with Debian's Qt: both programs, the window, saving, settings, libraries loaded.
# Usage: bundle_test.sh ARCHIVE DEBIAN_BUILD_DIR [SCREENSHOT_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
support=$top/tests/support
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs the trainer (ROOT being its /) on FOLDER/track.ini with the announcer on, keeps window.png and
# maps, clicks the second section's photograph (in twips of the design), saves and quits.
drive() {
  local root=$1 folder=$2 settings=$3 && shift 3
  cp "$host/track.ini" "$root$folder/track.ini"
  mkdir -p "$(dirname "$root$settings")" && printf '/gone\r\nannouncer=on\r\n' >"$root$settings"
  "$@" "$folder/track.ini" & trainer=$!
  trap 'kill "$trainer" 2>"$host/log"' EXIT
  step() { out=$("$@") || fail "$*"; }
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "^Korsa Sorvena Trainer$" | awk 'NR == 1')
  [ -n "$window" ] || fail "no trainer window from $*"
  for _ in $(seq 1 100); do grep -rqs "file=track.ini" "$root$folder/home" && break || sleep 0.1; done
  step import -window "$window" "$root$folder/window.png"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  step xdotool mousemove --window "$window" $((4740 * WIDTH / 14256)) $((3280 * HEIGHT / 9612)) click 1
  step timeout 15 xdotool search --sync --onlyvisible --name "^\*Korsa Sorvena Trainer$"
  step timeout 15 xdotool windowfocus --sync "$window" key ctrl+s
  step timeout 15 xdotool search --sync --onlyvisible --name "^Korsa Sorvena Trainer$"
  cp "/proc/$trainer/maps" "$root$folder/maps"
  step timeout 15 xdotool windowfocus --sync "$window" key ctrl+q
  step timeout 15 tail -s 0.1 --pid="$trainer" -f "$host/track.ini"
  wait "$trainer" || fail "the trainer ended with status $?"
}

if [ "${1:-}" = --in-system ]; then # run by scripts/debian-system with the system ready in $SYSTEM
  archive=$2 debian=$3 host=$4 shots=$5
  release=$(basename "${SYSTEM%-*}") work=$(mktemp -d "$SYSTEM/tmp/korsa-bundle.XXXXXX")
  trap 'rm -rf --one-file-system "$work"' EXIT
  tar -xzf "$archive" -C "$work" && mkdir -m 700 "$work/home" "$work/runtime"
  inside=${work#"$SYSTEM"} bundle=$(ls -d "$work"/korsa-sorvena-trainer-*) && program=${bundle#"$SYSTEM"}
  run() { chroot "$SYSTEM" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$inside/home" LANG=C.UTF-8 "$@"; }

  [ "$(run "$program/korsa-sorvena-cli" --version)" = "$("$debian/korsa-sorvena-cli" --version)" ] || fail "$release: --version"
  cp "$host/track.ini" "$work/track.ini" && [ "$(run "$program/korsa-sorvena-cli" show "$inside/track.ini")" = "$("$debian/korsa-sorvena-cli" show "$host/track.ini")" ] ||
    fail "$release: show"
  missing=$(find "$bundle" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print | sed "s|^$SYSTEM||" |
    while read -r elf; do run ldd "$elf" | sed -n "s|^|$elf: |; /not found/p"; done)
  [ -z "$missing" ] || fail "$release: $missing"

  # A sound server of its own, its socket in the system reached by a short link (107 bytes at most).
  ln -sfn "$work" "$host/system"
  TMPDIR=$host/system "$support/pulseaudio.sh" "$support/with-xvfb.sh" 1280x1024 bash -c "$(declare -p host; declare -f drive fail)
    drive \"\$1\" \"\$2\" \"\$2/home/.config/Penhallow/Korsa Sorvena Trainer/Korsa Gridwell.ini\" \
    chroot \"\$1\" /usr/bin/env -i PATH=/usr/bin:/bin HOME=\"\$2/home\" XDG_RUNTIME_DIR=\"\$2/runtime\" LANG=C.UTF-8 \
    DISPLAY=\"\$DISPLAY\" PULSE_SERVER=\"unix:\$2\${PULSE_SERVER#unix:\$4}\" \"\$3/korsa-sorvena-trainer\"" \
    _ "$SYSTEM" "$inside" "$program" "$host/system"
  [ -z "$shots" ] || cp "$work/window.png" "$shots/$release.png"
  # A later freetype shades letters' edges a little differently; a letter changed or gone differs more.
  difference=$(compare -fuzz 20% -metric AE "$work/window.png" "$host/debian/window.png" null: 2>&1) || true
  [ "$difference" = 0 ] || fail "$release: the window differs from the Debian build's in $difference pixels"
  cmp "$work/track.ini" "$host/debian/track.ini" || fail "$release: the saved file differs from the Debian build's"
  cmp -s "$work/track.ini" "$host/track.ini" && fail "$release: nothing was saved"
  grep -rq "file=track.ini" "$work/home/.config/Penhallow" || fail "$release: no settings in ~/.config"
  [ -z "$(find "$bundle" -newer "$archive")" ] || fail "$release: files written into the bundle"

  # From outside the bundle: only the desktop's libraries, what those load, and the C library's.
  base=$(run sh -c 'for lib in stdc++.so.6 X11.so.6 X11-xcb.so.1 Xext.so.6 Xrender.so.1 fontconfig.so.1 freetype.so.6 \
    pulse.so.0 GL.so.1 EGL.so.1 OpenGL.so.0; do path=$(ldconfig -p | awk "\$1 == \"lib$lib\" { print \$NF; exit }")
      { echo "$path"; ldd "$path" | grep -o "/[^ ]*"; dpkg -L libc6 | grep "/lib.*\.so"; } | xargs readlink -f; done' | sort -u)
  outside=$(awk '$6 ~ /\.so/ { print $6 }' "$work/maps" | sed "s|^$SYSTEM||" | grep -v "^$program/" | sort -u)
  echo "$release: loaded from outside the bundle:" $outside
  for lib in $outside; do grep -qxF "$lib" <<<"$base" || fail "$release: $lib is not a desktop's library"; done
  for lib in "$program/lib/x86_64-linux-gnu/korsa-sorvena-trainer/sound-output.so" "$program/lib/libQt6Multimedia.so.6" \
    /usr/lib/x86_64-linux-gnu/libpulse.so; do grep -q " $SYSTEM$lib" "$work/maps" || fail "$release: $lib is not loaded"; done

  # The desktop entry, for a folder whose name needs quoting in it: installed, then removed.
  mv "$bundle" "$work/Korsa \$Trainer 100%" && export XDG_DATA_HOME=$host/data
  out=$("$work/Korsa \$Trainer 100%/install-desktop-entry") && entry=$(ls "$host"/data/applications/*.desktop)
  desktop-file-validate "$entry" || fail "$release: the installed entry is not valid"
  grep -qxF "Exec=\"$work/Korsa \\\\\$Trainer 100%%/korsa-sorvena-trainer\" %f" "$entry" || fail "$release: $(grep Exec= "$entry")"
  [ "$(find "$host/data/icons" -name "$(basename "$entry" .desktop).png" | wc -l)" = 8 ] || fail "$release: icons"
  out=$("$work/Korsa \$Trainer 100%/install-desktop-entry" --remove) && id=$(basename "$entry" .desktop)
  [ -z "$(find "$host/data" -name "$id*"; grep -rl "$id" "$host/data")" ] || fail "$release: --remove left files"
  exit 0
fi

archive=$(realpath "$1") debian=$(realpath "$2")/src/app shots=${3:-}
host=$(mktemp -d)
trap 'rm -rf "$host"' EXIT
printf '[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\nstall_0 = 1500 0.0\r\n' >"$host/track.ini"
# The Debian build, for the bytes and the picture to compare with: a copy in this test's home.
mkdir -p "$host/debian/home/program" && mkdir -m 700 "$host/runtime"
cp "$debian/korsa-sorvena-trainer" "$host/debian/home/program/"
HOME=$host/debian/home XDG_CONFIG_HOME=$host/debian/home/.config XDG_RUNTIME_DIR=$host/runtime \
  "$support/pulseaudio.sh" "$support/with-xvfb.sh" 1280x1024 bash -c "$(declare -p host; declare -f drive fail)
    drive '' \"\$1\" \"\$1/home/program/Korsa Gridwell.ini\" \"\$1/home/program/korsa-sorvena-trainer\"" _ "$host/debian"
[ -z "$shots" ] || { mkdir -p "$shots" && cp "$host/debian/window.png" "$shots/debian-build.png"; }
for release in bookworm trixie; do
  status=0
  "$top/scripts/debian-system" "$release" "$0" --in-system "$archive" "$debian" "$host" "$shots" || status=$?
  [ "$status" = 0 ] || exit $((status == 77 ? 0 : status)) # 77: scripts/debian-system said why it skipped
done
echo "bundle OK"
