#!/usr/bin/env bash
# Installs what is missing, builds, and starts the game on data/.
set -euo pipefail
cd "$(dirname "$0")"
./tools/install-deps.sh
./tools/build.sh build
if [ ! -x build/game ]; then
    echo "run.sh: the game executable was not built" >&2
    exit 1
fi
exec ./build/game "$@"
