#!/usr/bin/env bash
# The trainer of the portable folder under Wine (in wine.sh's prefix, on with-xvfb.sh's screen),
# driven through xdotool: a track file in a folder of a non-ASCII name, given on the command line,
# is accepted; the window has the layout's size for the screen; Save writes the same bytes as on
# Linux; and once the file has the Read Only attribute, Save gives the save message with its cause
# under it (read from the box's text as Ctrl+C copies it). The screen after the save goes to SHOT.
# Usage: trainer.sh PORTABLE_FOLDER SHOT
set -euo pipefail
portable=$1 shot=$2

program=$SCRATCH/program track="$SCRATCH/Spiele Jürgen/track.ini"
cp -r "$portable" "$program"
mkdir -p "$(dirname "$track")"
head=$'[ HEADER ]\r\ntrack_name_short = Sorvena\r\ntrack_length = 44.732 miles\r\n'
printf '%sstall_0 = 1500 0.0\r\n' "$head" | tee "$track" >"$SCRATCH/before"
printf '%sstall_0 = 12200 0.0\t\t; Modified by Korsa Gridwell\r\n\r\n[ GRIDWELL ]\r\nstall_0 = 1500 0.0\r\n' \
  "$head" >"$SCRATCH/saved"
wine "$program/korsa-sorvena-trainer.exe" "$(win "$track")" &
poll shown 'Korsa Sorvena Trainer' >/dev/null || fail "no main window"
# Accepted: the settings file beside the program names it, and no message box came.
poll grep -qx $'file=track.ini\r' "$program/Korsa Gridwell.ini" || fail "the file was not accepted"
[ "$(xdotool search --onlyvisible --name . | wc -l)" = 1 ] || fail "windows besides the main one"

# The window's outer size is the design's 950 x 660 pixels times the screen's lines / 1024.
eval "$(xdotool getwindowgeometry --shell "$(shown 'Korsa Sorvena Trainer')")"
lines=$(xdotool getdisplaygeometry | cut -d' ' -f2)
for got in "$WIDTH 950" "$HEIGHT 660"; do
  set -- $got
  [ $(($1 * 1024 - $2 * lines)) -le $((1024 + lines / 2)) ] && [ $(($2 * lines - $1 * 1024)) -le $((1024 + lines / 2)) ] ||
    fail "window ${WIDTH}x$HEIGHT on $lines lines"
done
# A control's place: twips of the 14256 x 9612 client area, below a menu bar of 19 design pixels.
menu=$(((HEIGHT * 1024 + lines / 2) / lines - 641))
click() { xdotool mousemove $((X + $1 * WIDTH / 14256)) $((Y + menu + $2 * (HEIGHT - menu) / 9612)) click 1; }
click 4740 3280 # the Dunes' picture
click 1086 1446 # Save
poll cmp -s "$track" "$SCRATCH/saved" || fail "saved: $(od -c "$track")"
cmp -s "$track.bak" "$SCRATCH/before" || fail "the backup: $(od -c "$track.bak")"
# The picture, for the eye: taken once two grabs of the screen are alike.
settled() { [ "$(import -window root rgb:- | md5sum)" = "$(import -window root rgb:- | md5sum)" ]; }
mkdir -p "$(dirname "$shot")"
poll settled && import -window root "$shot"

wine cmd /c attrib +r "$(win "$track")"
click 7860 3280 # the SR 47 Bridge's picture
click 1086 1446
poll shown 'File Save Error' >/dev/null || fail "no message on saving a Read Only file"
box=$(shown 'File Save Error')
xdotool windowfocus --sync "$box" key ctrl+c
poll sh -c 'xclip -o -selection clipboard | grep -q "read-only"' || fail "the message: $(xclip -o -selection clipboard)"
xclip -o -selection clipboard | tr -d '\r' | grep -x "The file is marked read-only." >/dev/null || fail "no cause line"
xdotool key Return
cmp -s "$track" "$SCRATCH/saved" || fail "the Read Only file changed"
