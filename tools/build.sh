#!/usr/bin/env bash
# Configures (once) and builds into the given folder; extra arguments
# go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"; shift || true
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@"
fi
cmake --build "$dir" -j"$(nproc)"
