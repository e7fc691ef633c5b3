#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs every test: the optimised
# build, then a build without the windows in which Qt is not looked for at all
# (the kernels and velmora-cli must build and pass without it), then everything
# under AddressSanitizer + UndefinedBehaviorSanitizer.
#   scripts/test.sh            all three builds
#   scripts/test.sh --quick    the optimised build only
# With clang present, the full run also fuzzes the file readers for a while
# (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
presets=(default nogui asan)
[ "${1:-}" = "--quick" ] && presets=(default)
for preset in "${presets[@]}"; do
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
[ "${1:-}" = "--quick" ] || scripts/fuzz.sh 20
