#!/usr/bin/env bash
# Regenerates the sample game's pictures, sounds and font in data/.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/build.sh build >/dev/null
build/tools/make_sample_data data
mkdir -p data/fonts
build/tools/make_font --line-height 32 data/fonts/main
# The caption font is written in the other font file form.
build/tools/make_font --ttf /usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf --line-height 32 --form double \
    data/fonts/caption
echo "make_sample_data.sh: data/ regenerated"
