#!/usr/bin/env bash
# Tries the Linux bundle in clean Debian 12 and 13 systems (tests/bundle/system.sh) that have only
# what every desktop has, against the trainer built on this system with Debian's Qt. In each: the
# command-line tool runs; the trainer shows an accepted file on an X server run here and shared into
# the system, looking as the Debian build does; a section click and Ctrl+S write the same bytes;
# its settings go to the user's configuration folder; and every library it loads comes from the
# bundle or from the system's desktop libraries.
# Says in one line that it skipped, and succeeds, when the archive cannot be reached.
# Usage: bundle_test.sh ARCHIVE DEBIAN_BUILD_DIR [SCREENSHOT_DIR]
set -euo pipefail
archive=$(realpath "$1")
debian=$(realpath "$2")/src/app
shots=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
support=$(cd "$here/../support" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

systems=()
for release in bookworm trixie; do
  status=0
  system=$("$here/system.sh" "$release") || status=$?
  if [ "$status" -eq 77 ]; then
    echo "bundle test skipped: the Debian archive cannot be reached to make the clean systems"
    exit 0
  fi
  [ "$status" -eq 0 ] || fail "no clean $release system"
  systems+=("$system")
done

host=$(mktemp -d)
trap 'rm -rf "$host"' EXIT
trap 'exit 143' TERM INT HUP
printf '[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\nstall_0 = 1500 0.0\r\n' >"$host/track.ini"
[ -z "$shots" ] || mkdir -p "$shots"

# Runs the trainer command given, with HOME and the track file in FOLDER (as the trainer sees it:
# ROOT is what the process takes for /) and its settings file at SETTINGS, on this display: the
# announcer is on, so the sound module is loaded. Waits for its window, keeps a picture of it,
# clicks the second section's photograph, saves with Ctrl+S, waits for the file to change and ends
# the trainer with Ctrl+Q. Leaves maps (its libraries), window.png and the saved track.ini.
drive() {
  local root=$1 folder=$2 settings=$3
  shift 3
  cp "$host/track.ini" "$root$folder/track.ini"
  mkdir -p "$(dirname "$root$settings")"
  printf '/gone\r\nannouncer=on\r\n' >"$root$settings"
  "$@" "$folder/track.ini" &
  trainer=$!
  trap 'kill "$trainer" 2>/dev/null' EXIT
  step() { "$@" >/dev/null || fail "$*"; }
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "^Korsa Sorvena Trainer$" | head -n 1)
  [ -n "$window" ] || fail "no trainer window from $*"
  # The settings name the accepted file once it is shown.
  for _ in $(seq 1 100); do
    grep -rqs "file=track.ini" "$root$folder/home" && break
    sleep 0.1
  done
  step import -window "$window" "$root$folder/window.png"
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The second section's photograph: its centre at 4740 x 3280 of the 14256 x 9612 twips design.
  step xdotool mousemove --window "$window" $((4740 * WIDTH / 14256)) $((3280 * HEIGHT / 9612)) click 1
  step timeout 15 xdotool search --sync --onlyvisible --name "^\*Korsa Sorvena Trainer$"
  step timeout 15 xdotool windowfocus --sync "$window" key ctrl+s
  step timeout 15 xdotool search --sync --onlyvisible --name "^Korsa Sorvena Trainer$"
  cp "/proc/$trainer/maps" "$root$folder/maps"
  step timeout 15 xdotool windowfocus --sync "$window" key ctrl+q
  for _ in $(seq 1 100); do kill -0 "$trainer" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$trainer" 2>/dev/null && fail "Ctrl+Q did not end the trainer"
  wait "$trainer" || fail "the trainer ended with status $?"
}

# The Debian build on this system, for the bytes and the picture to compare with: a copy in a folder
# of its own in this test's home, where it keeps its settings beside itself.
mkdir -p "$host/debian/home/program"
mkdir -m 700 "$host/runtime"
cp "$debian/korsa-sorvena-trainer" "$host/debian/home/program/"
HOME=$host/debian/home XDG_CONFIG_HOME=$host/debian/home/.config XDG_RUNTIME_DIR=$host/runtime \
  "$support/pulseaudio.sh" "$support/with-xvfb.sh" 1280x1024 bash -c "$(declare -p host; declare -f drive fail)
    drive '' \"\$1\" \"\$1/home/program/Korsa Gridwell.ini\" \"\$1/home/program/korsa-sorvena-trainer\"" _ "$host/debian"
expected_show=$("$debian/korsa-sorvena-cli" show "$host/track.ini")

for system in "${systems[@]}"; do
  release=$(basename "$system")
  release=${release%-*}
  echo "-- $release"
  (
    # One test at a time in a cached system; its mounts and files go, whatever happens.
    exec 9>"$system.lock"
    flock 9
    work=$(mktemp -d "$system/tmp/korsa-bundle.XXXXXX")
    inside=${work#"$system"}
    mounts=()
    cleanup() {
      local i
      for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}"; done
      rm -rf --one-file-system "$work"
    }
    trap cleanup EXIT
    trap 'exit 143' TERM INT HUP
    mount -t proc proc "$system/proc" && mounts+=("$system/proc")
    mount --bind /dev "$system/dev" && mounts+=("$system/dev")
    mkdir -p "$system/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$system/tmp/.X11-unix" && mounts+=("$system/tmp/.X11-unix")

    tar -xzf "$archive" -C "$work"
    bundle=$(ls -d "$work"/korsa-sorvena-trainer-*)
    program=${bundle#"$system"}
    mkdir -p "$work/home"
    run() { chroot "$system" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$inside/home" LANG=C.UTF-8 "$@"; }
    mkdir -m 700 "$work/runtime"

    version=$(run "$program/korsa-sorvena-cli" --version) || fail "$release: --version: $version"
    [ "$version" = "$("$debian/korsa-sorvena-cli" --version)" ] || fail "$release: --version printed $version"
    cp "$host/track.ini" "$work/track.ini"
    show=$(run "$program/korsa-sorvena-cli" show "$inside/track.ini") || fail "$release: show: $show"
    [ "$show" = "$expected_show" ] || fail "$release: show printed $show"

    # Every file of the bundle finds each library it needs.
    missing=$(find "$bundle" -type f \( -name '*.so*' -o -perm -u+x \) -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print |
      sed "s|^$system||" | while read -r elf; do run ldd "$elf" | sed -n "s|^|$elf: |; /not found/p"; done)
    [ -z "$missing" ] || fail "$release: $missing"

    # A sound server of its own, its socket in this test's folder inside the system (reached
    # through a link with a short name: a socket's path has at most 107 bytes).
    ln -sfn "$work" "$host/system"
    TMPDIR=$host/system "$support/pulseaudio.sh" "$support/with-xvfb.sh" 1280x1024 bash -c "$(declare -p host; declare -f drive fail)
      drive \"\$1\" \"\$2\" \"\$2/home/.config/Penhallow/Korsa Sorvena Trainer/Korsa Gridwell.ini\" \
      chroot \"\$1\" /usr/bin/env -i PATH=/usr/bin:/bin HOME=\"\$2/home\" XDG_RUNTIME_DIR=\"\$2/runtime\" LANG=C.UTF-8 \
      DISPLAY=\"\$DISPLAY\" PULSE_SERVER=\"unix:\$2\${PULSE_SERVER#unix:\$4}\" \"\$3/korsa-sorvena-trainer\"" \
      _ "$system" "$inside" "$program" "$host/system"

    cmp "$work/track.ini" "$host/debian/track.ini" || fail "$release: the saved file differs from the Debian build's"
    cmp -s "$work/track.ini" "$host/track.ini" && fail "$release: nothing was saved"
    grep -q "file=track.ini" "$work/home/.config/Penhallow/Korsa Sorvena Trainer/Korsa Gridwell.ini" ||
      fail "$release: no settings in ~/.config"
    [ -z "$(find "$bundle" -newer "$archive" -type f)" ] || fail "$release: files written into the bundle"
    [ -z "$shots" ] || cp "$work/window.png" "$shots/$release.png"
    # The window as the Debian build draws it, captions of the accepted file included. A later
    # system's freetype shades the edges of letters a little differently: shades within 20 % pass,
    # a letter changed or gone does not.
    difference=$(compare -fuzz 20% -metric AE "$work/window.png" "$host/debian/window.png" null: 2>&1) || true
    [ "$difference" = 0 ] || fail "$release: the window differs from the Debian build's in $difference pixels"

    # Libraries from outside the bundle: only the desktop's own, what those load and the C library's.
    base=$(run sh -c 'for lib in libstdc++.so.6 libX11.so.6 libX11-xcb.so.1 libXext.so.6 libXrender.so.1 \
      libfontconfig.so.1 libfreetype.so.6 libpulse.so.0 libGL.so.1 libEGL.so.1 libOpenGL.so.0; do
        path=$(ldconfig -p | awk -v lib=$lib "\$1 == lib { print \$NF; exit }")
        readlink -f "$path"
        ldd "$path" | awk "/=> \\// { print \$3 } /^\t\\// { print \$1 }" | xargs -r readlink -f
      done
      dpkg -L libc6 | grep "/lib.*\.so" | xargs -r readlink -f' | sort -u)
    # The kernel names the files as this system sees them, below the clean system's folder.
    outside=$(awk '$6 ~ /\.so/ { print $6 }' "$work/maps" | sed "s|^$system||" | grep -v "^$program/" | sort -u)
    echo "$release: loaded from outside the bundle:" $outside
    for lib in lib/x86_64-linux-gnu/korsa-sorvena-trainer/sound-output.so lib/libQt6Multimedia.so.6; do
      grep -q " $system$program/$lib\$" "$work/maps" || fail "$release: $lib is not loaded"
    done
    grep -q "/libpulse.so" "$work/maps" || fail "$release: libpulse is not loaded"
    for lib in $outside; do
      grep -qxF "$lib" <<<"$base" || fail "$release: $lib is not a desktop's library"
    done

    # The desktop entry, for a folder whose name needs quoting in it: installed, then removed.
    moved="$work/Korsa \$Trainer 100%"
    mv "$bundle" "$moved"
    data=$host/data
    XDG_DATA_HOME=$data "$moved/install-desktop-entry" >/dev/null
    entry=$(ls "$data"/applications/*.desktop)
    desktop-file-validate "$entry" || fail "$release: the installed entry is not valid"
    grep -qxF "Exec=\"$work/Korsa \\\\\$Trainer 100%%/korsa-sorvena-trainer\" %f" "$entry" ||
      fail "$release: $(grep Exec= "$entry")"
    [ "$(find "$data/icons" -name "$(basename "$entry" .desktop).png" | wc -l)" = 8 ] || fail "$release: icons"
    XDG_DATA_HOME=$data "$moved/install-desktop-entry" --remove >/dev/null
    [ -z "$(find "$data" -type f -name "$(basename "$entry" .desktop)*")" ] || fail "$release: --remove left files"
  )
done
[ -z "$shots" ] || cp "$host/debian/window.png" "$shots/debian-build.png"
echo "bundle OK"
