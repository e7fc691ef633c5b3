#!/usr/bin/env bash
# Whole-command timing of stacking placed frames: velmora-cli stack with
# --locks (every frame shifted by a few pixels) for the median and the
# average rule, against the floor (read the frames, write a 24-bit canvas of
# the stack's size) and Siril's stack of the same frames without
# registration. Every figure comes from one run on the same frames.
#
# The stack must not depend on the number of threads: each rule is run once
# more on a single processor (taskset -c 0) and its picture must equal the
# timed one, else the script fails.
#
# Environment (all optional):
#   VELMORA_CLI         velmora-cli to time (default: build/cli/velmora-cli)
#   VELMORA_GENFRAMES   frame generator used when Python/numpy/PIL are missing
#   VELMORA_SHARED_DIR  the shared folder (default: ../shared beside the checkout)
#   WIDTH HEIGHT COUNT  frame size and number (default 1920 1080 32)
#   SEED                frame and offset seed (default 1)
#   SHIFT               largest offset in pixels, each direction (default 7)
#   RUNS                timed runs per tool; the median is reported (default 3)
#   THREADS             threads offered to Siril (default: all processors)
#   SKIP                space-separated rows to leave out:
#                       floor nosync velmora-median velmora-average siril-median siril-mean
#   KEEP=1              keep the scratch folder (frames, locks, outputs)
set -u

here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
shift_max=${SHIFT:-7}
order=()

whole_numbers "WIDTH, HEIGHT, COUNT and RUNS must be positive whole numbers" "$width" "$height" "$count" "$runs"
[[ $shift_max =~ ^[0-9]+$ ]] || { say "SHIFT must be a whole number"; exit 2; }
make_work stack
mkdir -p "$work/frames" "$work/out" "$work/run"

make_frames light f "$count" "$work/frames"
frames=("$work"/frames/f_*.bmp)
[[ ${#frames[@]} == "$count" ]] || { say "expected $count frames, found ${#frames[@]}"; exit 2; }

# Frame i's star at (x, y) is locked to the Base point, so the frame lies
# at (-x, -y): the canvas is the frames' size plus the largest offsets and
# the one black column and row every stack keeps.
locks=$work/locks.csv
awk -v n="$count" -v s="$seed" -v m="$shift_max" \
  'BEGIN { srand(s); for (i = 0; i < n; i++) printf "%d,%d\n", int(rand() * (m + 1)), int(rand() * (m + 1)) }' >"$locks"
canvas_w=$((width + $(cut -d, -f1 "$locks" | sort -n | tail -n 1) - $(cut -d, -f1 "$locks" | sort -n | head -n 1) + 1))
canvas_h=$((height + $(cut -d, -f2 "$locks" | sort -n | tail -n 1) - $(cut -d, -f2 "$locks" | sort -n | head -n 1) + 1))

# The floor: every frame read whole, then a 24-bit picture of the canvas's
# size replaced the way Velmora writes its result (lib.sh's rewrite: a new
# file beside it, flushed unless -n, renamed over it, its folder flushed).
le_bytes() {  # value count -> the value's count low bytes, little-endian
  local i
  for ((i = 0; i < $2; i++)); do printf "\\$(printf '%03o' $((($1 >> (8 * i)) & 255)))"; done
}
canvas=$work/out/canvas.bmp
row_bytes=$(((canvas_w * 3 + 3) / 4 * 4))
{
  printf BM; le_bytes $((54 + row_bytes * canvas_h)) 4; le_bytes 0 4; le_bytes 54 4
  le_bytes 40 4; le_bytes "$canvas_w" 4; le_bytes "$canvas_h" 4; le_bytes 1 2; le_bytes 24 2
  le_bytes 0 4; le_bytes $((row_bytes * canvas_h)) 4; le_bytes 0 16
  head -c $((row_bytes * canvas_h)) /dev/zero
} >"$canvas"
compile_peers
compile_rewrite
floor() { "$work/bin/readall" "${frames[@]}" && "$work/bin/rewrite" "$@" "$canvas"; }

# velmora-cli stack writes its state and trace files in the current folder.
in_run_folder() { (cd "$work/run" && "$@"); }
velmora_stack() {  # rule out [wrapper...]
  local rule=$1 out=$2; shift 2
  in_run_folder "$@" "$cli" stack --rule "$rule" --locks "$locks" "${frames[@]}" -o "$out"
}

# --- timing ---------------------------------------------------------------
warm_cache "${frames[@]}"

if skipped order floor; then :; elif [[ $cc_ok == 1 && $rw_ok == 1 ]]; then
  time_tool order floor floor
else absent order floor "gcc"; fi
if skipped order nosync; then :; elif [[ $cc_ok == 1 && $rw_ok == 1 ]]; then
  time_tool order nosync floor -n
else absent order nosync "gcc"; fi

for rule in median average; do
  if skipped order "velmora-$rule"; then :; elif [[ -x $cli ]]; then
    time_tool order "velmora-$rule" velmora_stack "$rule" "$work/out/velmora-$rule.bmp"
  else not_built order "velmora-$rule"; fi
done

for rule in median mean; do
  if skipped order "siril-$rule"; then :; elif have siril-cli; then
    time_tool order "siril-$rule" sh "$peers/siril_stack.sh" "$work/frames" "$rule" "$work/siril-$rule" "$threads"
    note[siril-$rule]="$threads threads, no registration; float FITS"
  else absent order "siril-$rule" "siril"; fi
done

# --- one processor against all ----------------------------------------------
# Under taskset the stack's threads take turns on one processor, so rows go
# to other threads in another order than in the timed runs.
status=0
for rule in median average; do
  name=velmora-$rule
  [[ ${secs[$name]:-} == failed ]] && status=1
  [[ ${secs[$name]:-} =~ ^[0-9.]+$ ]] || continue
  if ! have taskset; then exact[$name]="no taskset"; continue; fi
  if ! velmora_stack "$rule" "$work/out/$name-1.bmp" taskset -c 0 >"$work/$name-1.log" 2>&1; then
    exact[$name]=NO status=1
    say "$name on one processor failed:"; tail -n 5 "$work/$name-1.log" >&2
  elif same_pixels "$work/out/$name.bmp" "$work/out/$name-1.bmp" 2>"$work/cmp-$name.log"; then
    exact[$name]=yes
  else
    exact[$name]=NO status=1
    say "FAIL: velmora's $rule stack on one processor differs ($compare_by):"; cat "$work/cmp-$name.log" >&2
  fi
done

# --- report -----------------------------------------------------------------
printf '\nStack of %d frames of %d x %d (8-bit, %s, seed %s) shifted by 0..%d px onto %d x %d, %d processors;\n' \
  "$count" "$width" "$height" "$frames_by" "$seed" "$shift_max" "$canvas_w" "$canvas_h" "$(nproc 2>/dev/null || echo 1)"
printf 'median of %d runs, warm cache; "exact": the same picture on one processor (taskset -c 0).\n' "$runs"
report_table floor order
exit $status
