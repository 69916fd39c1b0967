#!/usr/bin/env bash
# Runs a command in a Wine prefix of its own (WINEPREFIX), made fresh in a temporary folder and
# booted, with the faces the programs ask for mapped to Liberation Sans; then ends every Wine
# process of the prefix and removes the folder. The command's own temporary files go in SCRATCH;
# the functions below are there for it too.
# Usage: wine.sh command [args...]
set -u
export SCRATCH=$(mktemp -d /tmp/korsa-wine-XXXXXX)
# No Mono or Gecko: the programs use neither, and a prefix without them offers them in a dialog.
export WINEPREFIX=$SCRATCH/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset QT_QPA_PLATFORM # the Linux tests' choice; Qt for Windows has its own platform
trap 'wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; rm -rf "$SCRATCH"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
poll() { for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done; return 1; } # 20 s at most
shown() { xdotool search --onlyvisible --name "^$1\$" | tail -n 1 | grep .; }  # the window of that title
win() { printf 'Z:%s' "${1//\//\\}"; } # a Linux path as Windows programs name it
export -f fail poll shown win
wineboot -i >"$SCRATCH/boot.log" 2>&1 || { cat "$SCRATCH/boot.log" >&2; exit 1; }
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"Arial"="Liberation Sans"' '"Tahoma"="Liberation Sans"' '"MS Shell Dlg"="Liberation Sans"' \
  '"MS Shell Dlg 2"="Liberation Sans"' '"Segoe UI"="Liberation Sans"' >"$SCRATCH/fonts.reg"
wine regedit /S "Z:${SCRATCH//\//\\}\\fonts.reg"
"$@"
