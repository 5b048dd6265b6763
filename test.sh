#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Picture and
# end-to-end tests get a virtual display when none is present.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh
./tools/build.sh build
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
# No message box or prompt may wait for a person during the tests.
export ENGINE_NONINTERACTIVE=1
cd build
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$(nproc)" "$@"
fi
exec ctest --output-on-failure -j"$(nproc)" "$@"
