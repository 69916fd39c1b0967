#!/usr/bin/env bash
# Installs the build into a staging folder and checks what a desktop finds there.
# Usage: install_layout.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1 id=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
root=$stage/usr share=$stage/usr/share
module=lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/korsa-sorvena-trainer/sound-output.so
expected=(bin/korsa-sorvena-trainer bin/korsa-sorvena-cli "$module" "share/applications/$id.desktop"
  "share/metainfo/$id.metainfo.xml" share/man/man1/korsa-sorvena-trainer.1.gz share/man/man1/korsa-sorvena-cli.1.gz
  share/doc/korsa-sorvena-trainer/copyright share/doc/korsa-sorvena-trainer/changelog.Debian.gz
  share/lintian/overrides/korsa-sorvena-trainer)
for size in 16 22 24 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png"); done
actual=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
[ "$actual" = "$(printf '%s\n' "${expected[@]}" | sort)" ] || fail "installed: $actual"
for f in "$root"/bin/*; do [ -x "$f" ] || fail "$f is not executable"; done
# The trainer finds its sound module beside its own folder (a UTF-16 string in the binary, which
# strings may join to the text stored just before it); the
# build tree, which it also tries, is not there on a user's machine.
strings -el "$root/bin/korsa-sorvena-trainer" | grep -F "/../$module" >/dev/null || fail "the trainer does not look for $module"
for size in 16 22 24 32 48 64 128 256; do # each icon a PNG of its folder's size
  [ "$(identify -format '%m %wx%h' "$share/icons/hicolor/${size}x${size}/apps/$id.png")" = "PNG ${size}x${size}" ] || fail "icon $size"
done

desktop-file-validate "$share/applications/$id.desktop"
grep -qx 'Exec=korsa-sorvena-trainer %f' "$share/applications/$id.desktop" || fail "Exec line"
grep -qx "Icon=$id" "$share/applications/$id.desktop" || fail "Icon line"
# "Open with": a track.ini is text/plain, or Wine's type once Wine has registered *.ini in the
# user's own MIME database; the entry lists it, and the desktop's application registry (GIO) offers
# the trainer for it once the cache a package's trigger keeps is made. Asked as a desktop without
# helpers of its own would ask, and as GNOME's would.
export XDG_DATA_DIRS=$share:/usr/share XDG_DATA_HOME=$stage/home/.local/share XDG_CONFIG_HOME=$stage/home
export PATH=$root/bin:$PATH
update-desktop-database "$share/applications"
printf '[ HEADER ]\r\ntrack_length = 44.732 miles\r\n' >"$stage/track.ini"
mimetypes=$(sed -n 's/^MimeType=//p' "$share/applications/$id.desktop")
for expected_type in text/plain application/x-wine-extension-ini; do
  if [ "$expected_type" != text/plain ]; then
    mkdir -p "$XDG_DATA_HOME/mime/packages"
    echo "<mime-info xmlns='http://www.freedesktop.org/standards/shared-mime-info'><mime-type type='$expected_type'>
      <glob pattern='*.ini'/></mime-type></mime-info>" >"$XDG_DATA_HOME/mime/packages/wine.xml"
    update-mime-database "$XDG_DATA_HOME/mime"
  fi
  for desktop in "" GNOME; do
    filetype=$(XDG_CURRENT_DESKTOP=$desktop xdg-mime query filetype "$stage/track.ini")
    [ "$filetype" = "$expected_type" ] || fail "a track.ini is $filetype, not $expected_type (desktop: ${desktop:-none})"
    [[ ";$mimetypes" == *";$filetype;"* ]] || fail "the entry lists $mimetypes, not $filetype"
    gio mime "$filetype" | grep -x "[[:space:]]*$id.desktop" >/dev/null || fail "GIO does not offer the trainer for $filetype"
  done
done

appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$share/metainfo/$id.metainfo.xml" ||
  fail "metainfo does not launch the desktop entry"
for page in "$share"/man/man1/*.1.gz; do # manual pages format without warnings
  warnings=$(zcat "$page" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$page: $warnings"
done
echo "install layout OK"
