#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it in a working
# folder (default ~/Vandrex), where it keeps "Your DataBase.DAT" and its pictures.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
build=${VANDREX_BUILD:-$here/build}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANDREX_TESTS=OFF -DVANDREX_BENCH=OFF
cmake --build "$build" --target vandrex
work=${VANDREX_HOME:-$HOME/Vandrex}
mkdir -p "$work"
cd "$work"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No desktop: run on a virtual X server so the program still starts.
  exec xvfb-run -a "$build/app/vandrex" "$@"
fi
exec "$build/app/vandrex" "$@"
