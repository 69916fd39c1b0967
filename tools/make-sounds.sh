#!/bin/sh
# Regenerates the section announcements resources/SOUND/300.wav .. 308.wav.
# Needs festival with the festvox-us-slt-hts voice, sox and python3 (tools/regenerate-assets
# installs them). The output depends only on the texts and the settings in pack_wave.py (no
# timestamps, no random dither), so a rerun on the same package versions gives identical files.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out="$here/../resources/SOUND"
mkdir -p "$out"
exec python3 "$here/pack_wave.py" "$out"
