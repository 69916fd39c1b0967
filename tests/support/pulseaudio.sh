#!/bin/sh
# Runs a command with a PulseAudio daemon of its own: a private runtime folder and socket, one
# null sink named "null" (so real sound is played and nothing is heard), stopped and removed
# when the command ends. The command's clients reach only that daemon (PULSE_SERVER), never a
# sound server the user already runs, whose default output and settings stay as they were.
# Usage: pulseaudio.sh command [args...]
set -u
command -v pulseaudio >/dev/null && command -v pactl >/dev/null || { echo "pulseaudio.sh: pulseaudio or pactl is not installed" >&2; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/korsa-pulse.XXXXXX") || exit 1
daemon=""
trap '[ -n "$daemon" ] && kill "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null; rm -rf "$dir"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

export XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state"
export PULSE_SERVER="unix:$dir/native" PULSE_COOKIE="$dir/cookie" PULSE_CLIENTCONFIG="$dir/client.conf"
# Clients that cannot reach the private daemon fail rather than start one of their own.
echo "autospawn = no" >"$dir/client.conf"
# As root the daemon warns that it is not meant to run as root, and runs anyway.
pulseaudio -n --daemonize=no --use-pid-file=no --exit-idle-time=-1 --realtime=no --high-priority=no \
    --load="module-null-sink sink_name=null" \
    --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" >"$dir/log" 2>&1 &
daemon=$!
tries=0
until pactl info >/dev/null 2>&1; do
    if ! kill -0 "$daemon" 2>/dev/null || [ "$tries" -ge 100 ]; then
        echo "pulseaudio.sh: the private PulseAudio daemon did not start:" >&2
        cat "$dir/log" >&2
        exit 1
    fi
    tries=$((tries + 1))
    sleep 0.05
done
"$@"
