#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs every test, first in the
# optimised build and then under AddressSanitizer + UndefinedBehaviorSanitizer.
#   scripts/test.sh            both builds
#   scripts/test.sh --quick    the optimised build only
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
presets=(default asan)
[ "${1:-}" = "--quick" ] && presets=(default)
for preset in "${presets[@]}"; do
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
