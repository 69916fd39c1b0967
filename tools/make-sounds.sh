#!/bin/sh
# Regenerates the section announcements resources/SOUND/300.wav .. 308.wav.
# Needs espeak-ng, sox and python3. The output depends only on the texts and
# the settings below (no timestamps, no random dither), so a rerun on the same
# tool versions gives byte-identical files.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out="$here/../resources/SOUND"
mkdir -p "$out"
exec python3 "$here/pack_wave.py" "$out"
