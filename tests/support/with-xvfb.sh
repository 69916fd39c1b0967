#!/usr/bin/env bash
# Runs a command against a fresh Xvfb server of the given screen size, on a display number the
# server picks itself (so parallel tests never collide), then stops the server. The font
# resolution (Xft.dpi) is 96, as on an unscaled desktop, unless given: 3840x2160@192 is a desktop
# scaled by 2.
# Usage: with-xvfb.sh WIDTHxHEIGHT[@DPI] command [args...]
set -u
size=${1%@*} dpi=96
[ "$size" != "$1" ] && dpi=${1#*@}
shift
numberFile=$(mktemp)
Xvfb -displayfd 1 -screen 0 "${size}x24" -dpi 96 -nolisten tcp -noreset >"$numberFile" 2>/dev/null &
server=$!
display=""
for _ in $(seq 1 200); do
  display=$(head -n 1 "$numberFile" 2>/dev/null)
  [ -n "$display" ] || ! kill -0 "$server" 2>/dev/null && break
  sleep 0.05
done
rm -f "$numberFile"
[ -n "$display" ] || { echo "with-xvfb: Xvfb did not start" >&2; kill "$server" 2>/dev/null; exit 1; }
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
echo "Xft.dpi: $dpi" | xrdb -nocpp -merge
"$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
