#!/usr/bin/env bash
# Installs what is missing, builds, and starts the game on data/. Without a
# display the game runs under Xvfb for a few seconds and then ends by itself.
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
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec ./game "$@"
fi
if ! command -v xvfb-run >/dev/null; then
    echo "run.sh: no display and no xvfb-run; install xvfb to run the game headless" >&2
    exit 1
fi
seconds="${RUN_SECONDS:-4}"
echo "run.sh: no display; running the game under Xvfb for ${seconds} s"
export ENGINE_NONINTERACTIVE=1
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
# The game saves its screenshots in the player's folder: its Profile/ folder
# beside the program when there is one, else under the user's data folder.
folders=(Profile "${XDG_DATA_HOME:-$HOME/.local/share}/LanternSample")
started=$(mktemp)
status=0
# The game quits from its start-up script; should that script be broken, the
# run still ends: with nobody to answer, a script error is reported and the game goes on.
xvfb-run -a -s "-screen 0 1024x768x24" timeout $((seconds + 30)) ./game "SampleQuitAfterMs=$((seconds * 1000))" \
    SampleScreenshot=menu "$@" || status=$?
shot=$(find "${folders[@]}" -maxdepth 1 -name 'menu*_screenshot.bmp' -newer "$started" 2>/dev/null | sort | tail -n 1 || true)
rm -f "$started"
if [ -n "$shot" ]; then
    echo "run.sh: screenshot of the main menu: $(realpath "$shot")"
else
    echo "run.sh: no screenshot was saved; see last_debug.log"
fi
echo "run.sh: the game ended with exit code ${status}; its log is last_debug.log"
exit "$status"
