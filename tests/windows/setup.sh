#!/usr/bin/env bash
# The setup program under Wine (in wine.sh's prefix, on with-xvfb.sh's screen). /S installs the
# portable folder's files into the 64-bit Program Files, with a Start menu entry, an uninstaller
# registered with Apps & features, and "Open with" for .ini files that leaves their default program
# alone; the installed trainer starts. The uninstaller's /S then removes every file it installed and
# keeps the user's settings and track files.
# Usage: setup.sh SETUP_EXE PORTABLE_FOLDER
set -euo pipefail
setup=$1 portable=$2
listing() { (cd "$1" && find . -type f | sort); }
folder="$WINEPREFIX/drive_c/Program Files/Korsa Sorvena Trainer"
link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Korsa Sorvena Trainer.lnk"
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KorsaSorvenaTrainer'
progid=Penhallow.KorsaSorvenaTrainer.ini.1
# The .ini files' default program, which the setup leaves alone; it only adds the trainer to those offered.
default() { wine reg query 'HKLM\Software\Classes\.ini' /ve | tr -d '\r' | grep REG_; }
offered() { wine reg query 'HKLM\Software\Classes\.ini\OpenWithProgids' /v $progid >/dev/null 2>&1; }
before=$(default)

wine "$setup" /S
[ "$(listing "$folder")" = "$( (listing "$portable"; echo ./uninstall.exe) | sort)" ] || fail "installed: $(listing "$folder")"
grep -aq 'Korsa Sorvena Trainer\\korsa-sorvena-trainer.exe' "$link" || fail "no Start menu entry"
# A value read whole before it is searched: grep -q stopping early could break reg's pipe.
grep -q 'Korsa Sorvena Trainer\\uninstall.exe' <<<"$(wine reg query "$uninstall" /v UninstallString)" || fail "not in Apps & features"
grep -q 'uninstall.exe" /S' <<<"$(wine reg query "$uninstall" /v QuietUninstallString)" || fail "no silent uninstall"
grep -q 'korsa-sorvena-trainer.exe" "%1"' <<<"$(wine reg query "HKLM\\Software\\Classes\\$progid\\shell\\open\\command" /ve)" ||
  fail "no command to open a file"
offered || fail "not offered for .ini files"
[ "$(default)" = "$before" ] || fail ".ini's default program changed: $(default)"

wine "$folder/korsa-sorvena-trainer.exe" &
trainer=$!
poll xdotool search --onlyvisible --name '^Korsa Sorvena Trainer$' >/dev/null || fail "the installed trainer shows no window"
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^Korsa Sorvena Trainer$' | tail -n 1)" key ctrl+q
wait $trainer || fail "the installed trainer ended with status $?"

printf 'folder\r\n' >"$folder/Korsa Gridwell.ini"
printf 'stall_0 = 1500 0.0\r\n' >"$folder/track.ini"
wine "$folder/uninstall.exe" /S
wineserver -w # the uninstaller runs on from a copy of itself, which ends when it is done
[ "$(listing "$folder")" = $'./Korsa Gridwell.ini\n./track.ini' ] || fail "left after uninstalling: $(listing "$folder")"
[ ! -e "$link" ] || fail "the Start menu entry stays"
! wine reg query "$uninstall" >/dev/null 2>&1 || fail "still in Apps & features"
! offered && [ "$(default)" = "$before" ] || fail ".ini's key after uninstalling"
