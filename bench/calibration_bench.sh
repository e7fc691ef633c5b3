#!/usr/bin/env bash
# Whole-command timing of the two calibration commands that take a whole
# series at once, on the same frames as median_bench.sh:
#
#  1. the master flat, the per-pixel truncated mean (velmora-cli create-flat),
#     against ImageMagick, GraphicsMagick, Siril, numpy, a naive C++ loop and
#     the floor (only loading the frames);
#  2. dark subtraction over the frames (velmora-cli dark-subtract --mode
#     normal), which rewrites every frame, against a plain program that only
#     reads every frame and rewrites it the same careful way (whole new file
#     beside it, flushed, renamed over it), and against the same without the
#     flush.
#
# Every figure of a table comes from one run on the same frames, so the
# ratios mean something even where the absolute seconds do not.
#
# Velmora must be exact, else the script fails: its flat must equal the
# naive C++ program's pixels byte for byte, and its subtracted frames must
# equal max(light - dark, 0) as numpy computes it from what PIL decodes.
# Nothing else makes it fail; a peer that is not installed or breaks is
# reported and skipped.
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
#   SKIP                space-separated tools to leave out: velmora imagemagick
#                       graphicsmagick siril numpy naive floor dark rewrite nosync
#   MAGICK_CONVERT      ImageMagick's converter (default: magick, else convert)
#   KEEP=1              keep the scratch folder (frames and outputs)
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
order=() dark_order=()

whole_numbers "WIDTH, HEIGHT, COUNT and RUNS must be positive whole numbers" "$width" "$height" "$count" "$runs"
make_work calibration
mkdir -p "$work/frames" "$work/dark" "$work/bin" "$work/out"

# The light frames are median_bench.sh's; the dark is one more frame of the
# same generator and seed.
make_frames light f "$count" "$work/frames"
make_frames dark d 1 "$work/dark"
frames=("$work"/frames/f_*.bmp)
dark=("$work"/dark/d_*.bmp)
[[ ${#frames[@]} == "$count" ]] || { say "expected $count frames, found ${#frames[@]}"; exit 2; }
[[ ${#dark[@]} == 1 ]] || { say "expected one dark frame, found ${#dark[@]}"; exit 2; }
dark=${dark[0]}

# --- timing ---------------------------------------------------------------
# The commands that rewrite the frames work on copies in $work/series: made
# fresh before each run (not timed), written out to disk so no earlier
# writing is flushed inside the timing, and read once so they start from a
# warm cache like the others.
series=("${frames[@]##*/}")
series=("${series[@]/#/$work/series/}")
fresh_series() {
  rm -rf "$work/series" && mkdir "$work/series" && cp "${frames[@]}" "$work/series/" && sync
  cat "${series[@]}" >/dev/null
}
time_rewriter() {  # name command... (the copies are appended)
  local name=$1; shift
  before_run=fresh_series time_tool dark_order "$name" "$@" "${series[@]}"
}

compile_peers
compile_rewrite
warm_cache "${frames[@]}" "$dark"

ref=$work/out/ref.bmp
if [[ $cxx_ok == 1 ]]; then
  "$work/bin/ref_median" mean "$ref" "${frames[@]}" || { say "the reference mean failed"; exit 2; }
fi

# --- 1. the master flat -----------------------------------------------------
if skipped order floor; then :; elif [[ $cc_ok == 1 ]]; then
  time_tool order floor "$work/bin/readall" "${frames[@]}"
else absent order floor "gcc"; fi

if skipped order velmora; then :; elif [[ -x $cli ]]; then
  time_tool order velmora "$cli" create-flat "${frames[@]}" -o "$work/out/velmora.bmp"
else not_built order velmora; fi

if skipped order naive; then :; elif [[ $cxx_ok == 1 ]]; then
  time_tool order naive "$work/bin/ref_median" mean "$work/out/naive.bmp" "${frames[@]}"
else absent order naive "g++"; fi

if skipped order numpy; then :; elif [[ $py_ok == 1 ]]; then
  time_tool order numpy "$py" "$peers/np_combine.py" mean "$work/out/numpy.bmp" "${frames[@]}"
else absent order numpy "python3-numpy python3-pil"; fi

if skipped order siril; then :; elif have siril-cli; then
  time_tool order siril sh "$peers/siril_stack.sh" "$work/frames" mean "$work/siril-work" "$threads"
  note[siril]="$threads threads; float FITS"
else absent order siril "siril"; fi

if skipped order graphicsmagick; then :; elif have gm; then
  time_tool order graphicsmagick gm convert "${frames[@]}" -average "BMP3:$work/out/graphicsmagick.bmp"
else absent order graphicsmagick "graphicsmagick"; fi

time_imagemagick order mean "$work/out/imagemagick.bmp" "${frames[@]}"
[[ ${secs[imagemagick]} =~ ^[0-9.]+$ ]] && note[imagemagick]="${note[imagemagick]:+${note[imagemagick]}; }rounds to nearest"

# --- 2. dark subtraction -----------------------------------------------------
if skipped dark_order rewrite; then :; elif [[ $rw_ok == 1 ]]; then
  time_rewriter rewrite "$work/bin/rewrite"
else absent dark_order rewrite "gcc"; fi

if skipped dark_order nosync; then :; elif [[ $rw_ok == 1 ]]; then
  time_rewriter nosync "$work/bin/rewrite" -n
else absent dark_order nosync "gcc"; fi

# Velmora runs last, so its results are what $work/series holds afterwards.
if skipped dark_order dark; then :; elif [[ -x $cli ]]; then
  time_rewriter dark "$cli" dark-subtract --mode normal --yes --dark "$dark"
else not_built dark_order dark; fi

# --- exactness ----------------------------------------------------------------
status=0
check_outputs "$ref" velmora numpy graphicsmagick imagemagick

# Normal mode on grey-ramp frames is max(light - dark, 0) at every pixel.
if [[ ${secs[dark]:-} =~ ^[0-9.]+$ ]]; then
  if [[ $py_ok == 1 ]]; then
    if "$py" - "$dark" "$work/frames" "$work/series" 2>"$work/cmp-dark.log" <<'EOF'
import os, sys
import numpy as np
from PIL import Image
px = lambda p: np.asarray(Image.open(p)).astype(np.int32)
d = px(sys.argv[1])
for name in sorted(n for n in os.listdir(sys.argv[2]) if n.startswith("f_") and n.endswith(".bmp")):
    want = np.clip(px(os.path.join(sys.argv[2], name)) - d, 0, 255)
    got = px(os.path.join(sys.argv[3], name))
    if got.shape != want.shape or (got != want).any():
        print("%s differs from max(light - dark, 0)" % name, file=sys.stderr)
        sys.exit(1)
EOF
    then exact[dark]=yes; else exact[dark]=NO; status=1; fi
  else
    exact[dark]="no reference"
  fi
fi
[[ ${secs[dark]:-} == failed ]] && status=1

# --- report -----------------------------------------------------------------
printf '\nFrames: %d of %d x %d (8-bit, %s, seed %s), %d processors; median of %d runs, warm cache.\n' \
  "$count" "$width" "$height" "$frames_by" "$seed" "$(nproc 2>/dev/null || echo 1)" "$runs"
printf '\nMaster flat (per-pixel truncated mean):\n'
report_table floor order
report_fastest_peer imagemagick graphicsmagick siril numpy naive

printf '\nDark subtraction, Normal, over the %d frames (rewrite: read, new file, flush, rename; nosync: the same unflushed):\n' "$count"
report_table rewrite dark_order

report_velmora flat create-flat
if [[ ${exact[dark]:-} == NO ]]; then
  say "FAIL: velmora's dark-subtracted frames differ from max(light - dark, 0):"
  cat "$work/cmp-dark.log" >&2
elif [[ ${secs[dark]:-} == failed ]]; then
  say "FAIL: velmora-cli dark-subtract did not succeed"
elif [[ ${exact[dark]:-} == yes ]]; then
  printf 'velmora dark-subtracted frames equal max(light - dark, 0) (numpy)\n'
fi
exit $status
