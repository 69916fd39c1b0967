#!/bin/sh
# Makes sure a PulseAudio daemon answers and plays into a null sink named "null", so the sound
# tests have a real output that makes no noise. Safe to run again: a daemon that already answers
# is kept and only given the null sink (as default) when it lacks one.
#
# As root the daemon prints "This program is not intended to be run as root" and runs anyway.
# It puts its socket under XDG_RUNTIME_DIR when that is set, else under /tmp/pulse-*; clients
# started from the same environment find it there.
set -u

log() { echo "pulseaudio.sh: $*" >&2; }

answers() { pactl info >/dev/null 2>&1; }

wait_until_answers() {
    tries=0
    while [ "$tries" -lt 50 ]; do
        answers && return 0
        tries=$((tries + 1))
        sleep 0.1
    done
    return 1
}

if ! command -v pulseaudio >/dev/null 2>&1 || ! command -v pactl >/dev/null 2>&1; then
    log "pulseaudio or pactl is not installed"
    exit 1
fi

# A runtime folder that is named but missing or unwritable makes both daemon and clients fail.
if [ -n "${XDG_RUNTIME_DIR:-}" ] && ! { [ -d "$XDG_RUNTIME_DIR" ] && [ -w "$XDG_RUNTIME_DIR" ]; }; then
    log "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR is not usable; falling back to /tmp"
    unset XDG_RUNTIME_DIR
fi

if ! answers; then
    # First the plain command line; if that does not come up (some setups refuse a per-user
    # daemon for root without it), say explicitly that this is not the system-wide daemon.
    for extra in "" "--system=false"; do
        # shellcheck disable=SC2086
        pulseaudio -n --daemonize=yes --exit-idle-time=-1 $extra \
            --load="module-null-sink sink_name=null" \
            --load=module-native-protocol-unix >/dev/null 2>&1
        wait_until_answers && break
    done
fi

if ! answers; then
    log "no PulseAudio daemon answers and none could be started"
    exit 1
fi

if ! pactl list short sinks 2>/dev/null | awk '{print $2}' | grep -qx null; then
    pactl load-module module-null-sink sink_name=null >/dev/null || {
        log "could not add the null sink"
        exit 1
    }
fi
pactl set-default-sink null || {
    log "could not make the null sink the default"
    exit 1
}
log "ready: $(pactl info | grep -E '^(Server String|Default Sink):' | tr '\n' ' ')"
exit 0
