#!/usr/bin/env bash
# Builds the readers' fuzz targets with clang and runs each for a while.
#   scripts/fuzz.sh [SECONDS]     default 20 seconds a target
# Seeds: the bitmap suite beside the checkout (../shared/testdata/bmpsuite)
# and the program's own help files. New inputs go to a scratch folder; a
# crash leaves its input in build-fuzz/ (crash-TARGET-...) and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found; the fuzz targets are skipped" >&2
  exit 0
fi
cmake --preset fuzz >/dev/null
targets=(fuzz_BmpRecord fuzz_BmpCodec fuzz_AlignData)
grep -q '^VELMORA_GUI:BOOL=ON' build-fuzz/CMakeCache.txt && targets+=(fuzz_RichText)
cmake --build build-fuzz --target "${targets[@]}"

shared=$(sed -n 's/^VELMORA_SHARED_DIR:PATH=//p' build-fuzz/CMakeCache.txt)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in "${targets[@]}"; do
  seeds=()
  case $target in
    fuzz_BmpRecord|fuzz_BmpCodec) [ -d "$shared/testdata/bmpsuite" ] && seeds+=("$shared/testdata/bmpsuite"/*/) ;;
    fuzz_RichText) seeds+=(data) ;;
  esac
  mkdir -p "$scratch/$target"
  echo "== $target, $seconds s =="
  # Leaks are the sanitizer build's business; the readers are judged here.
  status=0
  ASAN_OPTIONS=detect_leaks=0 "build-fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/crash-$target-" "$scratch/$target" "${seeds[@]}" \
    > "$scratch/$target.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|SUMMARY)' "$scratch/$target.log" || true
  if [ "$status" -ne 0 ]; then
    tail -40 "$scratch/$target.log" >&2
    echo "fuzz: $target failed" >&2
    exit 1
  fi
done
