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
# The program folder is the executable's own: a link in the repository's root
# makes the game use the root's data/ and game.ini.
ln -f build/game game 2>/dev/null || cp -f build/game game
exec ./game "$@"
