#!/usr/bin/env bash
# Writes fuzz/seeds/sound/tone-then-mono.mp3: two MP3 files joined, a 440 Hz
# tone of 0.5 s at 44.1 kHz stereo then the same at 22.05 kHz mono, so the
# file changes its layout midway. The first carries the encoder's tag, which
# trims it to its exact length; the second has none, so it keeps the
# encoder's lead-in of about 50 ms of near silence and is 22 MP3 frames of
# 576 samples. Needs lame (WITH_LAME=1 tools/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v lame >/dev/null || { echo "make_mp3_seed.sh: lame is missing (WITH_LAME=1 tools/install-deps.sh)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import math, struct, sys, wave
for name, rate, channels in (("stereo", 44100, 2), ("mono", 22050, 1)):
    with wave.open(f"{sys.argv[1]}/{name}.wav", "wb") as out:
        out.setnchannels(channels)
        out.setsampwidth(2)
        out.setframerate(rate)
        frames = (struct.pack("<h", int(8192 * math.sin(2 * math.pi * 440 * i / rate))) * channels
                  for i in range(rate // 2))
        out.writeframes(b"".join(frames))
PY
lame --quiet --resample 44.1 -m j -b 128 "$work/stereo.wav" "$work/stereo.mp3"
lame --quiet -t --resample 22.05 -m m -b 64 "$work/mono.wav" "$work/mono.mp3"
cat "$work/stereo.mp3" "$work/mono.mp3" > "$work/joined.mp3"
mv "$work/joined.mp3" fuzz/seeds/sound/tone-then-mono.mp3
echo "make_mp3_seed.sh: fuzz/seeds/sound/tone-then-mono.mp3 written"
