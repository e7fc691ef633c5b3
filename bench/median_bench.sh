#!/usr/bin/env bash
# Whole-command timing of the per-pixel median of a set of 8-bit frames:
# velmora-cli create-median against the peers we measure ourselves by
# (ImageMagick, Siril, numpy, a naive C++ loop) and the floor (only loading
# the frames). Every figure comes from one run on the same frames, so the
# ratios mean something even where the absolute seconds do not.
#
# The naive C++ program's output is the rule: Velmora's pixels must equal it
# byte for byte, else the script fails. Nothing else makes it fail; a peer
# that is not installed or breaks is reported and skipped.
#
# Environment (all optional):
#   VELMORA_CLI         velmora-cli to time (default: build/cli/velmora-cli)
#   VELMORA_GENFRAMES   frame generator used when Python/numpy/PIL are missing
#                       (default: build/tools/velmora-genframes)
#   VELMORA_SHARED_DIR  the shared folder (default: ../shared beside the checkout)
#   WIDTH HEIGHT COUNT  frame size and number (default 1920 1080 32)
#   SEED                frame seed (default 1)
#   RUNS                timed runs per tool; the median is reported (default 3)
#   THREADS             threads offered to Siril (default: all processors)
#   SKIP                space-separated tools to leave out:
#                       velmora imagemagick siril numpy naive floor
#   MAGICK_CONVERT      ImageMagick's converter (default: magick, else convert)
#   KEEP=1              keep the scratch folder (frames and outputs)
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
order=()

whole_numbers "WIDTH, HEIGHT, COUNT and RUNS must be positive whole numbers" "$width" "$height" "$count" "$runs"
make_work median
mkdir -p "$work/frames" "$work/out"

make_frames light f "$count" "$work/frames"
frames=("$work"/frames/f_*.bmp)
[[ ${#frames[@]} == "$count" ]] || { say "expected $count frames, found ${#frames[@]}"; exit 2; }

# --- timing ---------------------------------------------------------------
compile_peers
warm_cache "${frames[@]}"

ref=$work/out/ref.bmp
if [[ $cxx_ok == 1 ]]; then
  "$work/bin/ref_median" median "$ref" "${frames[@]}" || { say "the reference median failed"; exit 2; }
fi

if skipped order floor; then :; elif [[ $cc_ok == 1 ]]; then
  time_tool order floor "$work/bin/readall" "${frames[@]}"
else absent order floor "gcc"; fi

if skipped order velmora; then :; elif [[ -x $cli ]]; then
  time_tool order velmora "$cli" create-median "${frames[@]}" -o "$work/out/velmora.bmp"
else not_built order velmora; fi

if skipped order naive; then :; elif [[ $cxx_ok == 1 ]]; then
  time_tool order naive "$work/bin/ref_median" median "$work/out/naive.bmp" "${frames[@]}"
else absent order naive "g++"; fi

if skipped order numpy; then :; elif [[ $py_ok == 1 ]]; then
  time_tool order numpy "$py" "$peers/np_combine.py" lowmed "$work/out/numpy.bmp" "${frames[@]}"
else absent order numpy "python3-numpy python3-pil"; fi

if skipped order siril; then :; elif have siril-cli; then
  time_tool order siril sh "$peers/siril_stack.sh" "$work/frames" median "$work/siril-work" "$threads"
  note[siril]="$threads threads; float FITS, middle pair averaged"
else absent order siril "siril"; fi

time_imagemagick order median "$work/out/imagemagick.bmp" "${frames[@]}"

# --- exactness ----------------------------------------------------------------
status=0
check_outputs "$ref" velmora numpy imagemagick

# --- report -----------------------------------------------------------------
printf '\nMedian of %d frames of %d x %d (8-bit, %s, seed %s), %d processors; median of %d runs, warm cache.\n' \
  "$count" "$width" "$height" "$frames_by" "$seed" "$(nproc 2>/dev/null || echo 1)" "$runs"
report_table floor order
report_fastest_peer imagemagick siril numpy naive
report_velmora median create-median
exit $status
