#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing
# when they are all present, so a warm machine never calls apt.
set -euo pipefail

PKGS=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      libirrlicht-dev libsdl2-dev libsdl2-mixer-dev
      libvorbis-dev libopusfile-dev libflac-dev libmpg123-dev libboost-stacktrace-dev zlib1g-dev liblzma-dev
      libxkbcommon-dev libx11-dev
      xvfb xauth xfonts-base x11-utils xdotool libgl1-mesa-dri libgl-dev mesa-utils zip
      libfreetype-dev fonts-dejavu-core python3 valgrind)
if [ "${WITH_LUA:-0}" = 1 ]; then PKGS+=(lua5.4); fi
# The MP3 encoder that tools/make_mp3_seed.sh writes its test file with.
if [ "${WITH_LAME:-0}" = 1 ]; then PKGS+=(lame); fi
# The fuzz targets: clang with libFuzzer and its sanitizer runtimes.
if [ "${WITH_FUZZ:-0}" = 1 ]; then PKGS+=(clang libclang-rt-14-dev); fi

missing=()
for p in "${PKGS[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
