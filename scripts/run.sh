#!/usr/bin/env bash
# Installs what is missing, builds Velmora and starts it. Without a display
# it shows the command line instead: it generates a few dark frames and
# builds a master dark from them with velmora-cli.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${VELMORA_NO_WINDOW:-}" ]; then
  exec ./build/app/velmora
fi

demo="${VELMORA_DEMO_DIR:-${TMPDIR:-/tmp}/velmora-demo}"
mkdir -p "$demo"
echo
echo "No display: a command-line demonstration instead of the window."
echo "Demonstration: five synthetic 640 x 480 dark frames in $demo"
./build/tools/velmora-genframes --kind dark --count 5 --width 640 --height 480 --seed 1 --out "$demo" >/dev/null
./build/cli/velmora-cli create-median "$demo"/dark_000*.bmp -o "$demo/master_dark.bmp"
echo "Master dark (per-pixel median of the five): $demo/master_dark.bmp"
echo "The command line: ./build/cli/velmora-cli --help"
